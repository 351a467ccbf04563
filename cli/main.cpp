// nimbractl: the record store from scripts and machines without a display.

#include "ctlarguments.h"
#include "datafolder.h"
#include "headless.h"
#include "logimport.h"
#include "messageservice.h"
#include "recordexport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

using namespace nimbra;

// Every message of the store and the import is one line on stderr.
class StderrMessages final : public MessageService
{
public:
    void inform(const QString& text) override
    {
        std::fprintf(stderr, "nimbractl: %s\n", text.toLocal8Bit().constData());
    }
    Answer ask(const QString& text, const QString&) override
    {
        inform(text);
        return Answer::Cancel;
    }
};

// std::string names a file in the system's narrow code page on Windows, not in UTF-8: a folder
// or log with a name outside ASCII goes over as UTF-16.
std::filesystem::path FileSystemPath(const QString& name)
{
    return std::filesystem::path(name.toStdU16String());
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "nimbractl: %s\n", text.toLocal8Bit().constData());
    return 1;
}

int Import(const CtlCommand& command, const QString& dataFolder)
{
    SetUpDataFolder(dataFolder, TemplateFolder(ProgramFolder()));
    if (const QString problem = DataFolderProblem(dataFolder); !problem.isEmpty())
        return Fail(problem);
    const QFileInfo log(command.file);
    if (!log.isFile() || !log.isReadable())
        return Fail(QStringLiteral("cannot read %1").arg(command.file));

    StderrMessages messages;
    const ImportResult result = ImportLogFile(
        FileSystemPath(log.absoluteFilePath()), log.fileName().toLatin1().toStdString(),
        FileSystemPath(DatabasePath(dataFolder)), command.order, messages,
        {.indoor = command.indoor, .refuseNonLogs = true});
    if (!result.opened)
        return Fail(QStringLiteral("cannot read %1").arg(command.file));
    if (!result.stored)
        return 1; // the import has said why
    if (const QString summary = ImportSummary(result, command.file, Language::English);
        !summary.isEmpty())
        messages.inform(summary);
    std::printf("%zu rows imported, unit label %s%s\n", result.rows,
                result.unitLabel.toLocal8Bit().constData(), result.indoor ? ", indoor" : "");
    return result.history ? 0 : 1; // a history that could not keep the file has said why
}

int Export(const CtlCommand& command, const QString& dataFolder)
{
    StderrMessages messages;
    RecordStore store(messages);
    if (store.Open(FileSystemPath(DatabasePath(dataFolder))) != 0)
        return 1;
    // Written beside the output and put in its place only when the export is whole: a store
    // that fails at its first read (it opens lazily) leaves an earlier file as it was.
    ExportTarget target(command.file, stdout);
    if (!target.open())
        return Fail(QStringLiteral("cannot write %1: %2").arg(target.name(), target.errorString()));
    long rows = SelectionFailed;
    try {
        rows = ExportRecords(store, command.from.value_or(-HUGE_VAL), command.to.value_or(HUGE_VAL),
                             target.device());
    } catch (const StoreError& error) {
        return Fail(QString::fromStdString(error.what()));
    }
    if (rows == SelectionFailed)
        return 1;
    if (rows == WriteFailed || !target.commit())
        return Fail(QStringLiteral("cannot write %1: %2").arg(target.name(), target.errorString()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    QString usageError;
    const std::optional<QString> traceFile = TakeTraceOption(arguments, usageError);
    if (!traceFile) {
        std::fputs(usageError.toLocal8Bit().constData(), stderr);
        return 2;
    }
    std::unique_ptr<TraceWriter> trace;
    if (!traceFile->isEmpty()) {
        trace = std::make_unique<TraceWriter>(FileSystemPath(*traceFile));
        if (!trace->isOpen())
            return Fail(QStringLiteral("cannot write the trace %1").arg(*traceFile));
    }
    if (const std::optional<int> status = RunHeadlessCommand(arguments, trace.get()))
        return *status;
    const CtlCommand command = ParseCtlArguments(arguments, QStringLiteral(NIMBRA_VERSION));
    switch (command.kind) {
    case CtlCommand::Kind::Print:
        std::fputs(command.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CtlCommand::Kind::BadUsage:
        std::fputs(command.text.toLocal8Bit().constData(), stderr);
        return 2;
    case CtlCommand::Kind::Import:
    case CtlCommand::Kind::Export:
        break;
    }
    const QString dataFolder = command.dataFolder.isEmpty()
                                   ? DefaultDataFolder()
                                   : QFileInfo(command.dataFolder).absoluteFilePath();
    return command.kind == CtlCommand::Kind::Import ? Import(command, dataFolder)
                                                    : Export(command, dataFolder);
}
