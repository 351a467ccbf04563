// history: the kept readings of every import, as CSV or as a summary; forgetting a file and
// building the history anew.
#include "archive.h"
#include "archiverebuild.h"
#include "commandparser.h"
#include "ctlarguments.h"
#include "dailysummary.h"
#include "headlesscommands.h"
#include "oledate.h"
#include "recordexport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>

namespace nimbra {

namespace {

QString TimeText(const std::optional<double>& time)
{
    // In the form --from and --to take.
    return time ? QString::fromStdString(FormatRangeTime(FromOleDate(*time)))
                : QStringLiteral("--");
}

int PrintStats(HeadlessEnvironment& env, Archive* archive)
{
    const ArchiveStats stats = archive ? archive->Stats() : ArchiveStats{};
    PrintLine(env.out, QStringLiteral("rows:  %1\nfirst: %2\nlast:  %3\nfiles: %4")
                           .arg(stats.rows)
                           .arg(TimeText(stats.first), TimeText(stats.last))
                           .arg(stats.files));
    return 0;
}

std::optional<double> TimeOption(const CommandParser& line, const QCommandLineOption& option,
                                 QString& error)
{
    if (!line.parser().isSet(option))
        return std::nullopt;
    const QString text = line.parser().value(option);
    const bool end = option.names().constFirst() == QLatin1String("to");
    const std::optional<double> time = ParseTimeBound(text, end);
    if (!time)
        error = QStringLiteral("--%1 takes a time as \"YYYY-MM-DD h:mm:ss\", not '%2'")
                    .arg(option.names().constFirst(), text);
    return time;
}

// The header of the CSV names the unit every temperature is shown in.
std::string CsvHeader(bool fahrenheit)
{
    const std::string unit = fahrenheit ? "(\u00B0F)" : "(\u00B0C)";
    return "Time,Temperature" + unit + ",Humidity(%),DewPoint" + unit + ",HeatIndex" + unit;
}

RecordRow InUnit(const KeptReading& reading, bool fahrenheit)
{
    RecordRow row = reading.row;
    for (float* value : {&row.Temperature, &row.Dewpoint, &row.Heatindex})
        *value = ConvertTemperature(*value, reading.fahrenheit, fahrenheit);
    return row;
}

struct Selection
{
    double first = -HUGE_VAL;
    double last = HUGE_VAL;
    bool indoor = false;
    std::optional<bool> fahrenheit; // empty: the station's latest unit
};

bool ShownInFahrenheit(Archive* archive, const Selection& selection)
{
    return selection.fahrenheit.value_or(archive &&
                                         archive->LatestUnitIsFahrenheit().value_or(false));
}

int CannotWrite(HeadlessEnvironment& env, const ExportTarget& target)
{
    return Fail(env,
                QStringLiteral("cannot write %1: %2").arg(target.name(), target.errorString()));
}

// Like export: an earlier file is replaced only by a whole history.
int WriteCsv(HeadlessEnvironment& env, Archive* archive, const Selection& selection,
             ExportTarget& target)
{
    const bool fahrenheit = ShownInFahrenheit(archive, selection);
    QIODevice& out = target.device();
    const std::string header = CsvHeader(fahrenheit) + '\n';
    bool written = out.write(header.data(), qint64(header.size())) >= 0;
    if (archive)
        archive->ForEach(selection.first, selection.last, selection.indoor,
                         [&](const KeptReading& reading) {
                             std::string text = FormatExportLine(InUnit(reading, fahrenheit));
                             text += '\n';
                             written = written && out.write(text.data(), qint64(text.size())) >= 0;
                         });
    return written && target.commit() ? 0 : CannotWrite(env, target);
}

// One decimal, as the station shows its readings.
std::string Tenths(double value)
{
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
    return std::string(text, end);
}

std::string DayText(std::int64_t day)
{
    const DateTimeParts parts = FromOleDate(double(day));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
    return text;
}

std::string DailyCsvLine(const DaySummary& day)
{
    std::string line = DayText(day.day) + ',' + std::to_string(day.readings);
    for (const DayRange* range : {&day.temperature, &day.humidity}) {
        for (const double value : {range->low, range->high, range->mean()})
            line += ',' + (range->count > 0 ? Tenths(value) : std::string());
    }
    return line;
}

QJsonValue DailyJsonRange(const DayRange& range)
{
    const auto number = [](double value) { return std::round(value * 10.0) / 10.0; };
    if (range.count == 0)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("min"), number(range.low)},
                       {QStringLiteral("max"), number(range.high)},
                       {QStringLiteral("mean"), number(range.mean())}};
}

