#include "uitext.h"
#include "uitexttable.h"

#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    int position;
    int id;
    QString english;
    QString german;
};

const Entry Entries[] = {
    {0, 201, u"Temperature"_s, u"Temperatur"_s},
    {1, 202, u"Humidity"_s, u"Luftfeuchtigkeit"_s},
    {2, 293, u"DewPoint"_s, u"Taupunkt"_s},
    {3, 204, u"Menu"_s, u"Menü"_s},
    {4, 205, u"Setup"_s, u"Einstellungen"_s},
    {5, 206, u"Graph Type"_s, u"Graphiktyp"_s},
    {6, 207, u"Graph Time"_s, u"Graphikzeit"_s},
    {7, 208, u"Time Format"_s, u"Format Zeit"_s},
    {8, 209, u"Date Format"_s, u"Format Datum"_s},
    {9, 210, u"Units"_s, u"Einheiten"_s},
    {10, 211, u"TimeZone"_s, u"Zeitzone"_s},
    {11, 212, u"Sync Time"_s, u"Synchronisationszeit"_s},
    {12, 213, u"Interval"_s, u"Intervall"_s},
    {13, 214, u"Minute"_s, u"Minuten"_s},
    {14, 215, u"Set Interval"_s, u"Intervalleinstellung"_s},
    {15, 216, u"Save"_s, u"Sichern"_s},
    {16, 217, u"Exit"_s, u"Verlassen"_s},
    {17, 218, u"Alarm"_s, u"Alarm"_s},
    {18, 219, u"Temperature Alarm"_s, u"Temperaturalarm"_s},
    {19, 220, u"Humidity Alarm"_s, u"Alarm Luftfeuchtigkeit"_s},
    {20, 221, u"Calibration"_s, u"Kalibrierung"_s},
    {21, 222, u"SDCard File"_s, u"SD Karte Datei"_s},
    {22, 223, u"Select"_s, u"Auswählen"_s},
    {23, 224, u"Delete"_s, u"Löschen"_s},
    {24, 225, u"Graph"_s, u"Graphik"_s},
    {25, 226, u"File Name"_s, u"Dateiname"_s},
    {26, 227, u"Size"_s, u"Größe"_s},
    {27, 228, u"Time"_s, u"Uhrzeit"_s},
    {28, 229, u"HeatIndex"_s, u"Wärmeindex"_s},
    {29, 230, u"Are you want to Synchronization Time?"_s,
     u"Möchten Sie die Uhrzeit synchronisieren?"_s},
    {30, 231, u"Sync Time Success"_s, u"Synchronisationszeit Uhrzeit"_s},
    {31, 232, u"Unconnected"_s, u"Getrennt"_s},
    {32, 233, u"Connected"_s, u"Verbunden"_s},
    {33, 234, u"Start Time"_s, u"Startzeit"_s},
    {34, 235, u"End Time"_s, u"Endzeit"_s},
    {35, 236, u"Please switch the device to the main screen."_s,
     u"Wechseln Sie zum Hauptbildschirm."_s},
    {36, 237, u"Interval Range of values: 5 to 240 Minute"_s,
     u"Intervallbereich der Werte: 5 bis 240 Minuten"_s},
    {37, 238, u"Set Interval Success"_s, u"Bestätigung Intervalleinstellung"_s},
    {38, 239, u"Temp Error"_s, u"Fehler Temperatur"_s},
    {39, 240, u"Humi Error"_s, u"Fehler Luftfeuchtigkeit"_s},
    {40, 241, u"Temp Out of value"_s, u"Temperatur außerhalb des Wertes"_s},
    {41, 242, u"Humi Out of value"_s, u"Luftfeuchtig außerhalb des Wertes"_s},
    {42, 243, u"Please select a file"_s, u"Wählen Sie eine Datei aus"_s},
    {43, 244, u"Open Error"_s, u"Fehleröffnung"_s},
    {44, 245, u"Create Error"_s, u"Fehlererstellung"_s},
    {45, 246, u"This file errors"_s, u"Fehlerhafte Datei"_s},
    {46, 247, u"Are you sure to delete the file?"_s, u"Sind Sie sicher: Löschen?"_s},
    {47, 248, u"Time Error"_s, u"Zeitfehler"_s},
    {48, 249, u"Area"_s, u"Bereich"_s},
    {49, 250, u"About Nimbra"_s, u"Über Nimbra"_s},
    {50, 294, u"High"_s, u"Hoch"_s},
    {51, 295, u"Low"_s, u"Niedrig"_s},
    {52, 296, u"Language"_s, u"Sprache"_s},
};

struct MenuEntry
{
    int commandId;
    QString english;
    QString german;
};

