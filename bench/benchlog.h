#pragma once

#include "oledate.h"

#include <cstdio>
#include <filesystem>
#include <sys/resource.h>

namespace nimbra::bench {

// An outdoor log of one line every five minutes from 2017-01-01, written as it goes so that
// generating it costs no memory of its own. False when the file cannot be written.
inline bool WriteLog(const std::filesystem::path& path, long lines)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    std::fputs("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\r\n", out);
    for (long i = 0; i < lines; ++i) {
        const DateTimeParts t = FromOleDate(ToOleDate({2017, 1, 1}) + i * 5.0 / 1440.0);
        const int tenths = 150 + static_cast<int>(i * 7919 % 200);
        std::fprintf(out, "%d-%02d-%02d %d:%02d:%02d,%d.%d,%d,%d.%d,%d.%d\r\n", t.year, t.month,
                     t.day, t.hour, t.minute, t.second, tenths / 10, tenths % 10,
                     40 + static_cast<int>(i % 50), tenths / 20, tenths % 10, tenths / 10,
                     (tenths + 3) % 10);
    }
    return std::fclose(out) == 0;
}

// The largest resident size of this process so far, in MB.
inline double PeakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace nimbra::bench
