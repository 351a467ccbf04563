#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>

namespace nimbra {

Language LanguageFromIniValue(const QString& value)
{
    return value == QLatin1String("Deutsch") ? Language::German : Language::English;
}

Language ReadLanguage(const QString& settingsPath)
{
    const QSettings settings(settingsPath, QSettings::IniFormat);
    return LanguageFromIniValue(settings.value(QStringLiteral("Language/Language")).toString());
}

bool WriteLanguage(const QString& settingsPath, Language language)
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Language/Language"), language == Language::German
                                                               ? QStringLiteral("Deutsch")
                                                               : QStringLiteral("English"));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::unique_ptr<QTranslator> ApplyLanguage(Language language)
{
    if (language != Language::German) {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        return nullptr;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

} // namespace nimbra
