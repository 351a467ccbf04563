#include "recordtext.h"

#include "oledate.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace nimbra {

namespace {

// Appends value with at least `width` digits (zeros in front).
char* PutNumber(char* out, long long value, int width = 1)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto length = end - digits; length < width; ++length)
        *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(end - digits));
    return out + (end - digits);
}

QString TimeText(double time, const StampForm& form)
{
    if (time == NotADate || time == DateOutOfRange)
        return {};
    const DateTimeParts parts = FromOleDate(time);
    char text[64];
    char* out = text;
    auto datePart = [&](int first, int firstWidth, int second, int third, int thirdWidth) {
        out = PutNumber(out, first, firstWidth);
        *out++ = '-';
        out = PutNumber(out, second, 2);
        *out++ = '-';
        out = PutNumber(out, third, thirdWidth);
    };
    if (form.order == DateOrder::MonthDayYear)
        datePart(parts.month, 2, parts.day, parts.year, 4);
    else if (form.order == DateOrder::DayMonthYear)
        datePart(parts.day, 2, parts.month, parts.year, 4);
    else
        datePart(parts.year, 4, parts.month, parts.day, 2);
    *out++ = ' ';
    const bool twelve = form.clock != StampForm::Clock::TwentyFourHour;
    const char* marker = parts.hour < 12 ? "AM " : "PM ";
    if (form.clock == StampForm::Clock::MarkerFirst)
        out = std::copy_n(marker, 3, out);
    // The twelve-hour clock runs 12, 1, ..., 11.
    out = PutNumber(out, twelve && parts.hour % 12 == 0 ? 12
                         : twelve                       ? parts.hour % 12
                                                        : parts.hour);
    *out++ = ':';
    out = PutNumber(out, parts.minute, 2);
    *out++ = ':';
    out = PutNumber(out, parts.second, 2);
    if (form.clock == StampForm::Clock::MarkerLast) {
        *out++ = ' ';
        out = std::copy_n(marker, 2, out);
    }
    return QString::fromLatin1(text, out - text);
}

// The shortest text that reads back as the stored float, with at least one decimal as the
// station writes its "%.1f" readings.
QString FloatText(float value)
{
    if (value == float(NoValue))
        return QStringLiteral("--");
    char text[32];
    char* end = std::to_chars(text, text + sizeof text - 2, value).ptr;
    const std::string_view written(text, static_cast<std::size_t>(end - text));
    if (written.find_first_of(".einf") == std::string_view::npos) {
        *end++ = '.';
        *end++ = '0';
    }
    return QString::fromLatin1(text, end - text);
}

QString IntegerText(int value)
{
    if (value == NoValue)
        return QStringLiteral("--");
    char text[16];
    return QString::fromLatin1(text, PutNumber(text, value) - text);
}

} // namespace

StampForm StampFormOf(std::string_view stamp, DateOrder order)
{
    StampForm form;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const bool yearFirst = stamp.size() > 4 &&
                           std::all_of(stamp.begin(), stamp.begin() + 4, digit) &&
                           (stamp[4] == '-' || stamp[4] == '/');
    form.order = yearFirst ? DateOrder::YearMonthDay : order;
    auto marker = stamp.find("AM");
    if (marker == std::string_view::npos)
        marker = stamp.find("PM");
    if (marker != std::string_view::npos)
        form.clock =
            marker < stamp.find(':') ? StampForm::Clock::MarkerFirst : StampForm::Clock::MarkerLast;
    return form;
}

QString RecordCellText(const RecordRow& row, int column, const StampForm& form, bool indoor)
{
    switch (column) {
    case 0:
        return TimeText(row.Time, form);
    case 1:
        return FloatText(row.Temperature);
    case 2:
        return IntegerText(row.Humidity);
    case 3:
        return indoor ? QString() : FloatText(row.Dewpoint);
    case 4:
        return indoor ? QString() : FloatText(row.Heatindex);
    default:
        return {};
    }
}

} // namespace nimbra
