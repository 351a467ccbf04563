#pragma once

#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace nimbra::test {

using namespace std::chrono_literals;

// A real mosquitto on a free port of 127.0.0.1, started and stopped by the test.
class Broker
{
public:
    Broker() : m_port(freePort()) {}
    ~Broker() { stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    int port() const { return m_port; }

    // extra: more lines for the configuration (a password file, say).
    bool start(const std::string& extra = {})
    {
        const std::string config = m_folder.path().toStdString() + "/mosquitto.conf";
        std::ofstream(config) << "listener " << m_port << " 127.0.0.1\n"
                              << (extra.empty() ? "allow_anonymous true\n" : extra)
                              << "persistence false\nlog_dest none\n";
        const char* argv[] = {"mosquitto", "-c", config.c_str(), nullptr};
        if (posix_spawnp(&m_pid, "mosquitto", nullptr, nullptr, const_cast<char**>(argv),
                         environ) != 0)
            return false;
        for (auto end = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
            if (accepts())
                return true;
        return false;
    }
    // SIGKILL: no goodbye to anyone, as when the broker's machine dies.
    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    std::string folder() const { return m_folder.path().toStdString(); }

private:
    static int freePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(s);
        return ntohs(address.sin_port);
    }
    bool accepts() const
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(s);
        return ok;
    }

    QTemporaryDir m_folder;
    const int m_port;
    pid_t m_pid = -1;
};

// Subscribes to everything and keeps the latest message of each topic.
class Subscriber
{
public:
    struct Message
    {
        std::string payload;
        bool retained = false;
        int count = 0; // messages seen on the topic
    };

    explicit Subscriber(int port)
    {
        mosquitto_lib_init();
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(m_client, &Subscriber::onMessage);
        mosquitto_connect_callback_set(m_client, [](mosquitto* client, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(client, nullptr, "#", 1);
        });
        mosquitto_connect(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Waits until the topic's latest message satisfies ok; the message then, or the last one.
    Message waitFor(const std::string& topic, const std::function<bool(const Message&)>& ok,
                    std::chrono::milliseconds timeout = 5000ms)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] {
            const auto found = m_messages.find(topic);
            return found != m_messages.end() && ok(found->second);
        });
        return m_messages[topic];
    }
    Message waitFor(const std::string& topic, const std::string& payload,
                    std::chrono::milliseconds timeout = 5000ms)
    {
        return waitFor(
            topic, [&](const Message& m) { return m.payload == payload; }, timeout);
    }
    std::map<std::string, Message> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message)
    {
        auto* subscriber = static_cast<Subscriber*>(self);
        {
            std::lock_guard lock(subscriber->m_mutex);
            Message& kept = subscriber->m_messages[message->topic];
            kept.payload.assign(static_cast<const char*>(message->payload),
                                static_cast<std::size_t>(message->payloadlen));
            kept.retained = message->retain;
            ++kept.count;
        }
        subscriber->m_changed.notify_all();
    }

    mosquitto* m_client = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Message> m_messages; // guarded by m_mutex
};

// The publisher's status lines, as its thread tells them.
class StatusLines
{
public:
    std::function<void(const std::string&)> sink()
    {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool contains(const std::string& part) const
    {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [&](const std::string& line) { return line.find(part) != line.npos; });
    }
    std::string all() const
    {
        std::lock_guard lock(m_mutex);
        std::string text;
        for (const std::string& line : m_lines)
            text += line + '\n';
        return text;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines; // guarded by m_mutex
};

} // namespace nimbra::test
