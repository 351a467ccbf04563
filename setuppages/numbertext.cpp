#include "numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace nimbra {

namespace {

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// from_chars takes no plus sign; a typed "+5" is still a number.
template <typename T> std::optional<T> parse(std::string_view text, auto... format)
{
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    T value{};
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, format...);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> ParseDecimal(std::string_view text)
{
    std::string dotted(text);
    std::replace(dotted.begin(), dotted.end(), ',', '.');
    const auto value = parse<double>(dotted, std::chars_format::fixed);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

std::optional<int> ParseWhole(std::string_view text)
{
    return parse<int>(text);
}

std::optional<int> ParseTenthsField(std::string_view text, bool humidity,
                                    double (*toTenths)(double number, bool fahrenheit),
                                    bool fahrenheit)
{
    if (text == NoValueText)
        return NoLimit;
    if (humidity)
        return ParseWhole(text);
    const std::optional<double> number = ParseDecimal(text);
    if (!number)
        return std::nullopt;
    const double tenths = std::trunc(toTenths(*number, fahrenheit));
    // Far outside any range; kept inside int so the range check can refuse it.
    if (std::abs(tenths) > 1e6)
        return tenths < 0 ? -1000000 : 1000000;
    return static_cast<int>(tenths);
}

} // namespace nimbra
