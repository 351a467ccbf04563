// list and fetch: the card's files, and resumable downloads each followed by the import.
#include "fetchcommands.h"

#include "commandparser.h"
#include "datafolder.h"
#include "downloadthread.h"
#include "fetchprogress.h"
#include "filetable.h"
#include "headlesscommands.h"
#include "logdate.h"
#include "logimport.h"
#include "messageservice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <system_error>
#include <thread>

namespace nimbra {

namespace {

// Every message of the download and the import tells of a failure: each is a line on err, and
// the file counts as failed.
class FailureMessages final : public MessageService
{
public:
    explicit FailureMessages(HeadlessEnvironment& env) : m_env(env) {}
    void inform(const QString& text) override
    {
        m_failed = true;
        Fail(m_env, text);
    }
    Answer ask(const QString& text, const QString&) override
    {
        inform(text);
        return Answer::Cancel;
    }
    // Whether a failure was told since the last call.
    bool takeFailed() { return m_failed.exchange(false); }

private:
    HeadlessEnvironment& m_env;
    std::atomic<bool> m_failed{false};
};

QString StationName(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The card's files in list order, each name once. Empty when the station sent no list.
std::optional<std::vector<std::string>> ReadFileList(StationSession& session, FileTable& files)
{
    files.Reset();
    session.router().setFileLists(&files, &files);
    const Timing& timing = session.link().timing();
    const bool timedOut =
        session.link().Exchange(CommandFrame(Command::FileList), RequestKind::FileList,
                                timing.fileListBefore, timing.fileListAfter);
    session.router().setFileLists(nullptr, nullptr);
    if (timedOut || !session.link().Connected())
        return std::nullopt;
    std::vector<std::string> names;
    for (const FileEntry& entry : files.entries())
        if (std::find(names.begin(), names.end(), entry.name) == names.end())
            names.push_back(entry.name);
    return names;
}

std::uint64_t LocalSize(const std::filesystem::path& folder, const std::string& name)
{
    const std::optional<std::filesystem::path> copy = LocalCopyPath(folder, name);
    std::error_code error;
    const std::uintmax_t size = copy ? std::filesystem::file_size(*copy, error) : 0;
    return error ? 0 : size;
}

// The download's own rule: a copy as long as the station's file, or one byte longer, has
// nothing left to fetch (a longer one belongs to an older file and is fetched again).
bool CopyIsComplete(std::uint64_t local, std::int32_t size)
{
    const auto station = static_cast<std::uint64_t>(std::max(size, 0));
    return local >= station && local <= station + 1;
}

std::filesystem::path FileSystemPath(const QString& name)
{
    return std::filesystem::path(name.toStdU16String());
}

// Fetches and imports the files one after the other, as the SD-card dialog does for one.
class Fetcher
{
public:
    Fetcher(HeadlessEnvironment& env, StationSession& session, FileTable& files,
            const QString& dataFolder)
        : m_env(env), m_session(session), m_files(files), m_folder(FileSystemPath(dataFolder)),
          m_database(FileSystemPath(DatabasePath(dataFolder))), m_messages(env),
          m_progress(env.out, env.terminal), m_receiver(m_progress),
          m_download(session.link(), m_receiver, files, m_messages, m_progress,
                     [this](const std::filesystem::path& copy, const std::string& name) {
                         importCopy(copy, name);
                     })
    {
        UiText texts;
        texts.LoadUiText(Language::English);
        m_download.setTexts(texts);
        const Page settings = session.settingsPage();
        m_order = settings == Page{} ? DateOrder::Unknown : DateOrderFromSettings(settings[4]);
        session.router().setFileDataSink(&m_receiver);
    }
    ~Fetcher()
    {
        m_download.stop();
        m_session.router().setFileDataSink(nullptr);
    }
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    // True when the file arrived whole and its import and history merge went through. A stop
    // asked meanwhile ends the transfer at a chunk boundary; the copy resumes from there.
    bool fetch(const std::string& name, const std::atomic<bool>* stop)
    {
        const std::int32_t size = m_files.sizeOf(name).value_or(0);
        const std::uint64_t local = LocalSize(m_folder, name);
        m_progress.begin(StationName(name), static_cast<std::uint64_t>(std::max(size, 0)),
                         local > std::uint64_t(std::max(size, 0)) + 1 ? 0 : local);
        m_messages.takeFailed();
        m_imported.clear();
        m_download.start(name, m_folder);
        while (stop && m_download.running() && !stop->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (stop && stop->load()) {
            m_download.stop();
            m_progress.finish();
            return false;
        }
        m_download.wait();
        m_progress.finish();
        const bool whole = m_progress.complete();
        const bool failed = m_messages.takeFailed() || !whole;
        PrintLine(m_env.out, QStringLiteral("%1: %2%3")
                                 .arg(StationName(name),
                                      whole ? QStringLiteral("%1 bytes").arg(size)
                                            : QStringLiteral("incomplete"),
                                      m_imported));
        return !failed;
    }

private:
    // On the download worker, once the transfer has ended.
    void importCopy(const std::filesystem::path& copy, const std::string& name)
    {
        const ImportResult result =
            ImportLogFile(copy, name, m_database, m_order, m_messages,
                          {.complete = m_download.copyComplete(), .language = Language::English});
        if (!result.opened) {
            m_messages.inform(QStringLiteral("cannot read %1").arg(StationName(name)));
            return;
        }
        if (!result.stored)
            return;
        m_imported = QStringLiteral(", %1 rows imported").arg(result.rows);
        if (result.history)
            m_imported += QStringLiteral(", %1 new in the history").arg(result.history->added);
        // Not a failure of its own: an incomplete copy has failed already, an empty file is fine.
        if (const QString summary = ImportSummary(result, StationName(name), Language::English);
            !summary.isEmpty())
            m_imported += QStringLiteral(" (%1)").arg(summary);
    }

    HeadlessEnvironment& m_env;
    StationSession& m_session;
    const FileTable& m_files;
    const std::filesystem::path m_folder;
    const std::filesystem::path m_database;
    DateOrder m_order = DateOrder::Unknown;
    FailureMessages m_messages;
    FetchProgress m_progress;
    ChunkReceiver m_receiver;
    QString m_imported; // written by the worker, read after it was joined
    DownloadThread m_download;
};

} // namespace

int RunList(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(QStringLiteral("list"), QStringLiteral("[--json]"),
                       QStringLiteral("Lists the log files on the station's SD card with their "
                                      "sizes in bytes."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Write a JSON array of {name, size}."));
    line.addOption(json);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("list takes no operands"), env);
    StationAccess station(env, line);
    if (!station.open())
        return 1;
    FileTable files(SizeTextStyle::KilobytesOrMegabytes);
    const std::optional<std::vector<std::string>> names = ReadFileList(station.session(), files);
    if (!names)
        return Fail(env, QStringLiteral("the station did not send its file list"));
    QJsonArray array;
    for (const std::string& name : *names) {
        const std::int32_t size = files.sizeOf(name).value_or(0);
        if (line.parser().isSet(json))
            array.append(QJsonObject{{QStringLiteral("name"), StationName(name)},
                                     {QStringLiteral("size"), size}});
        else
            PrintLine(env.out, QStringLiteral("%1  %2").arg(StationName(name), -24).arg(size, 10));
    }
    if (line.parser().isSet(json))
        PrintLine(env.out, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
    return 0;
}

int RunFetch(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(
        QStringLiteral("fetch"), QStringLiteral("NAME... | --all [--new]"),
        QStringLiteral("Fetches station files into the data folder as the SD-card dialog does: a "
                       "file fetched before\nresumes after the bytes its copy holds. Each file is "
                       "then imported into the record store and\nkept in the history."));
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Every file on the card."));
    const QCommandLineOption onlyNew(
        QStringLiteral("new"),
        QStringLiteral("Skip files whose local copy is already complete (for a nightly job)."));
    line.addOption(all);
    line.addOption(onlyNew);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    const QStringList operands = line.operands();
    if (line.parser().isSet(all) == !operands.isEmpty())
        return line.badUsage(QStringLiteral("name the files or give --all, not both"), env);

    const QString dataFolder = line.dataFolder(env);
    SetUpDataFolder(dataFolder, TemplateFolder(ProgramFolder()));
    if (const QString problem = DataFolderProblem(dataFolder); !problem.isEmpty())
        return Fail(env, problem);
    StationAccess station(env, line);
    if (!station.open())
        return 1;
    FetchRequest request;
    request.dataFolder = dataFolder;
    request.all = line.parser().isSet(all);
    request.onlyNew = line.parser().isSet(onlyNew);
    for (const QString& operand : operands)
        request.names.push_back(operand.toLatin1().toStdString());
    return FetchFiles(env, station.session(), request);
}

int FetchFiles(HeadlessEnvironment& env, StationSession& session, const FetchRequest& request)
{
    // The date format orders day and month of the log's times, as in the window.
    if (!session.readSettings())
        return Fail(env, QStringLiteral("the station did not answer"));
    FileTable files(SizeTextStyle::KilobytesOrMegabytes);
    const std::optional<std::vector<std::string>> listed = ReadFileList(session, files);
    if (!listed)
        return Fail(env, QStringLiteral("the station did not send its file list"));

    int status = 0;
    std::vector<std::string> wanted;
    for (const std::string& name : request.names) {
        if (!files.sizeOf(name)) {
            status = Fail(env, QStringLiteral("%1 is not on the card").arg(StationName(name)));
            continue;
        }
        wanted.push_back(name);
    }
    if (request.all)
        wanted = *listed;

    Fetcher fetcher(env, session, files, request.dataFolder);
    int fetched = 0;
    for (const std::string& name : wanted) {
        if (request.stop && request.stop->load())
            return 1;
        if (request.onlyNew && CopyIsComplete(LocalSize(FileSystemPath(request.dataFolder), name),
                                              *files.sizeOf(name)))
            continue;
        ++fetched;
        if (!fetcher.fetch(name, request.stop))
            status = 1;
    }
    if (fetched == 0 && status == 0)
        PrintLine(env.out, QStringLiteral("nothing to fetch"));
    return status;
}

} // namespace nimbra