// Per day of the selection, from one pass over it in time order.
int WriteDaily(HeadlessEnvironment& env, Archive* archive, const Selection& selection,
               ExportTarget& target, bool json)
{
    const bool fahrenheit = ShownInFahrenheit(archive, selection);
    QIODevice& out = target.device();
    const std::string unit = fahrenheit ? "(\u00B0F)" : "(\u00B0C)";
    bool written = json || out.write(("Day,Readings,TemperatureMin" + unit + ",TemperatureMax" +
                                      unit + ",TemperatureMean" + unit +
                                      ",HumidityMin(%),HumidityMax(%),HumidityMean(%)\n")
                                         .c_str()) >= 0;
    QJsonArray days;
    DailySummaries summaries([&](const DaySummary& day) {
        if (json) {
            days.append(
                QJsonObject{{QStringLiteral("day"), QString::fromStdString(DayText(day.day))},
                            {QStringLiteral("readings"), qint64(day.readings)},
                            {QStringLiteral("temperature"), DailyJsonRange(day.temperature)},
                            {QStringLiteral("humidity"), DailyJsonRange(day.humidity)}});
            return;
        }
        const std::string line = DailyCsvLine(day) + '\n';
        written = written && out.write(line.data(), qint64(line.size())) >= 0;
    });
    if (archive)
        archive->ForEach(
            selection.first, selection.last, selection.indoor,
            [&](const KeptReading& reading) { summaries.add(InUnit(reading, fahrenheit)); });
    summaries.finish();
    if (json) {
        const QJsonObject document{{QStringLiteral("unit"), fahrenheit ? "F" : "C"},
                                   {QStringLiteral("days"), days}};
        written = out.write(QJsonDocument(document).toJson(QJsonDocument::Compact) + '\n') >= 0;
    }
    return written && target.commit() ? 0 : CannotWrite(env, target);
}

int Forget(HeadlessEnvironment& env, Archive* archive, const QString& file)
{
    const ForgetResult forgotten =
        archive ? archive->Forget(file.toLatin1().toStdString()) : ForgetResult{};
    if (forgotten.files == 0)
        return Fail(env, QStringLiteral("the history keeps nothing of %1").arg(file));
    PrintLine(env.out,
              QStringLiteral("%1 readings of %2 forgotten").arg(forgotten.readings).arg(file));
    return 0;
}

int Rebuild(HeadlessEnvironment& env, const QString& folder, const std::filesystem::path& path,
            DateOrder order)
{
    const RebuildResult built =
        RebuildArchive(std::filesystem::path(folder.toStdU16String()), path, order,
                       [&](const std::string& name, std::size_t place, std::size_t count) {
                           PrintLine(env.out, QStringLiteral("%1/%2 %3")
                                                  .arg(place)
                                                  .arg(count)
                                                  .arg(QString::fromLatin1(name.c_str())));
                       });
    PrintLine(env.out, QStringLiteral("the history holds %1 readings of %2 files")
                           .arg(built.readings)
                           .arg(built.files));
    return 0;
}

} // namespace

