#include "headless.h"

#include "datafolder.h"
#include "headlesscommands.h"
#include "hidapitransport.h"
#include "makebus.h"
#include "publishcommand.h"
#include "singleinstance.h"
#include "stationhold.h"
#include "tracingtransport.h"

#include <memory>
#include <utility>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace nimbra {

namespace {

using Runner = int (*)(const QStringList&, HeadlessEnvironment&);

constexpr std::pair<const char*, Runner> Commands[] = {
    {"live", RunLive},         {"settings", RunSettings},  {"list", RunList},
    {"fetch", RunFetch},       {"set-clock", RunSetClock}, {"interval", RunInterval},
    {"history", RunHistory},   {"publish", RunPublish},    {"serve", RunServe},
    {"stations", RunStations},
};

// The first word that is neither an option nor the value of --data-folder or --station.
QString Verb(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--data-folder") || argument == QStringLiteral("--station"))
            ++i;
        else if (!argument.startsWith(u'-'))
            return argument;
    }
    return {};
}

} // namespace

std::optional<int> RunHeadlessCommand(const QStringList& arguments, HeadlessEnvironment& env)
{
    const QString verb = Verb(arguments);
    for (const auto& [name, run] : Commands)
        if (verb == QLatin1String(name))
            return run(arguments, env);
    return std::nullopt;
}

std::optional<int> RunHeadlessCommand(const QStringList& arguments, TraceWriter* trace)
{
    std::unique_ptr<HidTransport> transport; // outlives the command's session
    std::unique_ptr<TracingTransport> tracing;
    HeadlessEnvironment env;
    env.terminal = isatty(fileno(stdout)) != 0;
    env.transport = [&transport, &tracing, trace](const StationChoice& choice) -> HidTransport& {
        if (choice.simulate)
            transport = makeEmulatedBus(choice.stationId.empty() ? DefaultEmulatedStationId()
                                                                 : choice.stationId,
                                        SimulatedStationFile(choice.dataFolder));
        else
            transport = std::make_unique<HidapiTransport>();
        if (!trace)
            return *transport;
        tracing = std::make_unique<TracingTransport>(*transport, *trace);
        return *tracing;
    };
    env.machineHolds = MachineHoldFolder();
    env.emulatedHolds = DefaultLockFolder().toStdU16String();
    env.defaultDataFolder = DefaultDataFolder();
    return RunHeadlessCommand(arguments, env);
}

QString HeadlessUsage()
{
    return QStringLiteral(
        "nimbractl [--data-folder DIR] [--simulate] [--station ID] live|settings|list|fetch|"
        "set-clock|interval|publish|serve|stations ...\n       nimbractl [--data-folder DIR] "
        "history ... "
        "  (COMMAND --help "
        "for each)");
}

} // namespace nimbra
