#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace nimbra {

// How the station writes its time stamps and temperatures: settings bytes 3 (time format: 0
// "h:mm:ss", 1 "AM h:mm:ss", 2 "h:mm:ss AM"), 4 (date format: 0 "YYYY-MM-DD", 1 "MM-DD-YYYY",
// 2 "DD-MM-YYYY") and 7 (0 Celsius, 1 Fahrenheit). Other values fall back to format 0.
struct LogFormat
{
    int timeFormat = 0;
    int dateFormat = 0;
    bool fahrenheit = false;
};

// How one generated log file looks: where it starts, how often it logs, how many lines.
struct LogRecipe
{
    std::chrono::sys_seconds start{};
    std::chrono::minutes interval{5};
    int rows = 288;
    bool indoor = false;     // three fields: time, temperature, humidity
    bool fahrenheit = false; // temperatures and the header in degrees Fahrenheit
    int timeFormat = 0;      // as LogFormat
    int dateFormat = 0;
    int missingEvery = 0; // every n-th line carries "--" values; 0 for none
    std::uint32_t seed = 1;
};

// "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)", shortened to its first three
// fields for an indoor file, (F) in Fahrenheit.
std::string logHeader(bool indoor, bool fahrenheit);
// "2026-12-01 9:05:00" in the default format; the hour never has a leading zero, the 12-hour
// forms run 12, 1, ..., 11.
std::string logTime(std::chrono::sys_seconds time, int timeFormat = 0, int dateFormat = 0);
// "20261201.csv", indoor "IN20261201.csv".
std::string logFileName(std::chrono::sys_days day, bool indoor);
// The header and recipe.rows reading lines, each ended by a line feed.
std::string generateLog(const LogRecipe& recipe);

struct ChannelReading;
// One reading line with its line feed: time, temperature, humidity and, outdoors, dew point
// and heat index; "--" for what the reading lacks.
std::string logLine(const ChannelReading& reading, std::chrono::sys_seconds at, bool indoor,
                    const LogFormat& format);

} // namespace nimbra
