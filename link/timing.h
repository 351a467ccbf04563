#pragma once

#include <chrono>

namespace nimbra {

using Millis = std::chrono::milliseconds;

// Every wait of the link and of its requesters, in one place. The defaults are the station's
// own; tests build a scaled copy so that time-outs run in a fraction of the time.
struct Timing
{
    Millis settings{5000};
    Millis interval{2000};
    Millis alarmPage{1000};
    Millis calibration{2000};
    Millis live{2000};

    Millis fileListBefore{3000};
    Millis fileListAfter{2000};
    Millis fileChunk{3000};
    Millis chunkPause{10};
    Millis deleteBefore{3000};
    Millis deleteAfter{500};

    Millis setInterval{1000};
    Millis setClock{1000};

    Millis guardedFirst{5000};
    Millis guardedFinal{500};
    Millis syncFirst{3000};
    Millis syncFinal{1000};

    Millis writePause{10};    // after every output report
    Millis sequencePause{50}; // after each report of a write sequence
    Millis screenCheck{50};   // shortest wait for the screen-check reply

    Millis pollPass{1000};   // one pass of the poll thread
    int pollEveryPasses{40}; // the counter grows by 2 a pass while polling: about 20 s
    Millis dialogOpenWait{3000};

    // How long the line must have been silent before a request goes out: whatever the station
    // had already sent has arrived by then and is not taken for the new request's answer.
    Millis lineQuiet{10};

    Millis readTimeout{50}; // one blocking read, so the reader can be stopped
    Millis rescan{1000};    // re-enumeration when no hot-plug monitor is available

    // All waits multiplied by factor (at least 1 ms each, so nothing turns into a busy loop).
    Timing scaled(double factor) const;
};

} // namespace nimbra
