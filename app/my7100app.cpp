#include "my7100app.h"

#include "datafolder.h"
#include "language.h"

#include <QDialog>

namespace nimbra {

CMy7100App::CMy7100App(int& argc, char** argv) : m_application(argc, argv)
{
    QApplication::setApplicationName(QStringLiteral("Nimbra"));
    QApplication::setApplicationVersion(QStringLiteral(NIMBRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("nimbra"));
}

bool CMy7100App::InitInstance()
{
    m_options = ParseCommandLine(QApplication::arguments());
    // A second copy ends silently and leaves the running one alone.
    if (!m_instanceLock.acquire())
        return false;
    m_dataFolder = m_options.dataFolder;
    SetUpDataFolder(m_dataFolder, TemplateFolder(ProgramFolder()));
    applyLanguage();
    runMainWindow();
    return false;
}

void CMy7100App::applyLanguage()
{
    m_language = ReadLanguage(SettingsPath(m_dataFolder));
    m_qtTranslator = ApplyLanguage(m_language);
}

// Stands in for the main window until it exists.
void CMy7100App::runMainWindow()
{
    QDialog window;
    window.setWindowTitle(QStringLiteral("Nimbra"));
    window.exec();
}

} // namespace nimbra
