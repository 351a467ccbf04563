#pragma once

#include "archivewriter.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace nimbra {

// The least, the greatest and the mean of one quantity over a day; its readings without a value
// left out.
struct DayRange
{
    double low = 0.0;
    double high = 0.0;
    double sum = 0.0;
    std::int64_t count = 0;

    void add(double value);
    double mean() const { return count > 0 ? sum / double(count) : 0.0; }
};

struct DaySummary
{
    std::int64_t day = 0; // the OLE date of its midnight
    std::int64_t readings = 0;
    DayRange temperature;
    DayRange humidity;
};

// Sums readings up day by day as they come in time order, one pass, nothing kept but the day
// under way: each day is handed on as soon as the next one starts, the last one by finish().
// Temperatures are taken in the unit they are added in.
class DailySummaries
{
public:
    explicit DailySummaries(std::function<void(const DaySummary&)> onDay);

    void add(const RecordRow& row);
    void finish();

private:
    std::function<void(const DaySummary&)> m_onDay;
    std::optional<DaySummary> m_day;
};

} // namespace nimbra
