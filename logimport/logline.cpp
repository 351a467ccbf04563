#include "logline.h"

#include "novalue.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

namespace nimbra {

namespace {

constexpr std::ptrdiff_t NotFound = -1;

std::ptrdiff_t FindComma(std::string_view line, std::ptrdiff_t from)
{
    const auto found = line.find(',', static_cast<std::size_t>(from));
    return found == std::string_view::npos ? NotFound : static_cast<std::ptrdiff_t>(found);
}

// A computed length below 1 gives an empty field.
std::string_view Slice(std::string_view line, std::ptrdiff_t begin, std::ptrdiff_t end)
{
    if (end - begin < 1)
        return {};
    return line.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading blanks and an optional sign; the rest of text starts at the digits.
bool SkipToNumber(std::string_view& text)
{
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    text.remove_prefix(at);
    return negative;
}

std::size_t CountDigits(std::string_view text, std::size_t at)
{
    std::size_t count = 0;
    while (at + count < text.size() && IsDigit(text[at + count]))
        ++count;
    return count;
}

// The length of the decimal number at the front of text (digits, a point, digits, an
// exponent that has digits), 0 when there is none.
std::size_t NumberLength(std::string_view text)
{
    std::size_t length = CountDigits(text, 0);
    std::size_t digits = length;
    if (length < text.size() && text[length] == '.') {
        const std::size_t fraction = CountDigits(text, length + 1);
        digits += fraction;
        length += 1 + fraction;
    }
    if (digits == 0)
        return 0;
    if (length < text.size() && (text[length] == 'e' || text[length] == 'E')) {
        std::size_t at = length + 1;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponent = CountDigits(text, at);
        if (exponent > 0)
            length = at + exponent;
    }
    return length;
}

// The power of ten of a decimal number's first significant digit, plus one: 3 for 123.4, 0 for
// 0.5, -2 for 0.001e0, 400 for 0.1e401; saturated far beyond any double. nullopt when every
// digit is 0. Only asked of numbers that overflow or underflow a double, so its sign alone says
// which: positive is above the range, anything else below it.
std::optional<long long> DecimalMagnitude(std::string_view number)
{
    constexpr long long Saturated = 1'000'000'000;
    const std::size_t mantissaEnd = std::min(number.find_first_of("eE"), number.size());
    const std::string_view mantissa = number.substr(0, mantissaEnd);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return std::nullopt;
    long long magnitude = first < point ? static_cast<long long>(point - first)
                                        : -static_cast<long long>(first - point - 1);
    if (mantissaEnd < number.size()) {
        std::string_view exponent = number.substr(mantissaEnd + 1);
        const bool negative = exponent.front() == '-';
        if (exponent.front() == '+' || negative)
            exponent.remove_prefix(1);
        long long value = 0;
        for (const char digit : exponent)
            value = std::min(Saturated, value * 10 + (digit - '0'));
        magnitude += negative ? -value : value;
    }
    return magnitude;
}

} // namespace

LogFields SplitLogLine(std::string_view line, bool indoor)
{
    const int count = indoor ? 3 : 5;
    std::ptrdiff_t position[6] = {0};
    for (int i = 1; i < count; ++i)
        position[i] = FindComma(line, position[i - 1] + 1);
    position[count] = static_cast<std::ptrdiff_t>(line.size());

    LogFields fields;
    fields.field[0] = Slice(line, 0, position[1]);
    for (int i = 1; i < count; ++i)
        fields.field[i] = Slice(line, position[i] + 1, position[i + 1]);
    return fields;
}

bool HasNoValue(std::string_view field)
{
    return field.find("--") != std::string_view::npos;
}

float ReadLogFloat(std::string_view field)
{
    if (HasNoValue(field))
        return float(NoValue);
    const bool negative = SkipToNumber(field);
    const std::size_t length = NumberLength(field);
    if (length == 0)
        return 0.0f;
    double value = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + length, value);
    if (error == std::errc::result_out_of_range)
        value = DecimalMagnitude(field.substr(0, length)).value_or(0) > 0 ? HUGE_VAL : 0.0;
    if (negative)
        value = -value;
    if (std::fabs(value) > FLT_MAX)
        return value < 0 ? -HUGE_VALF : HUGE_VALF;
    return static_cast<float>(value);
}

int ReadLogInteger(std::string_view field)
{
    if (HasNoValue(field))
        return NoValue;
    const bool negative = SkipToNumber(field);
    long long value = 0;
    for (std::size_t i = 0; i < field.size() && IsDigit(field[i]); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool IsWholeNumber(std::string_view field, bool integer)
{
    SkipToNumber(field);
    while (!field.empty() && IsBlank(field.back()))
        field.remove_suffix(1);
    const std::size_t length = NumberLength(field);
    const bool plain = CountDigits(field, 0) == field.size();
    // A point with no digit after it is a number cut short, not a whole one.
    return length > 0 && length == field.size() && field.back() != '.' && (!integer || plain);
}

QString UnitLabelFromHeader(std::string_view headerLine)
{
    std::string_view second;
    const auto first = headerLine.find(',');
    if (first != std::string_view::npos) {
        const auto next = headerLine.find(',', first + 1);
        if (next != std::string_view::npos)
            second = headerLine.substr(first + 1, next - first - 1);
    }
    const auto bracket = second.find('(');
    if (bracket != std::string_view::npos)
        second.remove_prefix(bracket);
    QString label = QString::fromLatin1(second.data(), static_cast<qsizetype>(second.size()));
    label.replace(u'C', QStringLiteral("\u00B0C"));
    label.replace(u'F', QStringLiteral("\u00B0F"));
    return label;
}

bool IsFahrenheitLabel(const QString& unitLabel)
{
    return unitLabel.contains(u'F');
}

bool IsIndoorFileName(std::string_view stationFileName)
{
    return stationFileName.find("IN") != std::string_view::npos;
}

} // namespace nimbra
