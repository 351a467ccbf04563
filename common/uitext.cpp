#include "uitext.h"

#include "uitexttable.h"

namespace nimbra {

namespace {

// The positions follow the string ids, except that dew point sits third and the alarm and
// language labels (High, Low, Language) come last.
constexpr TextId FirstRunId = TextId::Menu;  // positions 3..49
constexpr TextId SecondRunId = TextId::High; // positions 50..52
constexpr int FirstRunStart = 3;
constexpr int SecondRunStart = 50;

TextId After(TextId first, int steps)
{
    return static_cast<TextId>(static_cast<int>(first) + steps);
}

int PositionOf(TextId id)
{
    for (int position = 0; position < UiText::Count; ++position) {
        if (UiText::IdAt(position) == id)
            return position;
    }
    return -1;
}

} // namespace

std::optional<TextId> UiText::IdAt(int position)
{
    if (position < 0 || position >= Count)
        return std::nullopt;
    if (position < 2)
        return After(TextId::Temperature, position);
    if (position == 2)
        return TextId::DewPoint;
    if (position < SecondRunStart)
        return After(FirstRunId, position - FirstRunStart);
    return After(SecondRunId, position - SecondRunStart);
}

void UiText::LoadUiText(Language language)
{
    m_language = language;
    for (int position = 0; position < Count; ++position)
        m_entries[position] = StringTable(language, *IdAt(position));
}

QString UiText::Text(TextId id) const
{
    const int position = PositionOf(id);
    return position < 0 ? StringTable(m_language, id) : At(position);
}

QString UiText::At(int position) const
{
    if (position < 0 || position >= Count)
        return {};
    return m_entries[position];
}

QString StringTable(Language language, TextId id)
{
    const auto& strings = BuiltInTextTable().strings;
    const auto found = strings.constFind(static_cast<int>(id));
    return found == strings.cend() ? QString() : found->in(language);
}

QString MenuText(Language language, int commandId)
{
    const auto& menu = BuiltInTextTable().menu;
    const auto found = menu.constFind(commandId);
    return found == menu.cend() ? QString() : found->in(language);
}

} // namespace nimbra
