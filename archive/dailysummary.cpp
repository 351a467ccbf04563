#include "dailysummary.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nimbra {

void DayRange::add(double value)
{
    low = count == 0 ? value : std::min(low, value);
    high = count == 0 ? value : std::max(high, value);
    sum += value;
    ++count;
}

DailySummaries::DailySummaries(std::function<void(const DaySummary&)> onDay)
    : m_onDay(std::move(onDay))
{
}

void DailySummaries::add(const RecordRow& row)
{
    const auto day = static_cast<std::int64_t>(std::floor(row.Time));
    if (m_day && m_day->day != day)
        finish();
    if (!m_day) {
        m_day.emplace();
        m_day->day = day;
    }
    ++m_day->readings;
    if (row.Temperature != float(NoValue))
        m_day->temperature.add(row.Temperature);
    if (row.Humidity != NoValue)
        m_day->humidity.add(row.Humidity);
}

void DailySummaries::finish()
{
    if (m_day)
        m_onDay(*m_day);
    m_day.reset();
}

} // namespace nimbra
