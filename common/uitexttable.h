#pragma once

#include "uitext.h"

#include <QHash>
#include <QString>
#include <QStringView>

namespace nimbra {

struct TextPair
{
    QString english;
    QString german;

    const QString& in(Language language) const
    {
        return language == Language::German ? german : english;
    }
};

// The table file of the texts: string ids and menu entries, each in both languages.
struct TextTable
{
    QHash<int, TextPair> strings;
    QHash<int, TextPair> menu; // key 0 is the pop-up's title
};

// Skips blank lines, '#' comments and lines without a key ("<number> <Name>" or "menu:...") and
// an English text; a missing German text falls back to the English one, as the platform's
// resource lookup would.
TextTable ParseTextTable(QStringView content);

// The table compiled into the program, parsed on first use.
const TextTable& BuiltInTextTable();

} // namespace nimbra
