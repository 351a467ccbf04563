#pragma once

#include "timing.h"

#include <condition_variable>
#include <mutex>

namespace nimbra {

// An event that stays signalled until reset. set() happens-before the return of every wait()
// that it ends, which is what hands a stored reply from the reader to the requester.
class ManualResetEvent
{
public:
    explicit ManualResetEvent(bool signalled = false) : m_signalled(signalled) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    void wait();
    // True when the event was signalled, false on time-out.
    bool waitFor(Millis timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false; // guarded by m_mutex
};

} // namespace nimbra
