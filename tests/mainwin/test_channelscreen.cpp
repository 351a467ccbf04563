#include "channelscreen.h"
#include "uitext.h"

#include <QDebug>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTest>
#include <map>
#include <set>
#include <tuple>

namespace nimbra {
namespace {

struct DrawnText
{
    QPointF baseline;
    QString text;
    QFont font;
};

struct DrawnPixmap
{
    QRectF target;
    QSize size;
    int textsBefore;
};

// Keeps what a painter asks for instead of rasterising it.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    Type type() const override { return User; }

    void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF&) override
    {
        m_pixmaps.append({target, pixmap.size(), int(m_texts.size())});
    }
    void drawTextItem(const QPointF& point, const QTextItem& item) override
    {
        m_texts.append({point, item.text(), item.font()});
    }

    QList<DrawnText> m_texts;
    QList<DrawnPixmap> m_pixmaps;
};

class RecordingDevice : public QPaintDevice
{
public:
    QPaintEngine* paintEngine() const override { return &m_engine; }
    RecordingEngine& engine() { return m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return ScreenSize.width();
        case PdmHeight:
            return ScreenSize.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }

private:
    mutable RecordingEngine m_engine;
};

using RectKey = std::tuple<int, int, int, int>;

RectKey keyOf(const QRect& r)
{
    return {r.left(), r.top(), r.width(), r.height()};
}

// The box a drawn line belongs to, judged by where the painter put it: its line cell starts
// inside the box's rows and at its left edge. Where boxes overlap (CH7, CH8) the later one,
// starting lower, is the one whose first line begins there.
QRect ownerOf(const DrawnText& drawn, const QList<QRect>& boxes)
{
    const int top = qRound(drawn.baseline.y() - QFontMetricsF(drawn.font).ascent());
    const int left = qRound(drawn.baseline.x());
    QRect owner;
    for (const QRect& box : boxes)
        if (left == box.left() && top >= box.top() && top <= box.bottom() &&
            (owner.isNull() || box.top() > owner.top()))
            owner = box;
    return owner;
}

QList<QRect> boxRects()
{
    QList<QRect> rects;
    for (const ScreenBox& box : ChannelBoxes(LiveSnapshot{}, false, ScreenLabels{}))
        rects.append(box.rect);
    return rects;
}

// The lines drawn into each box, top to bottom, joined as the model text joins them.
std::map<RectKey, QString> textsByRect(const QList<DrawnText>& texts)
{
    const QList<QRect> boxes = boxRects();
    std::map<RectKey, std::map<std::pair<qreal, qreal>, QString>> pieces;
    for (const DrawnText& drawn : texts)
        pieces[keyOf(ownerOf(drawn, boxes))][{drawn.baseline.y(), drawn.baseline.x()}] +=
            drawn.text;
    std::map<RectKey, QString> result;
    for (const auto& [rect, lines] : pieces) {
        QString joined;
        qreal lastY = lines.begin()->first.first;
        for (const auto& [position, text] : lines) {
            if (position.first != lastY)
                joined += QStringLiteral("\r\n");
            joined += text;
            lastY = position.first;
        }
        result[rect] = joined;
    }
    return result;
}

QString at(const std::map<RectKey, QString>& texts, int l, int t, int r, int b)
{
    const auto found = texts.find({l, t, r - l, b - t});
    return found == texts.end() ? QStringLiteral("<nothing drawn>") : found->second;
}

LiveSnapshot sampleReadings()
{
    LiveSnapshot values;
    values.m_ChannelActive.fill(1);
    values.m_ChannelActive[4] = 0; // CH5 masked: decoded as no value
    const float temperatures[] = {23.1f, -10.0f, 25.0f, -40.0f, NoValueTemperature,
                                  20.0f, 0.0f,   60.0f};
    const int humidities[] = {45, 99, 60, 1, NoValue, 50, 80, NoValue};
    for (int i = 0; i < ChannelCount; ++i) {
        values.m_Temperature[i] = temperatures[i];
        values.m_Humidity[i] = humidities[i];
    }
    return values;
}

