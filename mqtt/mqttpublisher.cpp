#include "mqttpublisher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <utility>

namespace nimbra {

namespace {

int InitialiseLibrary()
{
    static const int rc = mosquitto_lib_init();
    return rc;
}

std::string ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

// A topic for a status line: control characters as \xNN, so that the line stays one line.
std::string Printable(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        constexpr char Hex[] = "0123456789abcdef";
        shown += {'\\', 'x', Hex[byte >> 4], Hex[byte & 0x0F]};
    }
    return shown;
}

// Failures after which the same message may go with the next connection.
bool IsPassing(int rc)
{
    return rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NOMEM ||
           rc == MOSQ_ERR_ERRNO;
}

constexpr const char* NothingSent = "; nothing is sent to the broker";

// A clean goodbye waits this long at most for its last messages to leave.
constexpr std::chrono::milliseconds GoodbyeTime{1000};
// One turn of the network loop; also how soon a new message is noticed.
constexpr int LoopMillis = 100;

} // namespace

MqttPublisher::MqttPublisher(BrokerOptions options, StatusSink status)
    : m_options(std::move(options)), m_status(std::move(status))
{
    if (const int rc = InitialiseLibrary(); rc != MOSQ_ERR_SUCCESS) {
        tell("cannot start the MQTT library: " + ErrorText(rc) + NothingSent);
        return;
    }
    m_client = mosquitto_new(m_options.clientId.empty() ? nullptr : m_options.clientId.c_str(),
                             true, this);
    if (!m_client) {
        tell(std::string("cannot create an MQTT client: ") + std::strerror(errno) + NothingSent);
        return;
    }
    // Without what it was asked for, the client would send the password in the clear (TLS),
    // log in anonymously (the user name) or leave no word when it vanishes (the will).
    if (configure())
        m_thread = std::thread([this] { run(); });
}

MqttPublisher::~MqttPublisher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_client)
        mosquitto_destroy(m_client);
}

bool MqttPublisher::configure()
{
    mosquitto_connect_callback_set(m_client, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::onDisconnect);
    if (!m_options.willTopic.empty()) {
        const int rc =
            mosquitto_will_set(m_client, m_options.willTopic.c_str(),
                               static_cast<int>(std::strlen(WillPayload)), WillPayload, 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            tell("cannot leave a last will on " + Printable(m_options.willTopic) + ": " +
                 ErrorText(rc) + NothingSent);
            return false;
        }
    }
    if (!m_options.username.empty()) {
        const int rc = mosquitto_username_pw_set(
            m_client, m_options.username.c_str(),
            m_options.password.empty() ? nullptr : m_options.password.c_str());
        if (rc != MOSQ_ERR_SUCCESS) {
            tell("cannot log in with the user name given: " + ErrorText(rc) + NothingSent);
            return false;
        }
    }
    if (!m_options.tlsCaFile.empty()) {
        const int rc = mosquitto_tls_set(m_client, m_options.tlsCaFile.c_str(), nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            tell("cannot use the CA file " + m_options.tlsCaFile + ": " + ErrorText(rc) +
                 NothingSent);
            return false;
        }
    }
    return true;
}

void MqttPublisher::setFinalMessages(std::vector<std::pair<std::string, std::string>> messages)
{
    std::lock_guard lock(m_mutex);
    m_final = std::move(messages);
}

void MqttPublisher::publish(const std::string& topic, std::string payload)
{
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const Entry& e) { return e.topic == topic; });
    if (found == m_entries.end()) {
        m_entries.push_back({topic, std::move(payload), true, {}});
    } else {
        found->payload = std::move(payload);
        found->pending = true;
    }
}

bool MqttPublisher::connected() const
{
    std::lock_guard lock(m_mutex);
    return m_connected;
}

int MqttPublisher::connections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

std::size_t MqttPublisher::topicCount() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void MqttPublisher::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        if (!m_socketOpen && Clock::now() >= m_nextAttempt)
            tryConnect();
        if (m_socketOpen) {
            if (m_sessionUp)
                sendPending();
            const int rc = mosquitto_loop(m_client, LoopMillis, 1);
            if (rc != MOSQ_ERR_SUCCESS)
                connectionLost(ErrorText(rc));
            else if (!m_sessionUp && Clock::now() - m_connectStarted > m_options.connectTimeout)
                connectionLost("the broker did not answer");
        }
        lock.lock();
        if (!m_socketOpen)
            m_wake.wait_until(lock, m_nextAttempt, [this] { return m_stopping; });
    }
    lock.unlock();
    sayGoodbye();
}

