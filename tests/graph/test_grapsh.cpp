#include "dialogitems.h"
#include "grapsh.h"
#include "oletime.h"
#include "recordingmessages.h"
#include "recordstore.h"
#include "sqlitehandles.h"
#include "tchart1.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <vector>

using namespace nimbra;

namespace {

const QDate Day(2026, 5, 10);

double At(int hour, int minute)
{
    return OleDateFrom(Day, QTime(hour, minute));
}

constexpr float None = float(NoValue);

// Three outdoor readings, the middle one without humidity, and two whose stamps the import
// could not read.
std::vector<RecordRow> OutdoorRows()
{
    return {
        {-1.0, 15.0f, 40, 1.0f, 15.0f},        {0.0, 16.0f, 41, 2.0f, 16.0f},
        {At(10, 0), 20.0f, 50, 9.5f, 20.0f},   {At(10, 10), 21.0f, NoValue, 10.5f, 21.0f},
        {At(10, 20), 22.0f, 60, 14.0f, 22.5f},
    };
}
// An indoor log stores no dew point and no heat index.
std::vector<RecordRow> IndoorRows()
{
    return {
        {At(10, 0), 20.0f, 50, None, None},
        {At(10, 10), 21.0f, 55, None, None},
        {At(10, 20), 22.0f, 60, None, None},
    };
}

// The data folder of an older version holds the template of its day: every column in the index.
constexpr auto PreviousSchema =
    "CREATE TABLE Records (Time REAL, Temperature REAL, Humidity INTEGER, Dewpoint REAL, "
    "Heatindex REAL);"
    "CREATE INDEX RecordsByTime ON Records (Time, Temperature, Humidity, Dewpoint, Heatindex);"
    "CREATE TABLE Param (Name TEXT, Value TEXT);";

bool MakePrevious(const QString& path)
{
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    const Database db(raw);
    return sqlite3_exec(raw, PreviousSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A store made by the import's calls, in a copy of the template or of the previous one.
QString MakeDatabase(const QTemporaryDir& dir, const QString& name, std::vector<RecordRow> rows,
                     bool previous = false)
{
    const QString path = dir.filePath(name);
    if (previous ? !MakePrevious(path) : !QFile::copy(QStringLiteral(NIMBRA_TEMPLATE_DB), path))
        return {};
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    test::RecordingMessages messages;
    RecordStore store(messages);
    if (store.Open(path.toStdString()) != 0 || store.BeginReplace() != 0)
        return {};
    store.OpenForAppend();
    for (RecordRow& row : rows) {
        store.CurrentRow = &row;
        store.AppendRow();
    }
    store.CloseCursor();
    return store.CommitReplace() == 0 && messages.texts().isEmpty() ? path : QString();
}

void SetRange(Grapsh& dialog, QTime start, QTime end, QDate endDay = Day)
{
    item<QDateEdit>(&dialog, Grapsh::StartDateId)->setDate(Day);
    item<QTimeEdit>(&dialog, Grapsh::StartTimeId)->setTime(start);
    item<QDateEdit>(&dialog, Grapsh::EndDateId)->setDate(endDay);
    item<QTimeEdit>(&dialog, Grapsh::EndTimeId)->setTime(end);
}

void Click(Grapsh& dialog, int id)
{
    QTest::mouseClick(item<QPushButton>(&dialog, id), Qt::LeftButton);
}

QVector<int> Counts(const CTchart1& chart)
{
    QVector<int> counts;
    for (int series = 0; series < CTchart1::SeriesCount; ++series)
        counts << chart.graph(series)->dataCount();
    return counts;
}

QVector<bool> InUse(const CTchart1& chart)
{
    QVector<bool> flags;
    for (int series = 0; series < CTchart1::SeriesCount; ++series)
        flags << chart.SeriesInUse(series);
    return flags;
}

QDateTime Picked(const Grapsh& dialog, int dateId, int timeId)
{
    return QDateTime(item<QDateEdit>(&dialog, dateId)->date(),
                     item<QTimeEdit>(&dialog, timeId)->time());
}

} // namespace

class TestGrapsh : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void opensOnTheLastHourInItsLanguage_data();
    void opensOnTheLastHourInItsLanguage();
    void drawsTheRangeAndView_data();
    void drawsTheRangeAndView();
    void wholeLogSpansTheValidTimes();
    void failedQueriesLeaveTheChartEmpty();
    void savePictureStartsInPicturesOrTheLastFolderUsed();

private:
    Grapsh* makeDialog(const QString& database, Language language = Language::English);

    QTemporaryDir m_dir;
    QString m_outdoor;
    QString m_indoor;
    QString m_empty;
    QString m_previous;
    test::RecordingMessages m_messages;
    UiText m_texts;
    std::unique_ptr<Grapsh> m_dialog;
};

void TestGrapsh::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_outdoor = MakeDatabase(m_dir, QStringLiteral("outdoor.db"), OutdoorRows());
    m_indoor = MakeDatabase(m_dir, QStringLiteral("indoor.db"), IndoorRows());
    m_empty = MakeDatabase(m_dir, QStringLiteral("empty.db"), {});
    m_previous = MakeDatabase(m_dir, QStringLiteral("previous.db"), OutdoorRows(), true);
    QVERIFY(!m_outdoor.isEmpty() && !m_indoor.isEmpty() && !m_empty.isEmpty() &&
            !m_previous.isEmpty());
}

