#include "readingspublisher.h"

#include <QDateTime>

namespace nimbra {

ReadingsPublisher::ReadingsPublisher(MqttPublisher& publisher, StationTopics topics,
                                     int pollSeconds, Clock clock)
    : m_publisher(publisher), m_topics(std::move(topics)), m_expireAfterSeconds(3 * pollSeconds),
      m_clock(std::move(clock))
{
    // A program that ends cleanly says so itself; the broker's last will covers a crash.
    m_publisher.setFinalMessages({{m_topics.availability(), WillPayload}});
}

void ReadingsPublisher::readingsPolled(const LiveSnapshot& values, bool fahrenheit)
{
    std::lock_guard lock(m_mutex);
    if (m_announcedFahrenheit != fahrenheit) {
        for (auto& [topic, config] : DiscoveryConfigs(m_topics, fahrenheit, m_expireAfterSeconds))
            m_publisher.publish(topic, std::move(config));
        m_announcedFahrenheit = fahrenheit;
    }
    const std::string time = m_clock();
    for (int channel = 1; channel <= ChannelCount; ++channel)
        m_publisher.publish(m_topics.state(channel),
                            ChannelStateJson(values, channel, fahrenheit, time));
    m_publisher.publish(m_topics.availability(), "online");
}

void ReadingsPublisher::stationPresent(bool present)
{
    m_publisher.publish(m_topics.availability(), present ? "online" : WillPayload);
}

std::string ReadingsPublisher::UtcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

} // namespace nimbra
