#pragma once

#include "headless.h"
#include "readingslistener.h"
#include "stationsession.h"

#include <functional>
#include <optional>

namespace nimbra {

// nimbractl publish: the station's live readings to an MQTT broker until stopped.
int RunPublish(const QStringList& arguments, HeadlessEnvironment& env);
// nimbractl serve: publish, and the card's new files fetched into the data folder on schedule.
int RunServe(const QStringList& arguments, HeadlessEnvironment& env);

// One poll of the station for a listener, following the station through unplug and re-plug:
// a poll that gets no answer (or no station at all) makes the station absent and searches for
// it again; the readings of the next poll that is answered make it present. Each change is
// told once through say.
class PublishCycle
{
public:
    using Say = std::function<void(const QString& line)>;

    PublishCycle(StationSession& session, ReadingsListener& listener, Say say = {});

    // Returns whether the station answered.
    bool step();

private:
    void tell(bool present, const QString& line);

    StationSession& m_session;
    ReadingsListener& m_listener;
    const Say m_say;
    std::optional<bool> m_present;
};

} // namespace nimbra
