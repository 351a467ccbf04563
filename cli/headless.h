#pragma once

#include "hidtransport.h"
#include "reporttrace.h"
#include "timing.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace nimbra {

// The station a command asked for.
struct StationChoice
{
    bool simulate = false;
    std::string stationId; // empty: the first free one (under --simulate, one of its own)
    QString dataFolder;    // where an emulated station keeps its state
};

// What the station commands run against. nimbractl fills it from the process (stdout, the
// system's HID interfaces or the emulator, the folders of the stations' holds); tests give
// their own.
struct HeadlessEnvironment
{
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // out is a terminal: progress is drawn as a bar rather than written as lines.
    bool terminal = false;
    // The station side for "--simulate" or without it; lives as long as the environment.
    std::function<HidTransport&(const StationChoice&)> transport;
    Timing timing;
    // Where the holds are kept: of real stations (every user's programs look there) and of
    // emulated ones (the user's own).
    std::filesystem::path machineHolds;
    std::filesystem::path emulatedHolds;
    QString defaultDataFolder; // the data folder when --data-folder is not given
};

// Runs the command the arguments name (live, settings, list, fetch, set-clock, interval,
// history) and returns its exit status: 0 done, 1 failed, 2 bad usage. Empty when the
// arguments name none of these commands.
std::optional<int> RunHeadlessCommand(const QStringList& arguments, HeadlessEnvironment& env);

// The same for this process: stdout and stderr, the system's HID interfaces (the emulator with
// --simulate), the holds' folders and the user's data folder. With a trace, every report goes
// into it.
std::optional<int> RunHeadlessCommand(const QStringList& arguments, TraceWriter* trace = nullptr);

// The usage line of these commands, for nimbractl's own usage text.
QString HeadlessUsage();

} // namespace nimbra
