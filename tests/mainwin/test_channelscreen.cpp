#include "channelscreen.h"
#include "uitext.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTest>
#include <map>
#include <tuple>

namespace nimbra {
namespace {

struct DrawnText
{
    QPointF baseline;
    QString text;
    QRect clip; // the rectangle the painter confined the text to
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
        const QRect clip =
            painter()->hasClipping() ? painter()->clipBoundingRect().toRect() : QRect();
        m_texts.append({point, item.text(), clip, item.font()});
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

// The lines drawn into each clip rectangle, top to bottom, joined as the model text joins them.
std::map<std::tuple<int, int, int, int>, QString> textsByRect(const QList<DrawnText>& texts)
{
    std::map<std::tuple<int, int, int, int>, std::map<std::pair<qreal, qreal>, QString>> pieces;
    for (const DrawnText& drawn : texts) {
        const QRect r = drawn.clip;
        pieces[{r.left(), r.top(), r.width(), r.height()}]
              [{drawn.baseline.y(), drawn.baseline.x()}] += drawn.text;
    }
    std::map<std::tuple<int, int, int, int>, QString> result;
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

QString at(const std::map<std::tuple<int, int, int, int>, QString>& texts, int l, int t, int r,
           int b)
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
                       "DewPoint:\r\n 10.6" + c,    "Temperature:\r\n -40.0" + c,
                       "Temperature:\r\n --" + c,   "Humidity:\r\n --  %",
                       "DewPoint:\r\n --" + c,      "CH7",
                       "Humidity:\r\n --  %",       "DewPoint:\r\n --" + c};
    QTest::newRow("German Fahrenheit")
        << int(Language::German) << true
        << QStringList{"Temperatur:\r\n 73.6" + f,    "Luftfeuchtigkeit:\r\n 45  %",
                       "Taupunkt:\r\n 51.1" + f,      "Temperatur:\r\n -40.0" + f,
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
    QCOMPARE(at(drawn, 170, 370, 270, 400), expected[8]);
    QCOMPARE(at(drawn, 170, 410, 270, 450), expected[9]);
    // The titles are the same in every language; CH8's temperature is valid without humidity.
    QCOMPARE(at(drawn, 320, 162, 420, 185), QStringLiteral("CH6"));
    QVERIFY(at(drawn, 170, 330, 270, 370)
                .endsWith(QStringLiteral(fahrenheit ? "140.0" : "60.0") + (fahrenheit ? f : c)));
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
    for (const DrawnText& drawn : device.engine().m_texts)
        if (order.isEmpty() || order.last() != drawn.clip)
            order.append(drawn.clip);
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

    RecordingDevice device;
    paintInto(device, sampleReadings(), false, labelsIn(Language::English));
    const int ascent = QFontMetrics(font).ascent();
    std::map<std::tuple<int, int, int, int>, qreal> firstBaseline;
    for (const DrawnText& drawn : device.engine().m_texts) {
        QCOMPARE(drawn.font.pixelSize(), font.pixelSize());
        if (!drawn.text.startsWith(QLatin1Char(' ')))
            QCOMPARE(drawn.baseline.x(), qreal(drawn.clip.left()));
        const auto key = std::tuple(drawn.clip.left(), drawn.clip.top(), 0, 0);
        if (!firstBaseline.count(key))
            firstBaseline[key] = drawn.baseline.y();
        QVERIFY(drawn.baseline.y() > drawn.clip.top());
    }
    for (const auto& [rect, baseline] : firstBaseline)
        QCOMPARE(baseline - ascent, qreal(std::get<1>(rect)));
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
            QCOMPARE(corner, white);
            QCOMPARE(background.pixel(r.right() - 1, r.bottom() - 2), white);
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