int RunHistory(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(
        QStringLiteral("history"),
        QStringLiteral("[--daily [--json]] [--from TIME] [--to TIME] [--indoor] [--unit C|F] "
                       "[--output FILE] | --stats | --forget FILE | --rebuild [--date-format F]"),
        QStringLiteral(
            "Writes the history kept from every import as CSV in time order, readings at the "
            "same time in\nlogged order: outdoor readings unless --indoor, every temperature in "
            "one unit (by default the\nunit the station logged in last). A reading is a line of "
            "a station file: the file is known by\nits name and its first reading line, the "
            "reading by its line number, so a file imported again\nreplaces its readings. "
            "--daily prints per day the readings and the least, greatest and mean temperature "
            "and humidity.\n--stats sums the history up; --forget drops one file's readings;\n"
            "--rebuild builds the history anew from the local copies in the data folder."));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("Only readings from this time (included)."),
                                  QStringLiteral("TIME"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Only readings up to this time (included)."),
                                QStringLiteral("TIME"));
    const QCommandLineOption indoor(QStringLiteral("indoor"),
                                    QStringLiteral("The indoor readings instead."));
    const QCommandLineOption unit(QStringLiteral("unit"),
                                  QStringLiteral("Temperatures in degrees C or F."),
                                  QStringLiteral("C|F"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Write to FILE instead of standard output."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print rows, first and last time, and files."));
    const QCommandLineOption forget(QStringLiteral("forget"),
                                    QStringLiteral("Drop the readings of the station file FILE."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption rebuild(
        QStringLiteral("rebuild"),
        QStringLiteral("Build the history anew from the local copies in the data folder."));
    const QCommandLineOption dateFormat(
        QStringLiteral("date-format"),
        QStringLiteral("With --rebuild: the date format of copies whose import the history does "
                       "not remember (default: the locale's)."),
        QStringLiteral("YYYY-MM-DD|MM-DD-YYYY|DD-MM-YYYY"));
    const QCommandLineOption daily(
        QStringLiteral("daily"), QStringLiteral("A summary of each day instead of the readings."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --daily: one JSON object instead of CSV."));
    for (const QCommandLineOption* option : {&from, &to, &indoor, &unit, &output, &stats, &forget,
                                             &rebuild, &dateFormat, &daily, &json})
        line.addOption(*option);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    const QCommandLineParser& given = line.parser();
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("history takes no operands; use --output"), env);
    QString error;
    Selection selection;
    selection.first = TimeOption(line, from, error).value_or(-HUGE_VAL);
    selection.last = TimeOption(line, to, error).value_or(HUGE_VAL);
    selection.indoor = given.isSet(indoor);
    if (given.isSet(unit)) {
        const QString name = given.value(unit).toUpper();
        if (name != QLatin1String("C") && name != QLatin1String("F"))
            error = QStringLiteral("--unit takes C or F, not '%1'").arg(given.value(unit));
        selection.fahrenheit = name == QLatin1String("F");
    }
    const DateOrder order = DateOrderFromName(given.value(dateFormat).toStdString());
    if (given.isSet(dateFormat) && order == DateOrder::Unknown)
        error = QStringLiteral("unknown date format '%1'").arg(given.value(dateFormat));
    if (error.isEmpty() && selection.first > selection.last)
        error = QStringLiteral("--from is later than --to");
    const int actions =
        int(given.isSet(stats)) + int(given.isSet(forget)) + int(given.isSet(rebuild));
    const bool selecting = given.isSet(from) || given.isSet(to) || given.isSet(indoor) ||
                           given.isSet(unit) || given.isSet(output) || given.isSet(daily);
    if (actions > 1 || (actions == 1 && selecting))
        error = QStringLiteral("--stats, --forget and --rebuild take no other option");
    if (given.isSet(dateFormat) && !given.isSet(rebuild))
        error = QStringLiteral("--date-format goes with --rebuild");
    if (given.isSet(json) && !given.isSet(daily))
        error = QStringLiteral("--json goes with --daily");
    if (!error.isEmpty())
        return line.badUsage(error, env);

    const QString folder = line.dataFolder(env);
    if (!QFileInfo(folder).isDir())
        return Fail(env, QStringLiteral("there is no data folder %1").arg(folder));
    // A data folder that has seen no import yet has an empty history, not a broken one; it is
    // not created by reading it.
    const QString path =
        QFileInfo(folder + u'/' + QLatin1String(ArchiveFileName)).absoluteFilePath();
    const std::filesystem::path file(path.toStdU16String());
    try {
        if (given.isSet(rebuild))
            return Rebuild(env, folder, file, order);
        std::optional<Archive> archive;
        if (QFileInfo::exists(path))
            archive.emplace(file);
        Archive* const kept = archive ? &*archive : nullptr;
        if (given.isSet(stats))
            return PrintStats(env, kept);
        if (given.isSet(forget))
            return Forget(env, kept, given.value(forget));
        ExportTarget target(given.value(output), env.out);
        if (!target.open())
            return CannotWrite(env, target);
        if (given.isSet(daily))
            return WriteDaily(env, kept, selection, target, given.isSet(json));
        return WriteCsv(env, kept, selection, target);
    } catch (const StoreError& failure) {
        return Fail(env, QStringLiteral("the history cannot be read: %1")
                             .arg(QString::fromStdString(failure.what())));
    }
}

} // namespace nimbra
