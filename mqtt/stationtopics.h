#pragma once

#include "livereadings.h"

#include <string>
#include <utility>
#include <vector>

namespace nimbra {

using MqttMessage = std::pair<std::string, std::string>; // topic, payload

// Where one station's readings go: PREFIX/availability, PREFIX/chN/state, and the Home
// Assistant discovery configs under DISCOVERY/sensor/NODE/chN_QUANTITY/config.
struct StationTopics
{
    std::string prefix = "nimbra";
    std::string discoveryPrefix = "homeassistant";

    std::string availability() const { return prefix + "/availability"; }
    // channel 1..8
    std::string state(int channel) const;
    // The prefix as an id: letters, digits, '_' and '-' kept, anything else '_'.
    std::string nodeId() const;
};

// A channel's retained state: {"temperature":21.5,"humidity":45,"dew_point":9.1,"unit":"°C",
// "time":"2026-12-09T03:21:42Z"}, in the station's unit, rounded as the station shows them;
// null for a value the channel does not have. channel 1..8.
std::string ChannelStateJson(const LiveSnapshot& values, int channel, bool fahrenheit,
                             const std::string& utcTime);

// One sensor config per channel and quantity (temperature, humidity, dew point), each with its
// device class, unit, display precision, the station's device block and the program as its
// origin. A sensor that gets no state for expireAfterSeconds turns unavailable.
std::vector<MqttMessage> DiscoveryConfigs(const StationTopics& topics, bool fahrenheit,
                                          int expireAfterSeconds);

// The device's name: "Nimbra" and the prefix without the "nimbra/" it starts with by default.
std::string DeviceName(const StationTopics& topics);

} // namespace nimbra
