#pragma once

#include "datapaths.h"

#include <QString>

namespace nimbra {

// "C:\Users\Public\KV7100" on Windows, ~/.local/share/KV7100 elsewhere.
QString DefaultDataFolder();

// The folder of the running executable. Needs the application object.
QString ProgramFolder();

// Where the shipped templates (7100.db, Main.ini) live: share/nimbra beside the program's bin/
// in a build tree and in an installed prefix; the program folder itself in a flat deployment.
QString TemplateFolder(const QString& programFolder);

// Creates dataFolder when missing and copies the templates that it does not hold yet, so a
// working database and settings file are never replaced. Main.ini is made writable on every
// call, because the language selection writes to it. Every failure is silent: a missing
// database shows up when the record store opens it.
void SetUpDataFolder(const QString& dataFolder, const QString& templateFolder);

// Why dataFolder cannot serve (it does not exist or refuses a new file), for the user; empty
// when it can.
QString DataFolderProblem(const QString& dataFolder);

} // namespace nimbra
