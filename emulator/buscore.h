#pragma once

#include "devicenotifier.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace nimbra {

// The one lock of an emulated bus, shared by the bus and all its stations. One lock for all
// keeps "read() returned -1" and "enumerate() no longer lists it" a single step.
struct BusCore
{
    std::mutex mutex;
    // Wakes readers (a reply queued, a station gone) and the bus's notice thread.
    std::condition_variable changed;
    // Removals a station caused by itself, told to the handler by the bus's notice thread.
    std::deque<DeviceChange> notices; // guarded by mutex
    bool closing = false;             // guarded by mutex
};

} // namespace nimbra
