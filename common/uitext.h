#pragma once

#include "textid.h"

#include <QString>
#include <array>
#include <optional>

namespace nimbra {

// The two user-interface languages, by their Windows language identifiers.
enum class Language
{
    English = 0x0409,
    German = 0x0407
};

// The 53 language-dependent texts that the windows show, in one language. Loaded once by the
// main window and read on the user-interface thread only.
class UiText
{
public:
    static constexpr int Count = 53;

    // The string id shown at position 0..52; none for any other position.
    static std::optional<TextId> IdAt(int position);

    void LoadUiText(Language language);

    // Any string of the table in the loaded language, whether or not it has a position.
    QString Text(TextId id) const;
    // By position; empty outside 0..52.
    QString At(int position) const;
    Language language() const { return m_language; }

private:
    std::array<QString, Count> m_entries;
    Language m_language = Language::English;
};

// The string table itself, including ids outside the 53 (such as the about entry).
QString StringTable(Language language, TextId id);

// The main menu: commandId 0 gives the pop-up's title, 32772..32777 its items; empty if absent.
QString MenuText(Language language, int commandId);

} // namespace nimbra
