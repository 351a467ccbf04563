#include "language.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;

TEST(Language, OnlyTheExactValueDeutschIsGerman)
{
    const std::pair<QString, Language> cases[] = {
        {u"Deutsch"_s, Language::German},   {u"English"_s, Language::English},
        {u"deutsch"_s, Language::English},  {u"DEUTSCH"_s, Language::English},
        {u"German"_s, Language::English},   {u""_s, Language::English},
        {u"Deutsch2"_s, Language::English},
    };
    for (const auto& [value, language] : cases)
        EXPECT_EQ(LanguageFromIniValue(value), language) << value.toStdString();
}

TEST(Language, ReadFromMainIni)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::pair<QByteArray, Language> cases[] = {
        {"[Language]\nLanguage=Deutsch\n", Language::German},
        {"[Language]\r\nLanguage=Deutsch\r\n", Language::German},
        {"[Language]\nLanguage = Deutsch\n", Language::German},
        {"[Language]\nLanguage=\"Deutsch\"\n", Language::German},
        {"[Language]\nLanguage=deutsch\n", Language::English},
        {"[Language]\nLanguage=German\n", Language::English},
        {"[Language]\nLanguage=\n", Language::English},
        {"[Language]\n", Language::English},
        {"[Other]\nLanguage=Deutsch\n", Language::English},
        {"", Language::English},
    };
    const QString path = dir.filePath(u"Main.ini"_s);
    for (const auto& [content, language] : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_EQ(ReadLanguage(path), language) << content.toStdString();
    }
    EXPECT_EQ(ReadLanguage(dir.filePath(u"missing.ini"_s)), Language::English);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"missing.ini"_s))); // reading creates nothing
}

TEST(Language, GermanTranslatesQtsOwnTextsAndSetsTheLocale)
{
    int argc = 1;
    char name[] = "test_language";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    {
        const auto translator = ApplyLanguage(Language::German);
        ASSERT_NE(translator, nullptr) << "qtbase_de.qm missing (package qt6-translations-l10n)";
        EXPECT_EQ(QLocale().language(), QLocale::German);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Abbrechen"_s);
    }
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);

    EXPECT_EQ(ApplyLanguage(Language::English), nullptr);
    EXPECT_EQ(QLocale().language(), QLocale::English);
    EXPECT_EQ(QLocale().territory(), QLocale::UnitedStates);
}
