#include "uitexttable.h"

#include <QFile>
#include <optional>

namespace nimbra {

namespace {

constexpr QStringView MenuPrefix = u"menu:";
constexpr QStringView MenuTitle = u"popup";

struct RowKey
{
    bool menu = false;
    int id = 0;
};

std::optional<RowKey> ParseKey(QStringView field)
{
    RowKey key;
    if (field.startsWith(MenuPrefix)) {
        key.menu = true;
        field = field.mid(MenuPrefix.size());
        if (field == MenuTitle)
            return key;
    } else {
        // The name after the number is for the code (TextId); the program looks up numbers.
        const qsizetype space = field.indexOf(u' ');
        if (space < 0 || space + 1 == field.size())
            return std::nullopt;
        field = field.first(space);
    }
    bool ok = false;
    key.id = field.toInt(&ok);
    if (!ok || key.id <= 0)
        return std::nullopt;
    return key;
}

} // namespace

TextTable ParseTextTable(QStringView content)
{
    TextTable table;
    for (QStringView line : content.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const auto fields = line.split(u'\t');
        if (fields.size() < 2 || fields[1].isEmpty())
            continue;
        const auto key = ParseKey(fields[0]);
        if (!key)
            continue;
        TextPair texts{fields[1].toString(), fields[1].toString()};
        if (fields.size() > 2 && !fields[2].isEmpty())
            texts.german = fields[2].toString();
        (key->menu ? table.menu : table.strings).insert(key->id, texts);
    }
    return table;
}

const TextTable& BuiltInTextTable()
{
    static const TextTable table = [] {
        QFile file(QStringLiteral(":/nimbra/uitext.tsv"));
        if (!file.open(QIODevice::ReadOnly))
            return TextTable{};
        return ParseTextTable(QString::fromUtf8(file.readAll()));
    }();
    return table;
}

} // namespace nimbra
