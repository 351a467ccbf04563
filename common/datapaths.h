#pragma once

#include <QString>
#include <filesystem>

namespace nimbra {

// The files of a data folder, named in one place for the program, nimbractl and the tests.
QString DatabasePath(const QString& dataFolder);
QString SettingsPath(const QString& dataFolder);
// What the emulated station keeps through a restart.
std::filesystem::path SimulatedStationFile(const QString& dataFolder);

} // namespace nimbra
