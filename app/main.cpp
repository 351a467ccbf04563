#include "commandline.h"
#include "my7100app.h"

#include <QStringList>

int main(int argc, char** argv)
{
    // --help and --version are answered before the window system is asked for a display, so
    // they work on a machine without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const nimbra::CommandLine early =
        nimbra::ParseCommandLine(arguments, QStringLiteral(NIMBRA_VERSION));
    if (!early.start && early.exitStatus == 0) {
        nimbra::PrintCommandLineOutput(early);
        return 0;
    }
    nimbra::CMy7100App app(argc, argv);
    app.InitInstance();
    return app.exitStatus();
}