ScreenLabels labelsIn(Language language)
{
    UiText texts;
    texts.LoadUiText(language);
    return LabelsFrom(texts);
}

RecordingDevice* paintInto(RecordingDevice& device, const LiveSnapshot& values, bool fahrenheit,
                           const ScreenLabels& labels)
{
    QPainter painter(&device);
    PaintChannelScreen(painter, values, fahrenheit, labels);
    return &device;
}

} // namespace

class ChannelScreenTest : public QObject
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void boxesFollowDrawingOrderAndRectangles();
    void textsStartAtTheTopLeftInTheScreenFont();
    void everyLineIsWholeInsideItsBox_data();
    void everyLineIsWholeInsideItsBox();
    void backgroundFirstAndPanelsUnderTheBoxes();
    void widgetPaintsTheCurrentReadingsInOnePixmap();
};

void ChannelScreenTest::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("fahrenheit");
    QTest::addColumn<QStringList>("expected"); // CH1 T/H/D, CH4 T, CH5 T/H/D, CH7 title, CH8 H/D

    const QString c = QStringLiteral("  \u00B0C"), f = QStringLiteral("  \u00B0F");
    QTest::newRow("English Celsius")
        << int(Language::English) << false
        << QStringList{"Temperature:\r\n 23.1" + c, "Humidity:\r\n 45  %",
                       "DewPoint:\r\n 10.5" + c,    "Temperature:\r\n -40.0" + c,
                       "Temperature:\r\n --" + c,   "Humidity:\r\n --  %",
                       "DewPoint:\r\n --" + c,      "CH7",
                       "Humidity:\r\n --  %",       "DewPoint:\r\n --" + c};
    QTest::newRow("German Fahrenheit")
        << int(Language::German) << true
        << QStringList{"Temperatur:\r\n 73.6" + f,    "Luftfeuchtigkeit:\r\n 45  %",
                       "Taupunkt:\r\n 51.0" + f,      "Temperatur:\r\n -40.0" + f,
                       "Temperatur:\r\n --" + f,      "Luftfeuchtigkeit:\r\n --  %",
                       "Taupunkt:\r\n --" + f,        "CH7",
                       "Luftfeuchtigkeit:\r\n --  %", "Taupunkt:\r\n --" + f};
}

void ChannelScreenTest::texts()
{
    QFETCH(int, language);
    QFETCH(bool, fahrenheit);
    QFETCH(QStringList, expected);

    RecordingDevice device;
    paintInto(device, sampleReadings(), fahrenheit, labelsIn(Language(language)));
    const auto drawn = textsByRect(device.engine().m_texts);

    QCOMPARE(drawn.size(), size_t(32));
    QCOMPARE(at(drawn, 10, 30, 110, 70), expected[0]);
    QCOMPARE(at(drawn, 10, 70, 110, 110), expected[1]);
    QCOMPARE(at(drawn, 10, 110, 110, 150), expected[2]);
    QCOMPARE(at(drawn, 10, 185, 110, 222), expected[3]);
    QCOMPARE(at(drawn, 170, 185, 270, 222), expected[4]);
    QCOMPARE(at(drawn, 170, 225, 270, 262), expected[5]);
    QCOMPARE(at(drawn, 170, 265, 270, 302), expected[6]);
    QCOMPARE(at(drawn, 10, 315, 110, 335), expected[7]);
    QCOMPARE(at(drawn, 170, 370, 270, 410), expected[8]);
    QCOMPARE(at(drawn, 170, 410, 270, 450), expected[9]);
    // The titles are the same in every language; CH8's temperature is valid without humidity.
    QCOMPARE(at(drawn, 320, 162, 420, 185), QStringLiteral("CH6"));
    const QString hot =
        fahrenheit ? QStringLiteral(" 140.0  \u00B0F") : QStringLiteral(" 60.0  \u00B0C");
    QVERIFY(at(drawn, 170, 330, 270, 370).endsWith(hot));
}