Grapsh* TestGrapsh::makeDialog(const QString& database, Language language)
{
    m_texts.LoadUiText(language);
    m_dialog = std::make_unique<Grapsh>(m_texts, m_messages, database.toStdString(),
                                        QStringLiteral("(°C)"));
    return m_dialog.get();
}

void TestGrapsh::opensOnTheLastHourInItsLanguage_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QStringList>("texts"); // title, labels, Select, Exit, views, series, error
    QTest::newRow("English") << Language::English
                             << QStringList{"Graph",     "Start Time",  "End Time", "Select",
                                            "Exit",      "Temperature", "Humidity", "DewPoint",
                                            "HeatIndex", "Time Error"};
    QTest::newRow("German") << Language::German
                            << QStringList{"Graphik",          "Startzeit", "Endzeit",
                                           "Auswählen",        "Verlassen", "Temperatur",
                                           "Luftfeuchtigkeit", "Taupunkt",  "Wärmeindex",
                                           "Zeitfehler"};
}

void TestGrapsh::opensOnTheLastHourInItsLanguage()
{
    QFETCH(Language, language);
    QFETCH(QStringList, texts);
    const QDateTime opened = QDateTime::currentDateTime();
    Grapsh& dialog = *makeDialog(m_outdoor, language);

    QCOMPARE(dialog.windowTitle(), texts[0]);
    QCOMPARE(item<QLabel>(&dialog, Grapsh::StartLabelId)->text(), texts[1]);
    QCOMPARE(item<QLabel>(&dialog, Grapsh::EndLabelId)->text(), texts[2]);
    QCOMPARE(item<QPushButton>(&dialog, Grapsh::SelectId)->text(), texts[3]);
    QCOMPARE(item<QPushButton>(&dialog, Grapsh::ExitId)->text(), texts[4]);
    auto* view = item<QComboBox>(&dialog, Grapsh::ViewBoxId);
    QCOMPARE(view->count(), 2);
    QCOMPARE(view->itemText(0), texts[5]);
    QCOMPARE(view->itemText(1), texts[6]);
    QCOMPARE(view->currentIndex(), int(Grapsh::TemperatureView));

    const QDateTime start = Picked(dialog, Grapsh::StartDateId, Grapsh::StartTimeId);
    const QDateTime end = Picked(dialog, Grapsh::EndDateId, Grapsh::EndTimeId);
    QVERIFY2(qAbs(start.secsTo(opened.addSecs(-3600))) <= 2, qPrintable(start.toString()));
    QVERIFY2(qAbs(end.secsTo(opened)) <= 2, qPrintable(end.toString()));
    QCOMPARE(Counts(*dialog.chart()), QVector<int>(4, 0));
    QCOMPARE(dialog.chart()->ViewStart(), OleDateFrom(start.date(), start.time()));

    // Enter in a picker draws, as Select does.
    dialog.show();
    SetRange(dialog, QTime(9, 0), QTime(11, 0));
    QTest::keyClick(item<QTimeEdit>(&dialog, Grapsh::EndTimeId), Qt::Key_Return);
    QCOMPARE(dialog.chart()->TitleText(), texts[5]);
    QCOMPARE(dialog.chart()->graph(1)->name(), texts[7]);
    QCOMPARE(dialog.chart()->graph(2)->name(), texts[8]);

    // End before start: the message, and the chart as it was.
    SetRange(dialog, QTime(9, 0), QTime(11, 0), Day.addDays(-1));
    Click(dialog, Grapsh::SelectId);
    QCOMPARE(m_messages.texts().last(), texts[9]);
    QCOMPARE(Counts(*dialog.chart()), (QVector<int>{3, 3, 3, 0}));
    QCOMPARE(dialog.chart()->ViewStart(), At(9, 0));
}

