#include "uitext.h"
#include "uitexttable.h"

#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    int position;
    TextId id;
    QString english;
    QString german;
};

const Entry Entries[] = {
    {0, TextId::Temperature, u"Temperature"_s, u"Temperatur"_s},
    {1, TextId::Humidity, u"Humidity"_s, u"Luftfeuchtigkeit"_s},
    {2, TextId::DewPoint, u"DewPoint"_s, u"Taupunkt"_s},
    {3, TextId::Menu, u"Menu"_s, u"Menü"_s},
    {4, TextId::Setup, u"Setup"_s, u"Einstellungen"_s},
    {5, TextId::GraphType, u"Graph Type"_s, u"Graphiktyp"_s},
    {6, TextId::GraphTime, u"Graph Time"_s, u"Graphikzeit"_s},
    {7, TextId::TimeFormat, u"Time Format"_s, u"Format Zeit"_s},
    {8, TextId::DateFormat, u"Date Format"_s, u"Format Datum"_s},
    {9, TextId::Units, u"Units"_s, u"Einheiten"_s},
    {10, TextId::TimeZone, u"TimeZone"_s, u"Zeitzone"_s},
    {11, TextId::SyncTime, u"Sync Time"_s, u"Synchronisationszeit"_s},
    {12, TextId::Interval, u"Interval"_s, u"Intervall"_s},
    {13, TextId::Minute, u"Minute"_s, u"Minuten"_s},
    {14, TextId::SetInterval, u"Set Interval"_s, u"Intervalleinstellung"_s},
    {15, TextId::Save, u"Save"_s, u"Sichern"_s},
    {16, TextId::Exit, u"Exit"_s, u"Verlassen"_s},
    {17, TextId::Alarm, u"Alarm"_s, u"Alarm"_s},
    {18, TextId::TemperatureAlarm, u"Temperature Alarm"_s, u"Temperaturalarm"_s},
    {19, TextId::HumidityAlarm, u"Humidity Alarm"_s, u"Alarm Luftfeuchtigkeit"_s},
    {20, TextId::Calibration, u"Calibration"_s, u"Kalibrierung"_s},
    {21, TextId::SdCardFile, u"SDCard File"_s, u"SD Karte Datei"_s},
    {22, TextId::Select, u"Select"_s, u"Auswählen"_s},
    {23, TextId::Delete, u"Delete"_s, u"Löschen"_s},
    {24, TextId::Graph, u"Graph"_s, u"Graphik"_s},
    {25, TextId::FileName, u"File Name"_s, u"Dateiname"_s},
    {26, TextId::Size, u"Size"_s, u"Größe"_s},
    {27, TextId::Time, u"Time"_s, u"Uhrzeit"_s},
    {28, TextId::HeatIndex, u"HeatIndex"_s, u"Wärmeindex"_s},
    {29, TextId::SyncTimeQuestion, u"Are you want to Synchronization Time?"_s,
     u"Möchten Sie die Uhrzeit synchronisieren?"_s},
    {30, TextId::SyncTimeSuccess, u"Sync Time Success"_s, u"Synchronisationszeit Uhrzeit"_s},
    {31, TextId::Unconnected, u"Unconnected"_s, u"Getrennt"_s},
    {32, TextId::Connected, u"Connected"_s, u"Verbunden"_s},
    {33, TextId::StartTime, u"Start Time"_s, u"Startzeit"_s},
    {34, TextId::EndTime, u"End Time"_s, u"Endzeit"_s},
    {35, TextId::SwitchToMainScreen, u"Please switch the device to the main screen."_s,
     u"Wechseln Sie zum Hauptbildschirm."_s},
    {36, TextId::IntervalRange, u"Interval Range of values: 5 to 240 Minute"_s,
     u"Intervallbereich der Werte: 5 bis 240 Minuten"_s},
    {37, TextId::SetIntervalSuccess, u"Set Interval Success"_s,
     u"Bestätigung Intervalleinstellung"_s},
    {38, TextId::TempError, u"Temp Error"_s, u"Fehler Temperatur"_s},
    {39, TextId::HumiError, u"Humi Error"_s, u"Fehler Luftfeuchtigkeit"_s},
    {40, TextId::TempOutOfValue, u"Temp Out of value"_s, u"Temperatur außerhalb des Wertes"_s},
    {41, TextId::HumiOutOfValue, u"Humi Out of value"_s, u"Luftfeuchtig außerhalb des Wertes"_s},
    {42, TextId::SelectFilePlease, u"Please select a file"_s, u"Wählen Sie eine Datei aus"_s},
    {43, TextId::OpenError, u"Open Error"_s, u"Fehleröffnung"_s},
    {44, TextId::CreateError, u"Create Error"_s, u"Fehlererstellung"_s},
    {45, TextId::FileErrors, u"This file errors"_s, u"Fehlerhafte Datei"_s},
    {46, TextId::DeleteQuestion, u"Are you sure to delete the file?"_s,
     u"Sind Sie sicher: Löschen?"_s},
    {47, TextId::TimeError, u"Time Error"_s, u"Zeitfehler"_s},
    {48, TextId::Area, u"Area"_s, u"Bereich"_s},
    {49, TextId::AboutTitle, u"About Nimbra"_s, u"Über Nimbra"_s},
    {50, TextId::High, u"High"_s, u"Hoch"_s},
    {51, TextId::Low, u"Low"_s, u"Niedrig"_s},
    {52, TextId::Language, u"Language"_s, u"Sprache"_s},
};