void ChannelScreenTest::boxesFollowDrawingOrderAndRectangles()
{
    const QList<ScreenBox> boxes = ChannelBoxes(LiveSnapshot{}, false, labelsIn(Language::English));
    QCOMPARE(boxes.size(), 32);
    for (int i = 0; i < ChannelCount; ++i)
        QCOMPARE(boxes[4 * i].text, QStringLiteral("CH%1").arg(i + 1));
    // The CH7 and CH8 titles reach 5 pixels into their temperature boxes.
    QCOMPARE(boxes[24].rect, QRect(10, 315, 100, 20));
    QCOMPARE(boxes[25].rect, QRect(10, 330, 100, 40));
    QVERIFY(boxes[28].rect.intersects(boxes[29].rect));
    QCOMPARE(boxes[28].rect.intersected(boxes[29].rect).height(), 5);
    QCOMPARE(boxes[31].rect, QRect(170, 410, 100, 40));

    RecordingDevice device;
    paintInto(device, LiveSnapshot{}, false, labelsIn(Language::English));
    QList<QRect> order;
    const QList<QRect> rects = boxRects();
    for (const DrawnText& drawn : device.engine().m_texts) {
        const QRect owner = ownerOf(drawn, rects);
        if (order.isEmpty() || order.last() != owner)
            order.append(owner);
    }
    QCOMPARE(order.size(), 32);
    for (int n = 0; n < 32; ++n)
        QCOMPARE(order[n], boxes[n].rect);
}

void ChannelScreenTest::textsStartAtTheTopLeftInTheScreenFont()
{
    const QFont font = ScreenFont();
    QCOMPARE(QFontMetrics(font).height(), 16);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY2(QFontInfo(font).family().contains(QStringLiteral("Liberation Sans")) ||
                 QFontInfo(font).family() == QStringLiteral("Arial"),
             qPrintable(QFontInfo(font).family()));

    // Every box's first line cell starts exactly at its top-left corner.
    RecordingDevice device;
    paintInto(device, sampleReadings(), false, labelsIn(Language::English));
    const QFontMetricsF metrics(font);
    std::map<RectKey, QList<QPointF>> starts;
    for (const DrawnText& drawn : device.engine().m_texts) {
        QCOMPARE(drawn.font.pixelSize(), font.pixelSize());
        starts[keyOf(ownerOf(drawn, boxRects()))].append(drawn.baseline);
    }
    QCOMPARE(starts.size(), size_t(32));
    for (const auto& [rect, baselines] : starts) {
        const auto [left, top, width, height] = rect;
        QCOMPARE(baselines.first(), QPointF(left, top + metrics.ascent()));
        // The value line sits below the label and its baseline inside the box.
        if (baselines.size() > 1) {
            QCOMPARE(baselines[1].x(), qreal(left));
            QVERIFY(baselines[1].y() - baselines[0].y() >= metrics.height());
            QVERIFY(baselines[1].y() <= top + height);
        }
    }
}

void ChannelScreenTest::everyLineIsWholeInsideItsBox_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("fahrenheit");
    for (Language language : {Language::English, Language::German})
        for (bool fahrenheit : {false, true})
            QTest::newRow(qPrintable(
                QStringLiteral("%1 %2").arg(language == Language::German ? u"German" : u"English",
                                            fahrenheit ? u"Fahrenheit" : u"Celsius")))
                << int(language) << fahrenheit;
}