void TestGrapsh::drawsTheRangeAndView_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<int>("view");
    QTest::addColumn<QVector<int>>("counts");
    QTest::addColumn<QVector<bool>>("inUse");
    QTest::addColumn<QString>("valueTitle");
    const QVector<bool> temperatureSeries{true, true, true, false};
    const QVector<bool> humiditySeries{true, false, false, false};
    const int temperature = Grapsh::TemperatureView;
    const int humidity = Grapsh::HumidityView;
    const QString outdoor = QStringLiteral("outdoor");
    const QString previous = QStringLiteral("previous");
    QTest::newRow("start excluded, end included")
        << outdoor << QTime(10, 0) << QTime(10, 20) << temperature << QVector<int>{2, 2, 2, 0}
        << temperatureSeries << QStringLiteral("(°C)");
    QTest::newRow("start equal to end")
        << outdoor << QTime(10, 10) << QTime(10, 10) << temperature << QVector<int>(4, 0)
        << temperatureSeries << QStringLiteral("(°C)");
    QTest::newRow("temperature keeps a reading without humidity")
        << outdoor << QTime(9, 0) << QTime(11, 0) << temperature << QVector<int>{3, 3, 3, 0}
        << temperatureSeries << QStringLiteral("(°C)");
    QTest::newRow("humidity view skips it")
        << outdoor << QTime(9, 0) << QTime(11, 0) << humidity << QVector<int>{2, 0, 0, 0}
        << humiditySeries << QStringLiteral(" (%)");
    QTest::newRow("previous template, temperature")
        << previous << QTime(9, 0) << QTime(11, 0) << temperature << QVector<int>{3, 3, 3, 0}
        << temperatureSeries << QStringLiteral("(°C)");
    QTest::newRow("previous template, humidity")
        << previous << QTime(9, 0) << QTime(11, 0) << humidity << QVector<int>{2, 0, 0, 0}
        << humiditySeries << QStringLiteral(" (%)");
    QTest::newRow("indoor log") << QStringLiteral("indoor") << QTime(9, 0) << QTime(11, 0)
                                << temperature << QVector<int>{3, 0, 0, 0} << temperatureSeries
                                << QStringLiteral("(°C)");
}

// Each range is drawn twice: the second Select replaces the points of the first.
void TestGrapsh::drawsTheRangeAndView()
{
    QFETCH(QString, store);
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(int, view);
    QFETCH(QVector<int>, counts);
    QFETCH(QVector<bool>, inUse);
    QFETCH(QString, valueTitle);
    const QString database = store == QLatin1String("indoor")     ? m_indoor
                             : store == QLatin1String("previous") ? m_previous
                                                                  : m_outdoor;
    Grapsh& dialog = *makeDialog(database);
    const qsizetype messages = m_messages.texts().size();
    SetRange(dialog, start, end);
    item<QComboBox>(&dialog, Grapsh::ViewBoxId)->setCurrentIndex(view);
    Click(dialog, Grapsh::SelectId);
    Click(dialog, Grapsh::SelectId);

    CTchart1& chart = *dialog.chart();
    QCOMPARE(Counts(chart), counts);
    QCOMPARE(InUse(chart), inUse);
    QCOMPARE(chart.yAxis->label(), valueTitle);
    const QString viewText = view == Grapsh::HumidityView ? "Humidity" : "Temperature";
    QCOMPARE(chart.TitleText(), viewText);
    QCOMPARE(chart.graph(0)->name(), viewText);
    QCOMPARE(m_messages.texts().size(), messages);
    if (start != end) {
        QCOMPARE(chart.ViewStart(), At(start.hour(), start.minute()));
        QCOMPARE(chart.ViewEnd(), At(end.hour(), end.minute()));
    }
    if (counts[0] > 0) {
        const auto last = chart.graph(0)->data()->constEnd() - 1;
        QCOMPARE(last->key, AxisKeyFromOle(At(10, 20)));
        QCOMPARE(last->value, view == Grapsh::HumidityView ? 60.0 : 22.0);
    }
}

