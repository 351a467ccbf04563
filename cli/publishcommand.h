#pragma once

#include "headless.h"
#include "readingslistener.h"
#include "stationsession.h"

namespace nimbra {

// nimbractl publish: the station's live readings to an MQTT broker until stopped.
int RunPublish(const QStringList& arguments, HeadlessEnvironment& env);

// One poll of the station for a listener, following the station through unplug and re-plug:
// a poll that gets no answer makes the station absent and searches for it again; the readings
// of the next poll that is answered make it present.
class PublishCycle
{
public:
    PublishCycle(StationSession& session, ReadingsListener& listener);

    // Returns whether the station answered.
    bool step();

private:
    StationSession& m_session;
    ReadingsListener& m_listener;
};

} // namespace nimbra
