#pragma once

#include "livereadings.h"

#include <QFont>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>

class QPainter;

namespace nimbra {

class UiText;

inline constexpr QSize ScreenSize(480, 475);

// The row labels of a channel box in the user-interface language (temperature, humidity, dew
// point).
struct ScreenLabels
{
    QString temperature;
    QString humidity;
    QString dewPoint;
};
ScreenLabels LabelsFrom(const UiText& texts);

// One text of the main screen and the rectangle it is drawn into. A value text is the label,
// ":\r\n " and the formatted value, as the station's other software shows it.
struct ScreenBox
{
    QRect rect;
    QString text;
    friend bool operator==(const ScreenBox&, const ScreenBox&) = default;
};

// The 32 boxes in drawing order: for CH1..CH8 the title, temperature, humidity, dew point.
QList<ScreenBox> ChannelBoxes(const LiveSnapshot& values, bool fahrenheit,
                              const ScreenLabels& labels);

QPixmap ScreenBackground();
// "Arial" at the size whose line cell is 16 pixels, normal weight.
QFont ScreenFont();
QIcon WindowIcon();

// Background at the origin, then every box, onto any paint device.
void PaintChannelScreen(QPainter& painter, const LiveSnapshot& values, bool fahrenheit,
                        const ScreenLabels& labels);
// The whole picture, composed off-screen for one drawPixmap.
QPixmap ComposeScreen(const LiveSnapshot& values, bool fahrenheit, const ScreenLabels& labels,
                      qreal devicePixelRatio = 1.0);

// The main window's client picture. It reads the readings and the unit when it paints, so a
// repaint request is all that a new poll result needs.
class ChannelScreen : public QWidget
{
    Q_OBJECT
public:
    using UnitSource = std::function<bool()>; // true: Fahrenheit

    ChannelScreen(const LiveReadings& readings, UnitSource fahrenheit, QWidget* parent = nullptr);

    void setLabels(const ScreenLabels& labels);
    const ScreenLabels& labels() const { return m_labels; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const LiveReadings& m_readings;
    UnitSource m_fahrenheit;
    ScreenLabels m_labels;
};

} // namespace nimbra
