#include "calibcodec.h"

#include "numbertext.h"
#include "writtenpage.h"

#include <cmath>

namespace nimbra {

namespace {

constexpr int HumiLow = 0;
constexpr int HumiHigh = 99;

std::size_t tempAt(int channel)
{
    return static_cast<std::size_t>(3 * channel - 2);
}
std::size_t humiAt(int channel)
{
    return static_cast<std::size_t>(3 * channel);
}

int pageTenths(const Page& page, int channel)
{
    return TenthsOrNone(BigEndian16(&page[tempAt(channel)]));
}

double unitToTenths(double number, bool fahrenheit)
{
    return (fahrenheit ? number / 1.8 : number) * 10;
}

// The old offset in the check, not truncated. "--" is no offset at all: it corrects nothing.
double oldTenths(std::string_view text, bool fahrenheit)
{
    return unitToTenths(ParseDecimal(text).value_or(0), fahrenheit);
}

CalibWrite stop(CalibWrite::Check check, int channel)
{
    return {check, channel, std::nullopt};
}

} // namespace

CalibForm CalibFormFromPage(const Page& page, bool fahrenheit)
{
    CalibForm form;
    for (int c = 1; c <= ChannelCount; ++c) {
        const int tenths = pageTenths(page, c);
        form.temps[c - 1] = tenths == NoLimit
                                ? std::string(NoValueText)
                                : OneDecimal(tenths / 10.0 * (fahrenheit ? 1.8 : 1.0));
        form.humis[c - 1] = std::to_string(static_cast<std::int8_t>(page[humiAt(c)]));
    }
    return form;
}

std::optional<int> ParseOffset(std::string_view text, bool humidity, bool fahrenheit)
{
    return ParseTenthsField(text, humidity, unitToTenths, fahrenheit);
}

CalibWrite CalibFrame(const CalibForm& entered, const Page& shown, const CalibReadings& readings,
                      bool fahrenheit)
{
    using Check = CalibWrite::Check;
    const CalibForm asShown = CalibFormFromPage(shown, fahrenheit);
    std::array<int, ChannelCount> temps{};
    for (int c = 1; c <= ChannelCount; ++c) {
        const std::string& text = entered.temps[c - 1];
        const bool typed = text != asShown.temps[c - 1];
        const std::optional<int> offset =
            typed ? ParseOffset(text, false, fahrenheit) : std::optional(pageTenths(shown, c));
        // -0.1 °C would leave as FF FF and the station would drop the offset.
        if (typed && text != NoValueText && offset && !StationHoldsTenths(*offset))
            return stop(Check::TempNoValue, c);
        if (!readings.hasTemperature(c)) {
            temps[c - 1] = offset.value_or(pageTenths(shown, c));
            continue;
        }
        // The reading came from whole tenths; rounding gets them back where truncating a
        // single-precision value could lose one.
        const auto reading = std::lround(double{readings.m_ReadingTemp[c - 1]} * 10);
        const int added = offset == NoLimit ? 0 : offset.value_or(0);
        const double corrected =
            static_cast<double>(reading) - oldTenths(asShown.temps[c - 1], fahrenheit) + added;
        if (!offset || corrected < MinTempTenths || corrected > MaxTempTenths)
            return stop(Check::TempOutOfRange, c);
        temps[c - 1] = *offset;
    }

    std::array<int, ChannelCount> humis{};
    for (int c = 1; c <= ChannelCount; ++c) {
        const std::optional<int> offset = ParseOffset(entered.humis[c - 1], true, fahrenheit);
        if (!readings.hasHumidity(c)) {
            humis[c - 1] = offset.value_or(static_cast<std::int8_t>(shown[humiAt(c)]));
            continue;
        }
        // The offset travels as one signed byte; a larger one would arrive as another number.
        // Checked before the sum, which could overflow with a typed offset near INT_MAX.
        if (!offset || *offset < -128 || *offset > 127)
            return stop(Check::HumiOutOfRange, c);
        const int old = ParseWhole(asShown.humis[c - 1]).value_or(0);
        const int corrected = readings.m_ReadingHumi[c - 1] + *offset - old;
        if (corrected < HumiLow || corrected > HumiHigh)
            return stop(Check::HumiOutOfRange, c);
        humis[c - 1] = *offset;
    }

    std::array<std::uint8_t, 3 * ChannelCount> params{};
    for (int c = 1; c <= ChannelCount; ++c) {
        PutBigEndian16(&params[tempAt(c) - 1], TenthsOnWire(temps[c - 1]));
        params[humiAt(c) - 1] =
            humis[c - 1] == NoLimit ? 0xFF : static_cast<std::uint8_t>(humis[c - 1]);
    }
    return {Check::Ok, 0, CommandFrame(Command::WriteCalibration, params),
            WrittenPage(shown, params)};
}

} // namespace nimbra