struct MenuEntry
{
    int commandId;
    QString english;
    QString german;
};

const MenuEntry MenuEntries[] = {
    {0, u"&Menu"_s, u"&Menü"_s},
    {32772, u"&Setup"_s, u"&Einstellungen"_s},
    {32773, u"Ala&rm"_s, u"&Alarm"_s},
    {32774, u"&Calibration"_s, u"&Kalibrierung"_s},
    {32775, u"S&DCard File"_s, u"SD Karte &Datei"_s},
    {32776, u"Sync &Time"_s, u"&Synchronisationszeit"_s},
    {32777, u"&Language"_s, u"S&prache"_s},
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
        SCOPED_TRACE(entry.position);
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
        EXPECT_EQ(texts.At(entry.position), entry.english) << entry.position;
}

TEST(UiText, UnknownIdsAndPositionsAreEmpty)
{
    const UiText texts = Loaded(Language::German);
    // Numbers the table does not hold, as a cast or a corrupt value could still produce.
    for (int id : {0, 200, 203, 251, 270, 292, 297, -201})
        EXPECT_TRUE(texts.Text(static_cast<TextId>(id)).isEmpty()) << id;
    for (int position : {-1, UiText::Count, 1000}) {
        EXPECT_TRUE(texts.At(position).isEmpty()) << position;
        EXPECT_EQ(UiText::IdAt(position), std::nullopt) << position;
    }
}

// Every id of the table, inside the 53 or not, reads in both languages through a loaded UiText:
// an id outside the 53 (the setup dialogs' value warning, say) must not show an empty box.
TEST(UiText, EveryTableIdHasATextInBothLanguages)
{
    const UiText english = Loaded(Language::English);
    const UiText german = Loaded(Language::German);
    for (TextId id : AllTextIds) {
        SCOPED_TRACE(static_cast<int>(id));
        EXPECT_FALSE(english.Text(id).isEmpty());
        EXPECT_FALSE(german.Text(id).isEmpty());
        EXPECT_EQ(english.Text(id), StringTable(Language::English, id));
        EXPECT_EQ(german.Text(id), StringTable(Language::German, id));
    }
    EXPECT_EQ(german.Text(TextId::AboutMenuItem), u"&Über Nimbra..."_s);
}

TEST(StringTable, HoldsTheSystemMenuEntryOutsideTheUiTexts)
{
    EXPECT_EQ(StringTable(Language::English, TextId::AboutMenuItem), u"&About Nimbra..."_s);
    EXPECT_EQ(StringTable(Language::German, TextId::AboutMenuItem), u"&Über Nimbra..."_s);
    EXPECT_EQ(StringTable(Language::German, TextId::HumiOutOfValue),
              u"Luftfeuchtig außerhalb des Wertes"_s);
    EXPECT_TRUE(StringTable(Language::English, static_cast<TextId>(203)).isEmpty());
    EXPECT_TRUE(StringTable(Language::German, static_cast<TextId>(32772)).isEmpty());
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
                                           u"201 Temperature\tTemperature\tTemperatur\r\n"
                                           u"202 Humidity\tHumidity\n"
                                           u"204 Menu\tMenu\t\n"
                                           u"abc\tNot an id\tKeine Id\n"
                                           u"205\n"
                                           u"206 GraphType\t\tNur Deutsch\n"
                                           u"207\tNo name\tKein Name\n"
                                           u"208 \tNo name\tKein Name\n"
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
