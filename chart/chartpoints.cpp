#include "chartpoints.h"

#include "oletime.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace nimbra {

void ChartPoints::reserve(std::size_t points)
{
    const auto capped = static_cast<qsizetype>(
        std::min<std::size_t>(points, std::numeric_limits<qsizetype>::max()));
    try {
        for (QVector<QCPGraphData>& series : m_series)
            series.reserve(capped);
    } catch (const std::bad_alloc&) {
        for (QVector<QCPGraphData>& series : m_series)
            series.squeeze();
    }
}

void ChartPoints::add(std::size_t series, double time, double value)
{
    m_series[series].append(QCPGraphData(AxisKeyFromOle(time), value));
}

void ChartPoints::clear()
{
    for (QVector<QCPGraphData>& series : m_series)
        series = {};
}

void ChartPoints::append(ChartPoints& later)
{
    for (std::size_t i = 0; i < m_series.size() && i < later.m_series.size(); ++i) {
        m_series[i].append(later.m_series[i]);
        later.m_series[i] = {};
    }
}

QVector<QCPGraphData> ChartPoints::take(std::size_t series)
{
    return std::exchange(m_series[series], {});
}

} // namespace nimbra
