#pragma once

#include <QString>

namespace nimbra {

// The files of a data folder, named in one place for the program, nimbractl and the tests.
QString DatabasePath(const QString& dataFolder);
QString SettingsPath(const QString& dataFolder);

} // namespace nimbra
