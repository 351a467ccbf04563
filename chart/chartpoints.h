#pragma once

#include "recordstore.h"

#include <qcustomplot.h>
#include <vector>

namespace nimbra {

// Points for the chart's series as a pass over the record store delivers them: each OLE date
// becomes the time axis's key as it arrives, so the chart takes the series without a copy.
class ChartPoints final : public SeriesSink
{
public:
    explicit ChartPoints(std::size_t seriesCount) : m_series(seriesCount) {}

    // A hint that cannot be met is let go: the points are then gathered as they come.
    void reserve(std::size_t points) override;
    void add(std::size_t series, double time, double value) override;
    void clear() override;

    // Appends the points of later, series by series; later is left empty.
    void append(ChartPoints& later);
    // The points of one series, which this then no longer holds.
    QVector<QCPGraphData> take(std::size_t series);

private:
    std::vector<QVector<QCPGraphData>> m_series;
};

// The series with a point without a value (NaN) wherever the readings pause for longer than
// three logging intervals, so that no line is drawn across the missing time. The interval is the
// usual step between points (their median).
QVector<QCPGraphData> BreakAtGaps(QVector<QCPGraphData> points);

} // namespace nimbra
