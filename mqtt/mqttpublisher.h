#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace nimbra {

// Where and how to reach the broker. The password is the text of a file, never an argument.
struct BrokerOptions
{
    std::string host = "localhost";
    int port = 1883;
    std::string clientId;
    std::string username;
    std::string password;
    std::string tlsCaFile; // empty: no TLS
    // The broker publishes WillPayload here, retained, when this client vanishes unannounced.
    std::string willTopic;
    int keepAliveSeconds = 30;
    std::chrono::milliseconds backoffMin{1000};
    std::chrono::milliseconds backoffMax{60000};
    std::chrono::milliseconds connectTimeout{10000};
};

inline constexpr const char* WillPayload = "offline";

// Keeps the latest retained message of each topic and delivers it to an MQTT broker from a
// thread of its own (libmosquitto). publish() only stores: a slow or absent broker never holds
// up the caller, and memory is bounded by the number of distinct topics, since a newer message
// replaces an older one not yet sent. A new message goes out only once the previous batch has
// left the client, so the library's own queue stays small as well. Every new connection sends
// every topic's latest message again: discovery configs once per connection, and a broker that
// lost its retained store gets the states back. A lost connection is retried with a back-off
// that doubles up to backoffMax. A message the library refuses (a topic it cannot carry, say)
// is told once and not sent again until its topic gets a new payload.
class MqttPublisher
{
public:
    // Connection news and failures for the user, one line each; called on the publisher's
    // thread. Never contains the password.
    using StatusSink = std::function<void(const std::string& line)>;

    MqttPublisher(BrokerOptions options, StatusSink status);
    // Sends finalMessages (the availability "offline", say) if connected, then disconnects.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Messages sent as the last thing before a clean disconnect.
    void setFinalMessages(std::vector<std::pair<std::string, std::string>> messages);
    // Any thread; returns at once.
    void publish(const std::string& topic, std::string payload);

    bool connected() const;
    // How many connections have been made so far.
    int connections() const;
    // How many topics the publisher holds (bounded by the topics in use).
    std::size_t topicCount() const;

private:
    struct Entry
    {
        std::string topic;
        std::string payload;
        bool pending = true;
        // Why the library would not send the last payload, told once; such an entry waits for
        // a new payload instead of going again with every connection.
        std::string refusal;
    };
    using Clock = std::chrono::steady_clock;

    void run();
    // False when the connection could not be set up as asked: the publisher then never connects.
    bool configure();
    bool tryConnect();
    void sendPending();
    // The library's result for one retained message.
    int send(const std::string& topic, const std::string& payload);
    // Notes what became of a message the batch tried to send.
    void settle(const Entry& entry, int rc);
    void connectionLost(const std::string& why);
    void sayGoodbye();
    void tell(const std::string& line);
    std::string where() const;

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);

    const BrokerOptions m_options;
    const StatusSink m_status;
    mosquitto* m_client = nullptr; // the publisher thread's only, after construction

    // The publisher thread's only.
    bool m_socketOpen = false;
    bool m_sessionUp = false;
    Clock::time_point m_connectStarted{};
    Clock::time_point m_nextAttempt{};
    std::chrono::milliseconds m_backoff{0};
    std::string m_refusal;     // why the broker refused the last connection, if it did
    std::string m_lastFailure; // told already; the same failure is not told again

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Entry> m_entries;                             // guarded by m_mutex
    std::vector<std::pair<std::string, std::string>> m_final; // guarded by m_mutex
    bool m_connected = false;                                 // guarded by m_mutex
    int m_connections = 0;                                    // guarded by m_mutex
    bool m_stopping = false;                                  // guarded by m_mutex
    std::thread m_thread;
};

} // namespace nimbra
