// history: the kept readings of every import, as CSV or as a summary.
#include "archive.h"
#include "commandparser.h"
#include "headlesscommands.h"
#include "oledate.h"
#include "recordexport.h"

#include <QFileInfo>
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
    const std::optional<double> time = ParseRangeTime(text.toStdString());
    if (!time)
        error = QStringLiteral("--%1 takes a time as \"YYYY-MM-DD h:mm:ss\", not '%2'")
                    .arg(option.names().constFirst(), text);
    return time;
}

} // namespace

int RunHistory(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(
        QStringLiteral("history"),
        QStringLiteral("[--from TIME] [--to TIME] [--indoor] [--output FILE] | "
                       "--stats"),
        QStringLiteral("Writes the history kept from every import as CSV, in the "
                       "form of export and in time order:\none row per reading, "
                       "outdoor readings unless --indoor. --stats sums it up instead."));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("Only readings from this time (included)."),
                                  QStringLiteral("\"YYYY-MM-DD h:mm:ss\""));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Only readings up to this time (included)."),
                                QStringLiteral("\"YYYY-MM-DD h:mm:ss\""));
    const QCommandLineOption indoor(QStringLiteral("indoor"),
                                    QStringLiteral("The indoor readings instead."));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Write to FILE instead of standard output."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print rows, first and last time, and files."));
    for (const QCommandLineOption* option : {&from, &to, &indoor, &output, &stats})
        line.addOption(*option);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("history takes no operands; use --output"), env);
    QString error;
    const double first = TimeOption(line, from, error).value_or(-HUGE_VAL);
    const double last = TimeOption(line, to, error).value_or(HUGE_VAL);
    if (!error.isEmpty())
        return line.badUsage(error, env);
    const bool summary = line.parser().isSet(stats);
    if (summary && (line.parser().isSet(from) || line.parser().isSet(to) ||
                    line.parser().isSet(indoor) || line.parser().isSet(output)))
        return line.badUsage(QStringLiteral("--stats takes no other option"), env);

    // A data folder that has seen no import yet has an empty history, not a broken one; it is
    // not created by reading it.
    const QString path =
        QFileInfo(line.dataFolder(env) + u'/' + QLatin1String(ArchiveFileName)).absoluteFilePath();
    try {
        std::optional<Archive> archive;
        if (QFileInfo::exists(path))
            archive.emplace(std::filesystem::path(path.toStdU16String()));
        if (summary)
            return PrintStats(env, archive ? &*archive : nullptr);

        // Like export: an earlier file is replaced only by a whole history.
        ExportTarget target(line.parser().value(output), env.out);
        if (!target.open())
            return Fail(
                env,
                QStringLiteral("cannot write %1: %2").arg(target.name(), target.errorString()));
        QIODevice& out = target.device();
        bool written = out.write(ExportHeader) >= 0 && out.putChar('\n');
        if (archive)
            archive->ForEach(first, last, line.parser().isSet(indoor), [&](const RecordRow& row) {
                std::string text = FormatExportLine(row);
                text += '\n';
                written = written && out.write(text.data(), qint64(text.size())) >= 0;
            });
        if (!written || !target.commit())
            return Fail(
                env,
                QStringLiteral("cannot write %1: %2").arg(target.name(), target.errorString()));
        return 0;
    } catch (const StoreError& failure) {
        return Fail(env, QStringLiteral("the history cannot be read: %1")
                             .arg(QString::fromStdString(failure.what())));
    }
}

} // namespace nimbra