// Readings stamped 0.0 and -1.0 neither stretch the range nor appear in it.
void TestGrapsh::wholeLogSpansTheValidTimes()
{
    Grapsh& dialog = *makeDialog(m_outdoor);
    Click(dialog, Grapsh::WholeLogId);
    QCOMPARE(Picked(dialog, Grapsh::StartDateId, Grapsh::StartTimeId),
             QDateTime(Day, QTime(9, 59, 59)));
    QCOMPARE(Picked(dialog, Grapsh::EndDateId, Grapsh::EndTimeId),
             QDateTime(Day, QTime(10, 20, 1)));
    QCOMPARE(Counts(*dialog.chart()), (QVector<int>{3, 3, 3, 0}));

    SetRange(dialog, QTime(0, 0), QTime(11, 0));
    item<QDateEdit>(&dialog, Grapsh::StartDateId)->setDate(QDate(1800, 1, 1));
    Click(dialog, Grapsh::SelectId);
    QCOMPARE(Counts(*dialog.chart()), (QVector<int>{3, 3, 3, 0}));

    const qsizetype messages = m_messages.texts().size();
    Grapsh& empty = *makeDialog(m_empty);
    Click(empty, Grapsh::WholeLogId);
    QCOMPARE(m_messages.texts().size(), messages + 1);
    QCOMPARE(m_messages.texts().last(), QStringLiteral("No reading has a valid time."));
    QCOMPARE(Counts(*empty.chart()), QVector<int>(4, 0));
}

void TestGrapsh::failedQueriesLeaveTheChartEmpty()
{
    const QString noTables = m_dir.filePath(QStringLiteral("notables.db"));
    QFile file(noTables);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QString& database : {noTables, m_dir.filePath(QStringLiteral("missing.db"))}) {
        Grapsh& dialog = *makeDialog(database);
        SetRange(dialog, QTime(9, 0), QTime(11, 0));
        const qsizetype messages = m_messages.texts().size();
        Click(dialog, Grapsh::SelectId);
        QVERIFY(m_messages.texts().size() > messages);
        QCOMPARE(Counts(*dialog.chart()), QVector<int>(4, 0));
        QCOMPARE(dialog.chart()->ViewEnd(), At(11, 0));
    }
}

// Save Picture asks in the user's Pictures folder (the home folder while there is none), then
// where the last picture went, in this dialog and the next; a declined or failed save moves
// nothing. The home is a temporary one, the file dialog a stand-in.
void TestGrapsh::savePictureStartsInPicturesOrTheLastFolderUsed()
{
    const QTemporaryDir home;
    const QByteArray realHome = qgetenv("HOME");
    const QByteArray realConfig = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", realHome);
        qputenv("XDG_CONFIG_HOME", realConfig);
    });
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    const QString elsewhere = home.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));

    const qsizetype messages = m_messages.texts().size();
    PictureFolder folder;
    QString answer; // what the stand-in dialog answers
    QStringList asked;
    const auto chooser = [&](QWidget*, const QString&, const QString& suggested) {
        asked << suggested;
        return answer;
    };
    const auto press = [&](const QString& chosen) {
        Grapsh* dialog = makeDialog(m_outdoor);
        dialog->SetPictureSaving(folder, chooser);
        answer = chosen;
        QTest::mouseClick(item<QPushButton>(dialog, Grapsh::SavePictureId), Qt::LeftButton);
    };
    const struct
    {
        const char* makesPictures; // a folder to create first, or none
        QString chosen;
        QString suggested;
    } steps[] = {
        {nullptr, QString(), home.filePath(QStringLiteral("Graph.png"))},
        {"Pictures", QString(), home.filePath(QStringLiteral("Pictures/Graph.png"))},
        {nullptr, elsewhere + QStringLiteral("/a.png"),
         home.filePath(QStringLiteral("Pictures/Graph.png"))},
        {nullptr, home.filePath(QStringLiteral("missing/b.png")),
         elsewhere + QStringLiteral("/Graph.png")},
        {nullptr, QString(), elsewhere + QStringLiteral("/Graph.png")},
    };
    for (const auto& step : steps) {
        if (step.makesPictures)
            QVERIFY(QDir(home.path()).mkpath(QString::fromLatin1(step.makesPictures)));
        asked.clear();
        press(step.chosen);
        QCOMPARE(asked, QStringList{step.suggested});
    }
    QVERIFY(QFileInfo::exists(elsewhere + QStringLiteral("/a.png")));
    QCOMPARE(m_messages.texts().mid(messages), QStringList{m_texts.Text(TextId::SaveFailed)});
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestGrapsh test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_grapsh.moc"
