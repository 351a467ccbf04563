#include "tchart1.h"

#include "oletime.h"
#include "timeticker.h"

#include <QLocale>

namespace nimbra {

namespace {

const std::array<QColor, CTchart1::SeriesCount> SeriesColours{
    QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 128, 255), QColor(255, 128, 0)};

// Room above and below the drawn readings, as a share of their span.
constexpr double ValueMargin = 0.05;
// The readout sits this far right of and below the pointer.
constexpr double ReadoutOffset = 14.0;

QString ValueText(double value)
{
    return QLocale().toString(value, 'f', 1);
}

} // namespace

CTchart1::CTchart1(QWidget* parent) : QCustomPlot(parent)
{
    setMinimumSize(800, 369);
    buildSeries();
    buildTitleAndLegend();
    buildTimeAxis();
    buildCrosshair();
    buildNotice();
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (m_valueAxisAutomatic)
            fitValueAxis();
    });
    // Series loaded one after another are measured once, when they are painted.
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        if (m_valueAxisAutomatic && m_valueFitPending)
            fitValueAxis();
    });
}

void CTchart1::buildSeries()
{
    for (const QColor& colour : SeriesColours) {
        QCPGraph* series = addGraph(xAxis, yAxis);
        series->setPen(QPen(colour));
        series->setName(QStringLiteral(" "));
        series->setLineStyle(QCPGraph::lsLine);
        // Dense series are thinned to what the pixels can show, not drawn point by point.
        series->setAdaptiveSampling(true);
    }
    rebuildLegend();
}

void CTchart1::buildTitleAndLegend()
{
    QFont titleFont = font();
    titleFont.setBold(true);
    m_title = new QCPTextElement(this, QStringLiteral(" "), titleFont);
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, m_title);

    // The legend leaves the plot area for a centred row of its own above it.
    axisRect()->insetLayout()->take(legend);
    auto* legendRow = new QCPLayoutGrid;
    plotLayout()->insertRow(1);
    plotLayout()->addElement(1, 0, legendRow);
    legendRow->addElement(0, 0, new QCPLayoutElement(this));
    legendRow->addElement(0, 1, legend);
    legendRow->addElement(0, 2, new QCPLayoutElement(this));
    legendRow->setColumnStretchFactor(1, 0.001);
    legendRow->setMargins(QMargins());
    plotLayout()->setRowStretchFactor(0, 0.001);
    plotLayout()->setRowStretchFactor(1, 0.001);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setVisible(true);
}

void CTchart1::buildTimeAxis()
{
    xAxis->setTicker(QSharedPointer<TimeTicker>::create(xAxis));

    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
}

void CTchart1::buildCrosshair()
{
    // The crosshair has a buffer of its own, so following the pointer never repaints the series.
    addLayer(QStringLiteral("crosshair"), layer(QStringLiteral("legend")), limAbove);
    m_crosshairLayer = layer(QStringLiteral("crosshair"));
    m_crosshairLayer->setMode(QCPLayer::lmBuffered);

    const QPen pen(QColor(96, 96, 96), 0, Qt::DashLine);
    m_vertical = new QCPItemStraightLine(this);
    m_horizontal = new QCPItemStraightLine(this);
    for (QCPItemStraightLine* line : {m_vertical, m_horizontal}) {
        line->setLayer(m_crosshairLayer);
        line->setPen(pen);
        line->setSelectable(false);
    }
    m_readout = new QCPItemText(this);
    m_readout->setLayer(m_crosshairLayer);
    m_readout->setSelectable(false);
    m_readout->setClipToAxisRect(false);
    m_readout->position->setType(QCPItemPosition::ptAbsolute);
    m_readout->setTextAlignment(Qt::AlignLeft);
    m_readout->setPadding(QMargins(4, 2, 4, 2));
    m_readout->setBrush(QColor(255, 255, 225));
    m_readout->setPen(QPen(QColor(96, 96, 96)));
    hideCrosshair();
}

void CTchart1::buildNotice()
{
    m_notice = new QCPItemText(this);
    m_notice->setSelectable(false);
    m_notice->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_notice->position->setCoords(0.5, 0.5);
    m_notice->setPositionAlignment(Qt::AlignCenter);
    m_notice->setTextAlignment(Qt::AlignCenter);
    m_notice->setPadding(QMargins(8, 6, 8, 6));
    m_notice->setColor(QColor(64, 64, 64));
    // Opaque, so the grid does not run through the words.
    m_notice->setBrush(QColor(255, 255, 255));
    m_notice->setPen(QPen(QColor(192, 192, 192)));
    m_notice->setVisible(false);
}

