#include "alarmcodec.h"

#include "numbertext.h"
#include "writtenpage.h"

namespace nimbra {

namespace {

constexpr int HumiLow = 1;
constexpr int HumiHigh = 99;

// Page byte of limit i (0..15): the temperatures take two bytes each.
int pageTenths(const AlarmPages& pages, int i)
{
    return TenthsOrNone(BigEndian16(&pages[TempLimitsPage][1 + 2 * i]));
}

std::string tempText(int tenths, bool fahrenheit)
{
    if (tenths == NoLimit)
        return std::string(NoValueText);
    const double celsius = tenths / 10.0;
    return OneDecimal(fahrenheit ? celsius * 1.8 + 32 : celsius);
}

std::string humiText(std::uint8_t percent)
{
    return percent == 0xFF ? std::string(NoValueText) : std::to_string(percent);
}

} // namespace

AlarmForm AlarmFormFromPages(const AlarmPages& pages, bool fahrenheit)
{
    AlarmForm form;
    const Page& switches = pages[SwitchesPage];
    form.humiSwitch = switches[1];
    form.tempSwitch = switches[2];
    for (std::size_t e = 0; e < form.enables.size(); ++e)
        form.enables[e] = switches[3 + e];
    for (int i = 0; i < LimitCount; ++i) {
        form.temps[i] = tempText(pageTenths(pages, i), fahrenheit);
        form.humis[i] = humiText(pages[HumiLimitsPage][1 + i]);
    }
    return form;
}

AlarmPages UnconnectedAlarmPages()
{
    AlarmPages pages{};
    pages[TempLimitsPage].fill(0xFF);
    pages[HumiLimitsPage].fill(0xFF);
    return pages;
}

std::optional<int> ParseLimit(std::string_view text, bool humidity, bool fahrenheit)
{
    const auto toTenths = [](double number, bool inFahrenheit) {
        return (inFahrenheit ? (number - 32) / 1.8 : number) * 10;
    };
    return ParseTenthsField(text, humidity, toTenths, fahrenheit);
}

AlarmWrite AlarmFrames(const AlarmForm& entered, const AlarmPages& shown, bool fahrenheit)
{
    const AlarmForm asShown = AlarmFormFromPages(shown, fahrenheit);
    std::array<int, LimitCount> temps{};
    for (int i = 0; i < LimitCount; ++i) {
        const std::optional<int> t = entered.temps[i] == asShown.temps[i]
                                         ? std::optional(pageTenths(shown, i))
                                         : ParseLimit(entered.temps[i], false, fahrenheit);
        const bool none = entered.temps[i] == NoValueText;
        if (!t || (!none && (*t < MinTempTenths || *t > MaxTempTenths)))
            return {AlarmCheck::TempError, i / 2 + 1, {}};
        // -0.1 °C would leave as FF FF: the limit the user set would be dropped unseen.
        if (!none && !StationHoldsTenths(*t))
            return {AlarmCheck::TempNoValue, i / 2 + 1, {}};
        temps[i] = *t;
    }
    std::array<std::uint8_t, LimitCount> humis{};
    for (int i = 0; i < LimitCount; ++i) {
        const std::optional<int> h = ParseWhole(entered.humis[i]);
        if (!h || *h < HumiLow || *h > HumiHigh)
            return {AlarmCheck::HumiError, i / 2 + 1, {}};
        humis[i] = static_cast<std::uint8_t>(*h);
    }

    const std::uint8_t switches[] = {static_cast<std::uint8_t>(entered.humiSwitch),
                                     static_cast<std::uint8_t>(entered.tempSwitch),
                                     entered.enables[0],
                                     entered.enables[1],
                                     entered.enables[2],
                                     entered.enables[3]};
    std::array<std::uint8_t, 2 * LimitCount> tempBytes{};
    for (int i = 0; i < LimitCount; ++i)
        PutBigEndian16(&tempBytes[2 * i], TenthsOnWire(temps[i]));

    AlarmWrite write;
    write.frames.emplace_back(Command::WriteAlarmSwitches, switches);
    write.frames.emplace_back(Command::WriteTempLimits, tempBytes);
    write.frames.emplace_back(Command::WriteHumiLimits, humis);
    write.pages = shown;
    write.pages[SwitchesPage] = WrittenPage(shown[SwitchesPage], switches);
    write.pages[TempLimitsPage] = WrittenPage(shown[TempLimitsPage], tempBytes);
    write.pages[HumiLimitsPage] = WrittenPage(shown[HumiLimitsPage], humis);
    return write;
}

} // namespace nimbra
