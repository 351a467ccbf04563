#pragma once

// nimbractl run as a process of its own on a data folder, as a script would run it.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <thread>

namespace nimbra::test {

struct CtlOutcome
{
    int exitCode = -1; // -1: it crashed or did not end in time
    QByteArray out;
    QByteArray err;
};

// HOME is the data folder: nothing of the user's is read or written, whatever the command.
inline void StartCtl(QProcess& process, const QString& dataFolder, QStringList arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dataFolder);
    process.setProcessEnvironment(environment);
    arguments.prepend(dataFolder);
    arguments.prepend(QStringLiteral("--data-folder"));
    process.start(QStringLiteral(NIMBRACTL_EXE), arguments);
}

inline CtlOutcome FinishCtl(QProcess& process)
{
    CtlOutcome result;
    if (!process.waitForFinished(120000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Waits (two minutes at most) until file exists, the first sign of a write in progress, or
// the process ended, then waits `after` more.
inline void WaitForFile(const QProcess& process, const QString& file,
                        std::chrono::milliseconds after)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!QFile::exists(file) && process.state() == QProcess::Running &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(after);
}

} // namespace nimbra::test
