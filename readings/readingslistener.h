#pragma once

#include "livereadings.h"

namespace nimbra {

// Told of each poll's readings and of the station coming and going, for whatever passes the
// readings on (a broker). Calls come from the poll thread and the user-interface thread; an
// implementation returns at once and never waits on the network.
class ReadingsListener
{
public:
    virtual ~ReadingsListener() = default;
    virtual void readingsPolled(const LiveSnapshot& values, bool fahrenheit) = 0;
    virtual void stationPresent(bool present) = 0;
};

} // namespace nimbra
