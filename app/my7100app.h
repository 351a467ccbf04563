#pragma once

#include "commandline.h"
#include "messageservice.h"
#include "publishsettings.h"
#include "readingspublisher.h"
#include "singleinstance.h"
#include "uitext.h"

#include <QApplication>
#include <QString>
#include <QTranslator>
#include <memory>
#include <optional>

namespace nimbra {

// The application object: starts the program, holds the data folder and the single-instance
// lock, and runs the main window.
class CMy7100App
{
public:
    CMy7100App(int& argc, char** argv);

    // Start-up and the main window. Always false: the process ends when it returns, after the
    // main window closed, at once in a second copy, or after a command line that asks for no
    // start or a data folder that cannot be used (exitStatus() says which).
    bool InitInstance();
    int exitStatus() const { return m_exitStatus; }

    Language language() const { return m_language; }
    const StartOptions& options() const { return m_options; }

private:
    // The window's readings to a broker, when mqtt.ini in the data folder turns it on.
    struct Publishing
    {
        explicit Publishing(const PublishSettings& settings);
        MqttPublisher publisher;
        ReadingsPublisher readings;
    };

    void applyLanguage();
    void runMainWindow();
    std::unique_ptr<Publishing> startPublishing(MessageService& messages);

    QApplication m_application;
    StartOptions m_options;
    std::optional<SingleInstanceLock> m_instanceLock; // set once the data folder is known
    QString m_dataFolder;
    Language m_language = Language::English;
    int m_exitStatus = 0;
    std::unique_ptr<QTranslator> m_qtTranslator;
};

} // namespace nimbra