// Nothing painted is clipped: every line's cell, as wide as the font advances over its text and
// as high as the font's line, lies inside its box and the screen, and a box shows all its lines.
void ChannelScreenTest::everyLineIsWholeInsideItsBox()
{
    QFETCH(int, language);
    QFETCH(bool, fahrenheit);
    LiveSnapshot wide = sampleReadings();
    wide.m_Temperature[5] = -39.9f; // -39.8 °F
    wide.m_Humidity[5] = 100;
    wide.m_Humidity[6] = 100;

    const QRectF screen(QPointF(0, 0), QSizeF(ScreenSize));
    const QList<QRect> boxes = boxRects();
    for (const LiveSnapshot& values : {sampleReadings(), wide}) {
        RecordingDevice device;
        paintInto(device, values, fahrenheit, labelsIn(Language(language)));
        std::map<RectKey, std::set<qreal>> baselines;
        for (const DrawnText& drawn : device.engine().m_texts) {
            const QFontMetricsF metrics(drawn.font);
            const QRectF cell(drawn.baseline.x(), drawn.baseline.y() - metrics.ascent(),
                              metrics.horizontalAdvance(drawn.text), metrics.height());
            const QRect box = ownerOf(drawn, boxes);
            QString where;
            QDebug(&where) << drawn.text << cell << box;
            QVERIFY2(QRectF(box).contains(cell), qPrintable(where));
            QVERIFY2(screen.contains(cell), qPrintable(where));
            baselines[keyOf(box)].insert(drawn.baseline.y());
        }
        QCOMPARE(baselines.size(), size_t(32));
        for (int n = 0; n < boxes.size(); ++n)
            QCOMPARE(baselines[keyOf(boxes[n])].size(), size_t(n % 4 == 0 ? 1 : 2));
    }
}

void ChannelScreenTest::backgroundFirstAndPanelsUnderTheBoxes()
{
    RecordingDevice device;
    paintInto(device, LiveSnapshot{}, false, labelsIn(Language::English));
    const auto& pixmaps = device.engine().m_pixmaps;
    QCOMPARE(pixmaps.size(), 1);
    QCOMPARE(pixmaps[0].target, QRectF(0, 0, 480, 475));
    QCOMPARE(pixmaps[0].textsBefore, 0);

    const QImage background = ScreenBackground().toImage();
    QCOMPARE(background.size(), ScreenSize);
    QVERIFY(!background.hasAlphaChannel());
    const QRgb white = qRgb(255, 255, 255);
    const QRgb screen = background.pixel(478, 473);
    const QList<ScreenBox> boxes = ChannelBoxes(LiveSnapshot{}, false, ScreenLabels{});
    for (int n = 0; n < boxes.size(); ++n) {
        const QRect r = boxes[n].rect;
        const QRgb corner = background.pixel(r.left() + 2, r.top() + 2);
        if (n % 4 == 0) {
            QVERIFY2(corner != white && corner != screen, qPrintable(boxes[n].text));
        } else {
            QVERIFY2(corner == white, qPrintable(QString::number(n)));
            QVERIFY2(background.pixel(r.right() - 1, r.bottom() - 2) == white,
                     qPrintable(QString::number(n)));
        }
    }
    // The ninth panel carries neither a title strip nor fields.
    QVERIFY(background.pixel(390, 320) != white && background.pixel(390, 320) != screen);
    QCOMPARE(background.pixel(390, 320), background.pixel(390, 400));

    QVERIFY(!WindowIcon().isNull());
    QCOMPARE(WindowIcon().availableSizes(), (QList<QSize>{{64, 64}, {32, 32}}));
}

void ChannelScreenTest::widgetPaintsTheCurrentReadingsInOnePixmap()
{
    LiveReadings readings;
    bool fahrenheit = false;
    ChannelScreen screen(readings, [&] { return fahrenheit; });
    screen.setLabels(labelsIn(Language::German));
    QCOMPARE(screen.size(), ScreenSize);
    QCOMPARE(screen.minimumSize(), screen.maximumSize());
    QVERIFY(screen.testAttribute(Qt::WA_OpaquePaintEvent));

    readings.update([](LiveSnapshot& values) { values = sampleReadings(); });
    fahrenheit = true;
    RecordingDevice device;
    screen.render(&device);
    QCOMPARE(device.engine().m_pixmaps.size(), 1);
    QCOMPARE(device.engine().m_texts.size(), 0);

    const QImage shown = screen.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage composed = ComposeScreen(sampleReadings(), true, screen.labels())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, composed);
    QVERIFY(shown != ComposeScreen(sampleReadings(), false, screen.labels())
                         .toImage()
                         .convertToFormat(QImage::Format_RGB32));
}

} // namespace nimbra

QTEST_MAIN(nimbra::ChannelScreenTest)
#include "test_channelscreen.moc"
