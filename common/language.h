#pragma once

#include "uitext.h"

#include <QString>
#include <QTranslator>
#include <memory>

namespace nimbra {

// "English" and "Deutsch", compared exactly; every other value means English.
Language LanguageFromIniValue(const QString& value);

// Key "Language" of section [Language]; a missing file, section or key means English.
Language ReadLanguage(const QString& settingsPath);

// Writes "English" or "Deutsch" under [Language] and keeps whatever else the file holds.
// Returns false when the file could not be written (read-only, no such folder, disk full).
bool WriteLanguage(const QString& settingsPath, Language language);

// Makes the language the process's own: the default locale, and for German Qt's translation
// of its standard texts (OK, Cancel, ...). The translator is installed on the application and
// stays so while the returned object lives; null when none is needed or none was found.
// Needs the application object.
std::unique_ptr<QTranslator> ApplyLanguage(Language language);

} // namespace nimbra
