#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace nimbra {

// How one generated log file looks: where it starts, how often it logs, how many lines.
struct LogRecipe
{
    std::chrono::sys_seconds start{};
    std::chrono::minutes interval{5};
    int rows = 288;
    bool indoor = false;     // three fields: time, temperature, humidity
    bool fahrenheit = false; // temperatures and the header in degrees Fahrenheit
    int missingEvery = 0;    // every n-th line carries "--" values; 0 for none
    std::uint32_t seed = 1;
};

// "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)", shortened to its first three
// fields for an indoor file, (F) in Fahrenheit.
std::string logHeader(bool indoor, bool fahrenheit);
// "2026-12-01 10:05:00": the one form every date parser of the import accepts.
std::string logTime(std::chrono::sys_seconds time);
// "20261201.csv", indoor "IN20261201.csv".
std::string logFileName(std::chrono::sys_days day, bool indoor);
// The header and recipe.rows reading lines, each ended by a line feed.
std::string generateLog(const LogRecipe& recipe);

} // namespace nimbra
