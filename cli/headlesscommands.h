#pragma once

#include "headless.h"

namespace nimbra {

// The station commands, each given the whole command line ("nimbractl", options, its name,
// its operands). Exit status 0 done, 1 failed, 2 bad usage.
int RunLive(const QStringList& arguments, HeadlessEnvironment& env);
int RunSettings(const QStringList& arguments, HeadlessEnvironment& env);
int RunList(const QStringList& arguments, HeadlessEnvironment& env);
int RunFetch(const QStringList& arguments, HeadlessEnvironment& env);
int RunSetClock(const QStringList& arguments, HeadlessEnvironment& env);
int RunInterval(const QStringList& arguments, HeadlessEnvironment& env);
int RunHistory(const QStringList& arguments, HeadlessEnvironment& env);
int RunStations(const QStringList& arguments, HeadlessEnvironment& env);

} // namespace nimbra
