// live and settings: what the station shows and how it is set up.
#include "alarmcodec.h"
#include "calibcodec.h"
#include "commandparser.h"
#include "headlesscommands.h"
#include "settingcodec.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <thread>

namespace nimbra {

namespace {

const QString JsonHelp = QStringLiteral("Write JSON instead of a table.");

// A number as the window shows it ("21.5", "--"); null for no value.
QJsonValue JsonNumber(std::string text)
{
    std::erase(text, ' ');
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return QJsonValue::Null;
    return value;
}

QString UnitText(bool fahrenheit)
{
    return fahrenheit ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C");
}

QJsonObject LiveJson(const LiveSnapshot& values, bool fahrenheit, const QDateTime& at)
{
    QJsonArray channels;
    for (int c = 0; c < ChannelCount; ++c) {
        const float temperature = values.m_Temperature[c];
        const int humidity = values.m_Humidity[c];
        const float dewPoint = ComputeDewPoint(temperature, humidity);
        channels.append(QJsonObject{
            {QStringLiteral("channel"), c + 1},
            {QStringLiteral("temperature"),
             JsonNumber(FormatTemperature(temperature, TextWithoutUnit, fahrenheit))},
            {QStringLiteral("humidity"), JsonNumber(FormatHumidity(humidity, TextWithoutUnit))},
            {QStringLiteral("dew_point"),
             JsonNumber(FormatTemperature(dewPoint, TextWithoutUnit, fahrenheit))},
        });
    }
    return {{QStringLiteral("time"), at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate)},
            {QStringLiteral("unit"), UnitText(fahrenheit)},
            {QStringLiteral("channels"), channels}};
}

QString LiveTable(const LiveSnapshot& values, bool fahrenheit, const QDateTime& at)
{
    QString table = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                    QStringLiteral("\nChannel  Temperature   Humidity   Dew point");
    for (int c = 0; c < ChannelCount; ++c) {
        const float temperature = values.m_Temperature[c];
        const int humidity = values.m_Humidity[c];
        table += QStringLiteral("\nCH%1  %2  %3  %4")
                     .arg(c + 1, -5)
                     .arg(QString::fromStdString(
                              FormatTemperature(temperature, TextWithUnit, fahrenheit)),
                          13)
                     .arg(QString::fromStdString(FormatHumidity(humidity, TextWithUnit)), 9)
                     .arg(QString::fromStdString(FormatTemperature(
                              ComputeDewPoint(temperature, humidity), TextWithUnit, fahrenheit)),
                          12);
    }
    return table;
}

QString Compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

int RunLive(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(
        QStringLiteral("live"), QStringLiteral("[--json] [--watch SECONDS]"),
        QStringLiteral("Reads the station's channels once: temperature, humidity and "
                       "dew point in the station's unit;\n\"--\" (null in JSON) where "
                       "a channel has no value. --watch repeats the reading."));
    const QCommandLineOption json(QStringLiteral("json"), JsonHelp);
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Read again every SECONDS (1..86400) until "
                                                  "stopped; one table or JSON line each time."),
                                   QStringLiteral("SECONDS"));
    line.addOption(json);
    line.addOption(watch);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("live takes no operands"), env);
    std::optional<int> every;
    if (line.parser().isSet(watch)) {
        every = WholeNumber(line.parser().value(watch), 1, 86400);
        if (!every)
            return line.badUsage(QStringLiteral("--watch takes whole seconds, 1 to 86400"), env);
    }

    StationAccess station(env, line);
    if (!station.open())
        return 1;
    StationSession& session = station.session();
    for (;;) {
        if (!session.poll())
            return Fail(env, QStringLiteral("the station did not answer"));
        const QDateTime now = QDateTime::currentDateTime();
        const LiveSnapshot values = session.readings();
        PrintLine(env.out, line.parser().isSet(json)
                               ? Compact(LiveJson(values, session.Fahrenheit(), now))
                               : LiveTable(values, session.Fahrenheit(), now));
        if (!every)
            return 0;
        std::this_thread::sleep_for(std::chrono::seconds(*every));
    }
}

