#pragma once

#include "mqttpublisher.h"
#include "readingslistener.h"
#include "stationtopics.h"

#include <functional>
#include <mutex>
#include <optional>

namespace nimbra {

// The readings of each poll to a broker: one retained state per channel, the station's
// availability, and the discovery configs (again whenever the station's unit changes, since
// the configs name it). Safe from any thread; never waits on the broker.
class ReadingsPublisher final : public ReadingsListener
{
public:
    // The time stamp of a state, ISO 8601 in UTC.
    using Clock = std::function<std::string()>;

    // pollSeconds: how often readings come; a channel silent for three polls turns unavailable.
    ReadingsPublisher(MqttPublisher& publisher, StationTopics topics, int pollSeconds = 20,
                      Clock clock = UtcNow);

    void readingsPolled(const LiveSnapshot& values, bool fahrenheit) override;
    void stationPresent(bool present) override;

    static std::string UtcNow();

private:
    MqttPublisher& m_publisher;
    const StationTopics m_topics;
    const int m_expireAfterSeconds;
    const Clock m_clock;
    std::mutex m_mutex;
    std::optional<bool> m_announcedFahrenheit; // guarded by m_mutex: the unit of the configs
};

} // namespace nimbra
