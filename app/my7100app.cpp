#include "my7100app.h"

#include "datafolder.h"
#include "hidlink.h"
#include "language.h"
#include "my7100dlg.h"
#include "publishsettings.h"
#include "readingspublisher.h"
#include "replyrouter.h"
#include "restart.h"
#include "stationside.h"
#include "tracingtransport.h"
#include "uitext.h"
#include "widgetmessageservice.h"

#include <QTimer>
#include <cstdio>
#include <memory>

namespace nimbra {

CMy7100App::CMy7100App(int& argc, char** argv) : m_application(argc, argv)
{
    QApplication::setApplicationName(QStringLiteral("Nimbra"));
    QApplication::setApplicationVersion(QStringLiteral(NIMBRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("nimbra"));
}

bool CMy7100App::InitInstance()
{
    // QApplication has taken its own options (-platform, -style, ...) off the line by now.
    const CommandLine command =
        ParseCommandLine(QApplication::arguments(), QApplication::applicationVersion());
    if (!command.start) {
        PrintCommandLineOutput(command);
        m_exitStatus = command.exitStatus;
        return false;
    }
    m_options = command.options;
    // A second copy ends silently and leaves the running one alone.
    const QString lockFolder = DefaultLockFolder();
    if (lockFolder.isEmpty())
        std::fprintf(stderr, "nimbra: no private folder for the single-instance lock (another "
                             "user's or open to others); starting without it\n");
    m_instanceLock.emplace(lockFolder, LockName(m_options.dataFolder));
    if (!m_instanceLock->acquire())
        return false;
    m_dataFolder = m_options.dataFolder;
    SetUpDataFolder(m_dataFolder, TemplateFolder(ProgramFolder()));
    // Without a usable folder there is no database and no settings: better said than a window
    // whose every import fails.
    if (const QString problem = DataFolderProblem(m_dataFolder); !problem.isEmpty()) {
        std::fprintf(stderr, "nimbra: %s\n", problem.toLocal8Bit().constData());
        m_exitStatus = 1;
        return false;
    }
    applyLanguage();
    runMainWindow();
    return false;
}

void CMy7100App::applyLanguage()
{
    m_language = ReadLanguage(SettingsPath(m_dataFolder));
    m_qtTranslator = ApplyLanguage(m_language);
}

void CMy7100App::runMainWindow()
{
    const Timing timing;
    const std::string chosen = m_options.station.toStdString();
    StationSide station = m_options.simulate ? EmulatedStationSide(m_dataFolder, m_language, chosen)
                                             : HardwareStation(timing);
    std::unique_ptr<TraceWriter> trace;
    std::unique_ptr<TracingTransport> tracing;
    if (!m_options.traceFile.isEmpty()) {
        trace = std::make_unique<TraceWriter>(m_options.traceFile.toStdU16String());
        if (!trace->isOpen()) {
            std::fprintf(stderr, "nimbra: cannot write the trace %s\n",
                         m_options.traceFile.toLocal8Bit().constData());
            m_exitStatus = 1;
            return;
        }
        tracing = std::make_unique<TracingTransport>(*station.transport, *trace);
    }
    ReplyRouter router;
    const StationHolds holds(station.holdFolder, "nimbra");
    HidLink link(tracing ? *tracing : *station.transport, router, timing, &holds);
    link.chooseStation(chosen);
    {
        WidgetMessageService messages(nullptr);
        const std::unique_ptr<Publishing> publishing = startPublishing(messages);
        CMy7100Dlg window(link, router, *station.notifier, messages, m_language);
        window.setDataFolder(m_dataFolder, DatabasePath(m_dataFolder));
        if (publishing)
            window.setReadingsListener(&publishing->readings);
        // The new copy gets what the user gave this one: data folder, emulator.
        window.setRestarter([this] {
            return StartNewCopy(*m_instanceLock, QCoreApplication::applicationFilePath(),
                                QCoreApplication::arguments().mid(1));
        });
        if (station.companion)
            QTimer::singleShot(0, &window, [&] { station.companion(&window); });
        window.DoModal();
    }
    // The window has stopped the link's threads; the transport goes last.
    link.stop();
}

CMy7100App::Publishing::Publishing(const PublishSettings& settings)
    : publisher(
          settings.broker,
          [](const std::string& line) { std::fprintf(stderr, "nimbra: %s\n", line.c_str()); }),
      readings(publisher, settings.topics)
{
}

std::unique_ptr<CMy7100App::Publishing> CMy7100App::startPublishing(MessageService& messages)
{
    QString problem;
    const std::optional<PublishSettings> settings = LoadPublishSettings(m_dataFolder, problem);
    if (!problem.isEmpty())
        messages.inform(StringTable(m_language, TextId::PublishingOff).arg(problem));
    return settings ? std::make_unique<Publishing>(*settings) : nullptr;
}

} // namespace nimbra
