#pragma once

#include <qcustomplot.h>

namespace nimbra {

// Ticks of the chart's time axis (see oletime.h), spaced from the span shown and the room the
// axis has: the shortest step a reader counts in (seconds, minutes, hours, days, weeks, months,
// years) whose labels stand side by side with a gap between them, at every zoom. Labels keep
// the one form of AxisTimeFormat.
class TimeTicker final : public QCPAxisTickerDateTime
{
public:
    explicit TimeTicker(const QCPAxis* axis);

protected:
    double getTickStep(const QCPRange& range) override;

private:
    // The least distance in pixels between two ticks whose labels do not touch.
    double labelPitch(const QCPRange& range) const;

    const QCPAxis* m_axis;
};

} // namespace nimbra
