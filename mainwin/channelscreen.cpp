#include "channelscreen.h"

#include "uitext.h"

#include <QPaintEvent>
#include <QPainter>

namespace nimbra {

namespace {

struct Edges
{
    int left, top, right, bottom;
    QRect rect() const { return QRect(left, top, right - left, bottom - top); }
};

// Per channel: title, temperature, humidity, dew point (right and bottom exclusive). Each value
// box holds its two lines whole.
constexpr Edges BoxEdges[ChannelCount][4] = {
    {{10, 8, 110, 25}, {10, 30, 110, 70}, {10, 70, 110, 110}, {10, 110, 110, 150}},
    {{170, 8, 270, 25}, {170, 30, 270, 70}, {170, 70, 270, 110}, {170, 110, 270, 150}},
    {{320, 8, 420, 25}, {320, 30, 420, 70}, {320, 70, 420, 110}, {320, 110, 420, 150}},
    {{10, 162, 110, 185}, {10, 185, 110, 222}, {10, 225, 110, 262}, {10, 265, 110, 302}},
    {{170, 162, 270, 185}, {170, 185, 270, 222}, {170, 225, 270, 262}, {170, 265, 270, 302}},
    {{320, 162, 420, 185}, {320, 185, 420, 222}, {320, 225, 420, 262}, {320, 265, 420, 302}},
    {{10, 315, 110, 335}, {10, 330, 110, 370}, {10, 370, 110, 410}, {10, 410, 110, 450}},
    {{170, 315, 270, 335}, {170, 330, 270, 370}, {170, 370, 270, 410}, {170, 410, 270, 450}},
};

// The station's software sized its font by the cell (ascent plus descent), not the em.
constexpr int FontCellHeight = 16;

QString valueText(const QString& label, const std::string& value)
{
    return label + QStringLiteral(":\r\n ") + QString::fromStdString(value);
}

float dewPointOf(float temperature, int humidity)
{
    return temperature == NoValueTemperature ? NoValueTemperature
                                             : ComputeDewPoint(temperature, humidity);
}

} // namespace

ScreenLabels LabelsFrom(const UiText& texts)
{
    return {texts.Text(TextId::Temperature), texts.Text(TextId::Humidity),
            texts.Text(TextId::DewPoint)};
}

QList<ScreenBox> ChannelBoxes(const LiveSnapshot& values, bool fahrenheit,
                              const ScreenLabels& labels)
{
    QList<ScreenBox> boxes;
    boxes.reserve(4 * ChannelCount);
    for (int i = 0; i < ChannelCount; ++i) {
        const float temperature = values.m_Temperature[i];
        const int humidity = values.m_Humidity[i];
        const float dewPoint = dewPointOf(temperature, humidity);
        const auto& edges = BoxEdges[i];
        boxes.append({edges[0].rect(), QStringLiteral("CH%1").arg(i + 1)});
        boxes.append(
            {edges[1].rect(), valueText(labels.temperature,
                                        FormatTemperature(temperature, TextWithUnit, fahrenheit))});
        boxes.append(
            {edges[2].rect(), valueText(labels.humidity, FormatHumidity(humidity, TextWithUnit))});
        boxes.append(
            {edges[3].rect(),
             valueText(labels.dewPoint, FormatTemperature(dewPoint, TextWithUnit, fahrenheit))});
    }
    return boxes;
}

QPixmap ScreenBackground()
{
    return QPixmap(QStringLiteral(":/nimbra/bitmap138.png"));
}

QFont ScreenFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    for (int pixels = FontCellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= FontCellHeight)
            break;
    }
    return font;
}

QIcon WindowIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/nimbra/icon128.png"), QSize(64, 64));
    icon.addFile(QStringLiteral(":/nimbra/icon128_32.png"), QSize(32, 32));
    return icon;
}

void PaintChannelScreen(QPainter& painter, const LiveSnapshot& values, bool fahrenheit,
                        const ScreenLabels& labels)
{
    painter.drawPixmap(0, 0, ScreenBackground());
    painter.setFont(ScreenFont());
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const ScreenBox& box : ChannelBoxes(values, fahrenheit, labels)) {
        // Qt breaks lines at "\n" only; the carriage return would show as a glyph.
        QString lines = box.text;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        painter.drawText(box.rect, Qt::AlignLeft | Qt::AlignTop, lines);
    }
}

QPixmap ComposeScreen(const LiveSnapshot& values, bool fahrenheit, const ScreenLabels& labels,
                      qreal devicePixelRatio)
{
    QPixmap picture(ScreenSize * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&picture);
    PaintChannelScreen(painter, values, fahrenheit, labels);
    return picture;
}

ChannelScreen::ChannelScreen(const LiveReadings& readings, UnitSource fahrenheit, QWidget* parent)
    : QWidget(parent), m_readings(readings), m_fahrenheit(std::move(fahrenheit))
{
    setFixedSize(ScreenSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChannelScreen::setLabels(const ScreenLabels& labels)
{
    m_labels = labels;
    update();
}

void ChannelScreen::paintEvent(QPaintEvent*)
{
    const QPixmap picture =
        ComposeScreen(m_readings.snapshot(), m_fahrenheit(), m_labels, devicePixelRatioF());
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}

} // namespace nimbra