void CTchart1::SetNotice(const QString& text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

QString CTchart1::Notice() const
{
    return m_notice->visible() ? m_notice->text() : QString();
}

void CTchart1::ClearAllSeries()
{
    for (int series = 0; series < SeriesCount; ++series)
        graph(series)->data()->clear();
}

void CTchart1::SetTimeRange(double startOle, double endOle)
{
    const double start = AxisKeyFromOle(startOle);
    double end = AxisKeyFromOle(endOle);
    // An axis cannot span nothing; an empty range shows the second after its start.
    if (end <= start)
        end = start + 1.0;
    m_chosenRange = QCPRange(start, end);
    xAxis->setRange(m_chosenRange);
}

void CTchart1::SetTitleText(const QString& text)
{
    m_title->setText(text);
}

void CTchart1::SetSeriesTitle(int series, const QString& title)
{
    graph(series)->setName(title);
    rebuildLegend();
}

void CTchart1::SetSeriesInUse(int series, bool inUse)
{
    m_inUse.at(series) = inUse;
    graph(series)->setVisible(inUse);
    rebuildLegend();
}

// A series without a title yet (the blank of a fresh chart) has nothing to say in the legend.
void CTchart1::rebuildLegend()
{
    legend->clearItems();
    for (int series = 0; series < SeriesCount; ++series) {
        if (m_inUse[series] && !graph(series)->name().trimmed().isEmpty())
            graph(series)->addToLegend();
    }
}

void CTchart1::SetValueAxisTitle(const QString& title)
{
    yAxis->setLabel(title);
}

void CTchart1::SetValueAxisAutomatic(bool automatic)
{
    m_valueAxisAutomatic = automatic;
    if (automatic)
        fitValueAxis();
}

void CTchart1::LoadSeries(int series, QVector<QCPGraphData> points)
{
    const bool ascending =
        std::is_sorted(points.cbegin(), points.cend(), qcpLessThanSortKey<QCPGraphData>);
    graph(series)->data()->set(points, ascending);
    m_valueFitPending = true;
}

void CTchart1::fitValueAxis()
{
    m_valueFitPending = false;
    QCPRange span;
    bool found = false;
    for (int series = 0; series < SeriesCount; ++series) {
        if (!m_inUse[series])
            continue;
        bool inSeries = false;
        const QCPRange range = graph(series)->getValueRange(inSeries, QCP::sdBoth, xAxis->range());
        if (!inSeries)
            continue;
        if (found) {
            span.expand(range);
        } else {
            span = range;
            found = true;
        }
    }
    if (!found)
        return;
    const double margin = span.size() > 0.0 ? span.size() * ValueMargin : 1.0;
    yAxis->setRange(span.lower - margin, span.upper + margin);
}

void CTchart1::ResetView()
{
    xAxis->setRange(m_chosenRange);
    replot();
}

bool CTchart1::SavePicture(const QString& pngPath)
{
    hideCrosshair();
    return savePng(pngPath);
}

QString CTchart1::ReadoutAt(QPointF position) const
{
    if (!axisRect()->rect().contains(position.toPoint()))
        return {};
    const double key = xAxis->pixelToCoord(position.x());
    QString text =
        AxisTimeText(key) + QStringLiteral("   ") + ValueText(yAxis->pixelToCoord(position.y()));
    for (int series = 0; series < SeriesCount; ++series) {
        const auto data = graph(series)->data();
        if (!m_inUse[series] || data->isEmpty())
            continue;
        auto nearest = data->findBegin(key, true);
        const auto above = nearest + 1;
        if (above != data->constEnd() && qAbs(above->key - key) < qAbs(nearest->key - key))
            nearest = above;
        text += QStringLiteral("\n%1: %2   %3")
                    .arg(graph(series)->name().trimmed(), ValueText(nearest->value),
                         AxisTimeText(nearest->key));
    }
    return text;
}

QString CTchart1::TitleText() const
{
    return m_title->text();
}

double CTchart1::ViewStart() const
{
    return OleFromAxisKey(xAxis->range().lower);
}

double CTchart1::ViewEnd() const
{
    return OleFromAxisKey(xAxis->range().upper);
}

void CTchart1::mouseMoveEvent(QMouseEvent* event)
{
    QCustomPlot::mouseMoveEvent(event);
    showCrosshair(event->position());
}

void CTchart1::leaveEvent(QEvent* event)
{
    QCustomPlot::leaveEvent(event);
    hideCrosshair();
    m_crosshairLayer->replot();
}

void CTchart1::showCrosshair(QPointF position)
{
    const QString text = ReadoutAt(position);
    if (text.isEmpty()) {
        hideCrosshair();
        m_crosshairLayer->replot();
        return;
    }
    const QPointF coords(xAxis->pixelToCoord(position.x()), yAxis->pixelToCoord(position.y()));
    m_vertical->point1->setCoords(coords.x(), 0.0);
    m_vertical->point2->setCoords(coords.x(), 1.0);
    m_horizontal->point1->setCoords(0.0, coords.y());
    m_horizontal->point2->setCoords(1.0, coords.y());
    m_readout->setText(text);
    // The readout stays inside the plot area: it turns to the pointer's left or top near an edge.
    const QRect area = axisRect()->rect();
    const bool leftOf = position.x() > area.center().x();
    const bool above = position.y() > area.center().y();
    m_readout->setPositionAlignment((leftOf ? Qt::AlignRight : Qt::AlignLeft) |
                                    (above ? Qt::AlignBottom : Qt::AlignTop));
    m_readout->position->setCoords(position.x() + (leftOf ? -ReadoutOffset : ReadoutOffset),
                                   position.y() + (above ? -ReadoutOffset : ReadoutOffset));
    for (QCPAbstractItem* part :
         {static_cast<QCPAbstractItem*>(m_vertical), static_cast<QCPAbstractItem*>(m_horizontal),
          static_cast<QCPAbstractItem*>(m_readout)})
        part->setVisible(true);
    m_crosshairLayer->replot();
}

void CTchart1::hideCrosshair()
{
    m_vertical->setVisible(false);
    m_horizontal->setVisible(false);
    m_readout->setVisible(false);
}

} // namespace nimbra
