#pragma once

// nimbractl run as a process of its own on a data folder, as a script would run it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

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

} // namespace nimbra::test
