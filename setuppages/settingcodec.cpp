#include "settingcodec.h"

#include "numbertext.h"
#include "writtenpage.h"

namespace nimbra {

namespace {

constexpr std::uint8_t GraphHours[] = {12, 24, 48, 72};
constexpr int ZoneOffset = 12;
constexpr std::size_t MasksAt = 8; // page byte of the first area mask

} // namespace

SettingSelection SelectionFromPage(const Page& page)
{
    SettingSelection s;
    s.graphType = page[1];
    s.graphTime = 3;
    for (int i = 0; i < 3; ++i) {
        if (page[2] == GraphHours[i])
            s.graphTime = i;
    }
    s.timeFormat = page[3];
    s.dateFormat = page[4];
    s.daylightSaving = page[5];
    s.timeZone = static_cast<std::int8_t>(page[6]) + ZoneOffset;
    s.unit = page[7];
    for (std::size_t a = 0; a < AreaCount; ++a) {
        const std::uint8_t* bytes = &page[MasksAt + 4 * a];
        s.masks[a] = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                     std::uint32_t{bytes[2]} << 8 | bytes[3];
    }
    return s;
}

namespace {

std::array<std::uint8_t, 27> settingsParameters(const SettingSelection& s)
{
    std::array<std::uint8_t, 27> params{};
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value); };
    params[0] = byte(s.graphType);
    params[1] = s.graphTime >= 0 && s.graphTime <= 3 ? GraphHours[s.graphTime] : 0;
    params[2] = byte(s.timeFormat);
    params[3] = byte(s.dateFormat);
    params[4] = byte(s.daylightSaving);
    params[5] = byte(s.timeZone - ZoneOffset);
    params[6] = byte(s.unit);
    for (std::size_t a = 0; a < AreaCount; ++a) {
        for (std::size_t b = 0; b < 4; ++b)
            params[7 + 4 * a + b] = byte(static_cast<int>(s.masks[a] >> (24 - 8 * b)));
    }
    return params;
}

} // namespace

CommandFrame SettingsFrame(const SettingSelection& s)
{
    return CommandFrame(Command::WriteSettings, settingsParameters(s));
}

Page WrittenSettingsPage(const Page& held, const SettingSelection& s)
{
    return WrittenPage(held, settingsParameters(s));
}

std::optional<int> ParseInterval(std::string_view text)
{
    const std::optional<int> minutes = ParseWhole(text);
    if (!minutes || *minutes < MinInterval || *minutes > MaxInterval)
        return std::nullopt;
    return minutes;
}

} // namespace nimbra
