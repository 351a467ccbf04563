#pragma once

#include <QString>
#include <array>
#include <qcustomplot.h>

namespace nimbra {

// The graph dialog's chart: four line series over a time axis of OLE dates, a title line, a
// legend at the top and a value axis. The time axis zooms and pans with the mouse wheel and a
// drag; a crosshair reads the time and value under the pointer.
class CTchart1 final : public QCustomPlot
{
    Q_OBJECT
public:
    static constexpr int SeriesCount = 4;

    explicit CTchart1(QWidget* parent = nullptr);

    void ClearAllSeries();
    // Fixes the time axis to exactly [start, end] (OLE dates); ResetView returns to it.
    void SetTimeRange(double startOle, double endOle);
    void SetTitleText(const QString& text);
    void SetSeriesTitle(int series, const QString& title);
    // A series out of use is neither drawn nor listed in the legend; one in use is listed once
    // it has a title.
    void SetSeriesInUse(int series, bool inUse);
    void SetValueAxisTitle(const QString& title);
    // While automatic, the value axis spans the drawn readings of the visible time range, from
    // the next paint or time-axis change on.
    void SetValueAxisAutomatic(bool automatic);
    // Hands the series its points in one step, keys ascending (see ChartPoints).
    void LoadSeries(int series, QVector<QCPGraphData> points);

    // A word in the middle of the plot area, such as why it is empty; an empty text removes it.
    void SetNotice(const QString& text);
    QString Notice() const;

    void ResetView();
    bool SavePicture(const QString& pngPath);

    // The crosshair's text for a position in widget pixels: the time and value there, and the
    // nearest reading of every drawn series. Empty outside the plot area.
    QString ReadoutAt(QPointF position) const;

    QString TitleText() const;
    bool SeriesInUse(int series) const { return m_inUse.at(series); }
    // The time axis range as OLE dates.
    double ViewStart() const;
    double ViewEnd() const;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void buildSeries();
    void buildTitleAndLegend();
    void buildTimeAxis();
    void buildCrosshair();
    void buildNotice();
    void rebuildLegend();
    void fitValueAxis();
    void showCrosshair(QPointF position);
    void hideCrosshair();

    QCPTextElement* m_title = nullptr;
    std::array<bool, SeriesCount> m_inUse{true, true, true, true};
    bool m_valueAxisAutomatic = true;
    bool m_valueFitPending = false; // series loaded since the value axis was last fitted
    QCPRange m_chosenRange;
    QCPLayer* m_crosshairLayer = nullptr;
    QCPItemStraightLine* m_vertical = nullptr;
    QCPItemStraightLine* m_horizontal = nullptr;
    QCPItemText* m_readout = nullptr;
    QCPItemText* m_notice = nullptr;
};

} // namespace nimbra
