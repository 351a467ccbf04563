#include "uitext.h"

#include "uitexttable.h"

namespace nimbra {

namespace {

// The positions follow the string ids, except that dew point (293) sits third and the alarm
// and language labels (294..296) come last.
constexpr int DewPointId = 293;
constexpr int FirstRunId = 204;  // positions 3..49
constexpr int SecondRunId = 294; // positions 50..52
constexpr int FirstRunStart = 3;
constexpr int SecondRunStart = 50;

int PositionOf(int id)
{
    for (int position = 0; position < UiText::Count; ++position) {
        if (UiText::IdAt(position) == id)
            return position;
    }
    return -1;
}

} // namespace

int UiText::IdAt(int position)
{
    if (position < 0 || position >= Count)
        return 0;
    if (position < 2)
        return 201 + position;
    if (position == 2)
        return DewPointId;
    if (position < SecondRunStart)
        return FirstRunId + position - FirstRunStart;
    return SecondRunId + position - SecondRunStart;
}

void UiText::LoadUiText(Language language)
{
    m_language = language;
    for (int position = 0; position < Count; ++position)
        m_entries[position] = StringTable(language, IdAt(position));
}

QString UiText::Text(int id) const
{
    return At(PositionOf(id));
}

QString UiText::At(int position) const
{
    if (position < 0 || position >= Count)
        return {};
    return m_entries[position];
}

QString StringTable(Language language, int id)
{
    const auto& strings = BuiltInTextTable().strings;
    const auto found = strings.constFind(id);
    return found == strings.cend() ? QString() : found->in(language);
}

QString MenuText(Language language, int commandId)
{
    const auto& menu = BuiltInTextTable().menu;
    const auto found = menu.constFind(commandId);
    return found == menu.cend() ? QString() : found->in(language);
}

} // namespace nimbra
