#pragma once

#include <cstdint>

namespace nimbra {

// The pending-request code. A reply carries no id of its own: the kind set last decides where
// the reader thread stores it.
enum class RequestKind : std::int32_t
{
    Idle = 0,
    Settings = 1,
    Calibration = 3,
    AlarmPage1 = 4,
    AlarmPage3 = 6,
    AlarmPage4 = 7,
    Live = 8,
    FileList = 9,
    FileData = 10,
    Interval = 11,
    ScreenCheck = 12,
    NoReply = 19,
};

} // namespace nimbra