bool MqttPublisher::tryConnect()
{
    m_connectStarted = Clock::now();
    m_refusal.clear();
    const int rc = mosquitto_connect_async(m_client, m_options.host.c_str(), m_options.port,
                                           m_options.keepAliveSeconds);
    m_socketOpen = rc == MOSQ_ERR_SUCCESS;
    if (!m_socketOpen)
        connectionLost(ErrorText(rc));
    return m_socketOpen;
}

void MqttPublisher::sendPending()
{
    // The last batch has not left yet: newer messages wait here, where they replace older ones.
    if (mosquitto_want_write(m_client))
        return;
    std::vector<Entry> batch;
    {
        std::lock_guard lock(m_mutex);
        for (Entry& entry : m_entries)
            if (std::exchange(entry.pending, false))
                batch.push_back(entry);
    }
    for (const Entry& entry : batch)
        settle(entry, send(entry.topic, entry.payload));
}

int MqttPublisher::send(const std::string& topic, const std::string& payload)
{
    // The library reads the topic up to its first NUL: such a topic would land elsewhere.
    if (topic.find('\0') != std::string::npos)
        return MOSQ_ERR_MALFORMED_UTF8;
    return mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 0, true);
}

void MqttPublisher::settle(const Entry& entry, int rc)
{
    const std::string refusal = rc == MOSQ_ERR_SUCCESS ? std::string() : ErrorText(rc);
    bool newRefusal = false;
    {
        std::lock_guard lock(m_mutex);
        for (Entry& held : m_entries) {
            if (held.topic != entry.topic || held.payload != entry.payload)
                continue;
            if (IsPassing(rc)) {
                // It goes again with the next connection (which sends every topic anyway).
                held.pending = true;
                continue;
            }
            newRefusal = !refusal.empty() && held.refusal != refusal;
            held.refusal = refusal;
        }
    }
    if (newRefusal)
        tell("cannot publish on " + Printable(entry.topic) + ": " + refusal +
             "; it is not sent until it has a new message");
}

void MqttPublisher::connectionLost(const std::string& why)
{
    const bool wasUp = m_sessionUp;
    // The socket is given up whatever the library answers: a new connection starts afresh.
    if (m_socketOpen)
        mosquitto_disconnect(m_client);
    m_socketOpen = false;
    m_sessionUp = false;
    {
        std::lock_guard lock(m_mutex);
        m_connected = false;
    }
    m_backoff = m_backoff.count() == 0 ? m_options.backoffMin
                                       : std::min(m_backoff * 2, m_options.backoffMax);
    m_nextAttempt = Clock::now() + m_backoff;
    const std::string reason = m_refusal.empty() ? why : m_refusal;
    // An outage is told once, not at every retry.
    if (wasUp || reason != m_lastFailure)
        tell((wasUp ? "lost the broker " : "cannot reach the broker ") + where() + ": " + reason +
             "; trying again, at most every " +
             std::to_string(m_options.backoffMax.count() / 1000) + " s");
    m_lastFailure = reason;
}

void MqttPublisher::sayGoodbye()
{
    if (!m_sessionUp)
        return;
    std::vector<std::pair<std::string, std::string>> final;
    {
        std::lock_guard lock(m_mutex);
        final = m_final;
    }
    for (const auto& [topic, payload] : final) {
        if (const int rc = send(topic, payload); rc != MOSQ_ERR_SUCCESS)
            tell("cannot publish on " + Printable(topic) + " at the end: " + ErrorText(rc));
    }
    const auto deadline = Clock::now() + GoodbyeTime;
    while (mosquitto_want_write(m_client) && Clock::now() < deadline)
        if (mosquitto_loop(m_client, LoopMillis, 1) != MOSQ_ERR_SUCCESS)
            return;
    // The last word: a failure here leaves the broker to notice the closed socket.
    if (mosquitto_disconnect(m_client) == MOSQ_ERR_SUCCESS)
        mosquitto_loop(m_client, LoopMillis, 1);
}

void MqttPublisher::tell(const std::string& line)
{
    if (m_status)
        m_status(line);
}

std::string MqttPublisher::where() const
{
    return m_options.host + ":" + std::to_string(m_options.port);
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        publisher->m_refusal = mosquitto_connack_string(rc);
        return;
    }
    publisher->m_sessionUp = true;
    publisher->m_backoff = std::chrono::milliseconds(0);
    publisher->m_lastFailure.clear();
    {
        std::lock_guard lock(publisher->m_mutex);
        publisher->m_connected = true;
        ++publisher->m_connections;
        for (Entry& entry : publisher->m_entries)
            entry.pending = entry.pending || entry.refusal.empty();
    }
    publisher->tell("connected to the broker " + publisher->where());
}

void MqttPublisher::onDisconnect(mosquitto*, void* self, int)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(publisher->m_mutex);
    publisher->m_connected = false;
}

} // namespace nimbra
