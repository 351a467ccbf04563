#pragma once

#include <QString>
#include <QStringList>

namespace nimbra {

struct StartOptions
{
    QString dataFolder; // absolute; the platform's default unless --data-folder names one
    bool simulate = false;
};

// Reads --data-folder DIR and --simulate. Anything else on the command line is ignored, so a
// stray argument never keeps the program from starting.
StartOptions ParseCommandLine(const QStringList& arguments);

} // namespace nimbra