namespace {

QString Choice(int index, std::initializer_list<const char*> names)
{
    return index >= 0 && index < static_cast<int>(names.size())
               ? QString::fromUtf8(names.begin()[index])
               : QStringLiteral("unknown (%1)").arg(index);
}

QJsonObject SettingsJson(const SetupPages& pages, bool fahrenheit)
{
    const SettingSelection s = SelectionFromPage(pages.settings);
    const AlarmForm alarms = AlarmFormFromPages(pages.alarms, fahrenheit);
    const CalibForm offsets = CalibFormFromPage(pages.calibration, fahrenheit);
    const ChannelFlags shown = ActiveChannels(pages.settings);
    const auto on = [&](int enable, int c) { return (alarms.enables[enable] >> c & 1) != 0; };
    QJsonArray channels;
    for (int c = 0; c < ChannelCount; ++c) {
        const auto limit = [&](const std::string& text, bool enabled) {
            return QJsonObject{{QStringLiteral("limit"), JsonNumber(text)},
                               {QStringLiteral("enabled"), enabled}};
        };
        channels.append(QJsonObject{
            {QStringLiteral("channel"), c + 1},
            {QStringLiteral("shown"), shown[c] != 0},
            {QStringLiteral("temperatureHigh"), limit(alarms.temps[2 * c], on(TempHighEnable, c))},
            {QStringLiteral("temperatureLow"),
             limit(alarms.temps[2 * c + 1], on(TempLowEnable, c))},
            {QStringLiteral("humidityHigh"), limit(alarms.humis[2 * c], on(HumiHighEnable, c))},
            {QStringLiteral("humidityLow"), limit(alarms.humis[2 * c + 1], on(HumiLowEnable, c))},
            {QStringLiteral("temperatureOffset"), JsonNumber(offsets.temps[c])},
            {QStringLiteral("humidityOffset"), JsonNumber(offsets.humis[c])},
        });
    }
    return {
        {QStringLiteral("unit"), UnitText(fahrenheit)},
        {QStringLiteral("intervalMinutes"), pages.intervalMinutes},
        {QStringLiteral("timeFormat"),
         Choice(s.timeFormat, {"h:mm:ss", "AM h:mm:ss", "h:mm:ss AM"})},
        {QStringLiteral("dateFormat"),
         Choice(s.dateFormat, {"YYYY-MM-DD", "MM-DD-YYYY", "DD-MM-YYYY"})},
        {QStringLiteral("timeZone"), s.timeZone - 12},
        {QStringLiteral("daylightSaving"), s.daylightSaving != 0},
        {QStringLiteral("graphHours"), Choice(s.graphTime, {"12", "24", "48", "72"}).toInt()},
        {QStringLiteral("temperatureAlarm"), alarms.tempSwitch == 0},
        {QStringLiteral("humidityAlarm"), alarms.humiSwitch == 0},
        {QStringLiteral("channels"), channels},
    };
}

QString Shown(const QJsonValue& value)
{
    if (value.isNull())
        return QStringLiteral("--");
    if (value.isBool())
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    return value.isDouble() ? QString::number(value.toDouble()) : value.toString();
}

QString SettingsTable(const QJsonObject& settings)
{
    QString text;
    for (const char* key : {"unit", "intervalMinutes", "timeFormat", "dateFormat", "timeZone",
                            "daylightSaving", "graphHours", "temperatureAlarm", "humidityAlarm"})
        text += QStringLiteral("%1 %2\n")
                    .arg(QLatin1String(key) + u':', -18)
                    .arg(Shown(settings[QLatin1String(key)]));
    text += QStringLiteral("Channel  Shown  Temp high   Temp low    Hum high   Hum low    "
                           "Temp offset  Hum offset");
    const auto limit = [](const QJsonValue& value) {
        const QJsonObject object = value.toObject();
        return Shown(object[QStringLiteral("limit")]) + (object[QStringLiteral("enabled")].toBool()
                                                             ? QStringLiteral(" on")
                                                             : QStringLiteral(" off"));
    };
    for (const QJsonValue& value : settings[QStringLiteral("channels")].toArray()) {
        const QJsonObject c = value.toObject();
        text += QStringLiteral("\nCH%1  %2  %3 %4 %5 %6 %7  %8")
                    .arg(c[QStringLiteral("channel")].toInt(), -5)
                    .arg(Shown(c[QStringLiteral("shown")]), -5)
                    .arg(limit(c[QStringLiteral("temperatureHigh")]), -11)
                    .arg(limit(c[QStringLiteral("temperatureLow")]), -11)
                    .arg(limit(c[QStringLiteral("humidityHigh")]), -10)
                    .arg(limit(c[QStringLiteral("humidityLow")]), -10)
                    .arg(Shown(c[QStringLiteral("temperatureOffset")]), -12)
                    .arg(Shown(c[QStringLiteral("humidityOffset")]));
    }
    return text;
}

} // namespace

int RunSettings(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(
        QStringLiteral("settings"), QStringLiteral("[--json]"),
        QStringLiteral("Reads the station's setup: unit, formats, time zone, logging "
                       "interval, alarm limits and\ncalibration offsets, in the "
                       "station's unit."));
    const QCommandLineOption json(QStringLiteral("json"), JsonHelp);
    line.addOption(json);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("settings takes no operands"), env);
    StationAccess station(env, line);
    if (!station.open())
        return 1;
    const std::optional<SetupPages> pages = station.session().readSetup();
    if (!pages)
        return Fail(env, QStringLiteral("the station did not answer"));
    const QJsonObject settings = SettingsJson(*pages, station.session().Fahrenheit());
    PrintLine(env.out, line.parser().isSet(json) ? Compact(settings) : SettingsTable(settings));
    return 0;
}

} // namespace nimbra
