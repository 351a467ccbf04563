#include "chartpoints.h"

#include "oletime.h"

#include <algorithm>
#include <cmath>
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

QVector<QCPGraphData> BreakAtGaps(QVector<QCPGraphData> points)
{
    if (points.size() < 3)
        return points;
    std::vector<double> steps;
    steps.reserve(static_cast<std::size_t>(points.size() - 1));
    for (qsizetype i = 1; i < points.size(); ++i)
        steps.push_back(points[i].key - points[i - 1].key);
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const double longest = 3.0 * *middle;
    if (!(longest > 0.0))
        return points;
    QVector<QCPGraphData> broken;
    broken.reserve(points.size());
    broken.append(points.front());
    for (qsizetype i = 1; i < points.size(); ++i) {
        const double previous = points[i - 1].key;
        if (points[i].key - previous > longest)
            broken.append(QCPGraphData((previous + points[i].key) / 2.0, std::nan("")));
        broken.append(points[i]);
    }
    return broken;
}

} // namespace nimbra
