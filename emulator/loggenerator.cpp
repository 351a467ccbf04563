#include "loggenerator.h"

#include "channelsim.h"
#include "decimaltext.h"

#include <cmath>
#include <cstdio>

namespace nimbra {

namespace {

using namespace std::chrono;

// Magnus formula over water.
double dewPoint(double celsius, int humidity)
{
    constexpr double a = 17.62;
    constexpr double b = 243.12;
    const double g = std::log(humidity / 100.0) + a * celsius / (b + celsius);
    return b * g / (a - g);
}

// The heat index of the US weather service, in degrees Fahrenheit.
double heatIndexFahrenheit(double fahrenheit, int humidity)
{
    const double t = fahrenheit;
    const double r = humidity;
    const double simple = 0.5 * (t + 61.0 + (t - 68.0) * 1.2 + r * 0.094);
    if ((simple + t) / 2.0 < 80.0)
        return simple;
    return -42.379 + 2.04901523 * t + 10.14333127 * r - 0.22475541 * t * r - 0.00683783 * t * t -
           0.05481717 * r * r + 0.00122874 * t * t * r + 0.00085282 * t * r * r -
           0.00000199 * t * t * r * r;
}

double toFahrenheit(double celsius)
{
    return celsius * 1.8 + 32.0;
}

struct Line
{
    std::string temperature = "--";
    std::string humidity = "--";
    std::string dewPoint = "--";
    std::string heatIndex = "--";
};

// gapKind -1 is a full line; lines with gaps take turns: 0 no temperature, 1 no humidity,
// 2 no derived values, 3 nothing at all. Derived values need both readings.
Line readingLine(const ChannelReading& reading, bool fahrenheit, int gapKind)
{
    Line line;
    const bool hasTemperature = reading.tenths && gapKind != 0 && gapKind != 3;
    const bool hasHumidity = reading.humidity && gapKind != 1 && gapKind != 3;
    const double celsius = reading.tenths.value_or(0) / 10.0;
    const int humidity = reading.humidity.value_or(0);
    if (hasTemperature)
        line.temperature = OneDecimal(fahrenheit ? toFahrenheit(celsius) : celsius);
    if (hasHumidity)
        line.humidity = std::to_string(humidity);
    // The dew point of a dry 0 % has no value.
    if (hasTemperature && hasHumidity && humidity > 0 && gapKind < 0) {
        const double dew = dewPoint(celsius, humidity);
        const double heat = heatIndexFahrenheit(toFahrenheit(celsius), humidity);
        line.dewPoint = OneDecimal(fahrenheit ? toFahrenheit(dew) : dew);
        line.heatIndex = OneDecimal(fahrenheit ? heat : (heat - 32.0) / 1.8);
    }
    return line;
}

std::string formatLine(const Line& line, sys_seconds at, bool indoor, const LogFormat& format)
{
    std::string text = logTime(at, format.timeFormat, format.dateFormat) + ',' + line.temperature +
                       ',' + line.humidity;
    if (!indoor)
        text += ',' + line.dewPoint + ',' + line.heatIndex;
    return text + '\n';
}

} // namespace

std::string logHeader(bool indoor, bool fahrenheit)
{
    const std::string unit = fahrenheit ? "(F)" : "(C)";
    std::string header = "Time,Temperature" + unit + ",Humidity(%)";
    if (!indoor)
        header += ",DewPoint" + unit + ",HeatIndex" + unit;
    return header;
}

std::string logTime(sys_seconds time, int timeFormat, int dateFormat)
{
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    const int y = static_cast<int>(date.year());
    const unsigned m = static_cast<unsigned>(date.month());
    const unsigned d = static_cast<unsigned>(date.day());
    const long h = static_cast<long>(clock.hours().count());
    const long minute = static_cast<long>(clock.minutes().count());
    const long second = static_cast<long>(clock.seconds().count());

    // Room for the widest values the types allow, so the text is never cut.
    char datePart[48];
    if (dateFormat == 1)
        std::snprintf(datePart, sizeof datePart, "%02u-%02u-%04d", m, d, y);
    else if (dateFormat == 2)
        std::snprintf(datePart, sizeof datePart, "%02u-%02u-%04d", d, m, y);
    else
        std::snprintf(datePart, sizeof datePart, "%04d-%02u-%02u", y, m, d);

    char timePart[48];
    const char* half = h < 12 ? "AM" : "PM";
    const long h12 = h % 12 == 0 ? 12 : h % 12;
    if (timeFormat == 1)
        std::snprintf(timePart, sizeof timePart, "%s %ld:%02ld:%02ld", half, h12, minute, second);
    else if (timeFormat == 2)
        std::snprintf(timePart, sizeof timePart, "%ld:%02ld:%02ld %s", h12, minute, second, half);
    else
        std::snprintf(timePart, sizeof timePart, "%ld:%02ld:%02ld", h, minute, second);
    return std::string(datePart) + ' ' + timePart;
}

std::string logFileName(sys_days day, bool indoor)
{
    const year_month_day date{day};
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u.csv", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return (indoor ? "IN" : "") + std::string(text);
}

std::string logLine(const ChannelReading& reading, sys_seconds at, bool indoor,
                    const LogFormat& format)
{
    return formatLine(readingLine(reading, format.fahrenheit, -1), at, indoor, format);
}

std::string generateLog(const LogRecipe& recipe)
{
    // The indoor file follows the sensor beside the station, the others an outdoor one.
    const int channel = recipe.indoor ? 1 : 2;
    const LogFormat format{recipe.timeFormat, recipe.dateFormat, recipe.fahrenheit};
    ChannelSimulator sensors(recipe.seed);
    std::string log = logHeader(recipe.indoor, recipe.fahrenheit) + "\n";
    log.reserve(static_cast<std::size_t>(recipe.rows) * 40 + log.size());
    for (int row = 0; row < recipe.rows; ++row) {
        const sys_seconds at = recipe.start + recipe.interval * row;
        const bool gap =
            recipe.missingEvery > 0 && row % recipe.missingEvery == recipe.missingEvery - 1;
        // An indoor line has no derived values to leave out.
        const int kinds = recipe.indoor ? 3 : 4;
        int gapKind = gap ? (row / recipe.missingEvery) % kinds : -1;
        if (recipe.indoor && gapKind == 2)
            gapKind = 3;
        log += formatLine(readingLine(sensors.sample(channel, at), recipe.fahrenheit, gapKind), at,
                          recipe.indoor, format);
    }
    return log;
}

} // namespace nimbra