const MenuEntry MenuEntries[] = {
    {0, u"Menu"_s, u"Menü"_s},
    {32772, u"Setup"_s, u"Einstellungen"_s},
    {32773, u"Alarm"_s, u"Alarm"_s},
    {32774, u"Calibration"_s, u"Kalibrierung"_s},
    {32775, u"SDCard File"_s, u"SD Karte Datei"_s},
    {32776, u"Sync Time"_s, u"Synchronisationszeit"_s},
    {32777, u"Language"_s, u"Sprache"_s},
};

UiText Loaded(Language language)
{
    UiText texts;
    texts.LoadUiText(language);
    return texts;
}

} // namespace

TEST(UiText, EveryPositionHoldsItsIdInBothLanguages)
{
    ASSERT_EQ(std::size(Entries), size_t(UiText::Count));
    const UiText english = Loaded(Language::English);
    const UiText german = Loaded(Language::German);
    for (const Entry& entry : Entries) {
        SCOPED_TRACE(entry.id);
        EXPECT_EQ(UiText::IdAt(entry.position), entry.id);
        EXPECT_EQ(english.At(entry.position), entry.english);
        EXPECT_EQ(english.Text(entry.id), entry.english);
        EXPECT_EQ(german.At(entry.position), entry.german);
        EXPECT_EQ(german.Text(entry.id), entry.german);
    }
    EXPECT_EQ(english.language(), Language::English);
    EXPECT_EQ(german.language(), Language::German);
}

TEST(UiText, EmptyUntilLoadedAndReloadReplacesEveryEntry)
{
    UiText texts;
    EXPECT_EQ(texts.language(), Language::English);
    for (int position = 0; position < UiText::Count; ++position)
        EXPECT_TRUE(texts.At(position).isEmpty()) << position;

    texts.LoadUiText(Language::German);
    texts.LoadUiText(Language::English);
    for (const Entry& entry : Entries)
        EXPECT_EQ(texts.At(entry.position), entry.english) << entry.id;
}

TEST(UiText, UnknownIdsAndPositionsAreEmpty)
{
    const UiText texts = Loaded(Language::German);
    // 101 is in the string table but not one of the 53; 203 and 251..292 do not exist.
    for (int id : {0, 101, 200, 203, 251, 270, 292, 297, -201})
        EXPECT_TRUE(texts.Text(id).isEmpty()) << id;
    for (int position : {-1, UiText::Count, 1000}) {
        EXPECT_TRUE(texts.At(position).isEmpty()) << position;
        EXPECT_EQ(UiText::IdAt(position), 0) << position;
    }
}

TEST(StringTable, HoldsTheSystemMenuEntryOutsideTheUiTexts)
{
    EXPECT_EQ(StringTable(Language::English, 101), u"About Nimbra(&A)..."_s);
    EXPECT_EQ(StringTable(Language::German, 101), u"Über Nimbra(&A)..."_s);
    EXPECT_EQ(StringTable(Language::German, 242), u"Luftfeuchtig außerhalb des Wertes"_s);
    EXPECT_TRUE(StringTable(Language::English, 203).isEmpty());
    EXPECT_TRUE(StringTable(Language::German, 32772).isEmpty());
}

TEST(MenuText, TitleAndItemsInBothLanguages)
{
    for (const MenuEntry& entry : MenuEntries) {
        SCOPED_TRACE(entry.commandId);
        EXPECT_EQ(MenuText(Language::English, entry.commandId), entry.english);
        EXPECT_EQ(MenuText(Language::German, entry.commandId), entry.german);
    }
    for (int commandId : {32771, 32778, 201})
        EXPECT_TRUE(MenuText(Language::English, commandId).isEmpty()) << commandId;
}

TEST(ParseTextTable, SkipsWhatIsNotAnEntryAndFallsBackToEnglish)
{
    const TextTable table = ParseTextTable(u"# comment\t1\tx\r\n"
                                           u"\r\n"
                                           u"201\tTemperature\tTemperatur\r\n"
                                           u"202\tHumidity\n"
                                           u"204\tMenu\t\n"
                                           u"abc\tNot an id\tKeine Id\n"
                                           u"205\n"
                                           u"206\t\tNur Deutsch\n"
                                           u"menu:popup\tMenu\tMenü\n"
                                           u"menu:32772\tSetup\tEinstellungen"_s);
    EXPECT_EQ(table.strings.size(), 3);
    EXPECT_EQ(table.strings.value(201).german, u"Temperatur"_s); // no stray carriage return
    EXPECT_EQ(table.strings.value(202).german, u"Humidity"_s);
    EXPECT_EQ(table.strings.value(204).german, u"Menu"_s);
    EXPECT_EQ(table.menu.size(), 2);
    EXPECT_EQ(table.menu.value(0).german, u"Menü"_s);
    EXPECT_EQ(table.menu.value(32772).english, u"Setup"_s);
}
