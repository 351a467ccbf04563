#include "logdate.h"

#include "oledate.h"

#include <QLocale>
#include <optional>

namespace nimbra {

namespace {

// Longer runs of digits are no part of any date.
constexpr std::size_t MaxDigits = 9;

struct Number
{
    int value = 0;
    std::size_t digits = 0;
};

class Cursor
{
public:
    explicit Cursor(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_at == m_text.size(); }
    char peek(std::size_t ahead = 0) const
    {
        return m_at + ahead < m_text.size() ? m_text[m_at + ahead] : '\0';
    }
    void skipSpaces()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t'))
            ++m_at;
    }
    bool accept(char c)
    {
        if (peek() != c || atEnd())
            return false;
        ++m_at;
        return true;
    }
    bool acceptDateSeparator() { return accept('-') || accept('/'); }
    std::optional<Number> number()
    {
        Number n;
        while (IsDigit(peek()) && !atEnd()) {
            if (++n.digits > MaxDigits)
                return std::nullopt;
            n.value = n.value * 10 + (peek() - '0');
            ++m_at;
        }
        if (n.digits == 0)
            return std::nullopt;
        return n;
    }
    // A digit run followed by a date separator starts a date.
    bool dateAhead() const
    {
        std::size_t ahead = 0;
        while (IsDigit(peek(ahead)))
            ++ahead;
        return ahead > 0 && (peek(ahead) == '-' || peek(ahead) == '/');
    }
    // "AM" or "PM" in any case: 0 for AM, 12 for PM, nullopt for neither.
    std::optional<int> meridiem()
    {
        const char first = static_cast<char>(peek() | 0x20);
        if ((first != 'a' && first != 'p') || (peek(1) | 0x20) != 'm' || IsLetter(peek(2)))
            return std::nullopt;
        m_at += 2;
        return first == 'a' ? 0 : 12;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

    std::string_view m_text;
    std::size_t m_at = 0;
};

enum class Outcome
{
    Date,
    NotADate,
    OutOfRange
};

int FullYear(const Number& year)
{
    // Two-digit years as the automation parser reads them: up to 29 in this century.
    if (year.digits <= 2)
        return year.value < 30 ? 2000 + year.value : 1900 + year.value;
    return year.value;
}

Outcome ReadDate(Cursor& text, DateOrder order, DateTimeParts& parts)
{
    const auto a = text.number();
    if (!a || !text.acceptDateSeparator())
        return Outcome::NotADate;
    const auto b = text.number();
    if (!b || !text.acceptDateSeparator())
        return Outcome::NotADate;
    const auto c = text.number();
    if (!c)
        return Outcome::NotADate;

    int year = 0;
    int month = 0;
    int day = 0;
    if (a->digits == 4) {
        year = a->value;
        month = b->value;
        day = c->value;
    } else {
        year = FullYear(*c);
        if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
            order = SystemDateOrder();
        month = order == DateOrder::DayMonthYear ? b->value : a->value;
        day = order == DateOrder::DayMonthYear ? a->value : b->value;
    }
    // A "month" above 12 cannot be one: the other number is.
    if (month > 12 && day <= 12)
        std::swap(month, day);
    if (!IsValidDate(year, month, day))
        return Outcome::NotADate;
    if (year < 100 || year > 9999)
        return Outcome::OutOfRange;
    parts.year = year;
    parts.month = month;
    parts.day = day;
    return Outcome::Date;
}

bool ReadTime(Cursor& text, DateTimeParts& parts)
{
    const auto hour = text.number();
    if (!hour || !text.accept(':'))
        return false;
    const auto minute = text.number();
    if (!minute)
        return false;
    std::optional<Number> second = Number{};
    if (text.accept(':'))
        second = text.number();
    if (!second || hour->value > 23 || minute->value > 59 || second->value > 59)
        return false;
    parts.hour = hour->value;
    parts.minute = minute->value;
    parts.second = second->value;
    return true;
}

// 12 AM is midnight and 12 PM noon; an hour above 12 takes no AM or PM.
bool ApplyMeridiem(int offset, DateTimeParts& parts)
{
    if (parts.hour > 12)
        return false;
    parts.hour = parts.hour % 12 + offset;
    return true;
}

} // namespace

DateOrder DateOrderFromSettings(int dateFormatByte)
{
    switch (dateFormatByte) {
    case 0:
        return DateOrder::YearMonthDay;
    case 1:
        return DateOrder::MonthDayYear;
    case 2:
        return DateOrder::DayMonthYear;
    default:
        return DateOrder::Unknown;
    }
}

DateOrder DateOrderFromName(std::string_view name)
{
    if (name == "YYYY-MM-DD")
        return DateOrder::YearMonthDay;
    if (name == "MM-DD-YYYY")
        return DateOrder::MonthDayYear;
    if (name == "DD-MM-YYYY")
        return DateOrder::DayMonthYear;
    return DateOrder::Unknown;
}

std::string_view DateOrderName(DateOrder order)
{
    switch (order) {
    case DateOrder::YearMonthDay:
        return "YYYY-MM-DD";
    case DateOrder::MonthDayYear:
        return "MM-DD-YYYY";
    case DateOrder::DayMonthYear:
        return "DD-MM-YYYY";
    case DateOrder::Unknown:
        break;
    }
    return {};
}

DateOrder SystemDateOrder()
{
    const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    const auto day = format.indexOf(u'd');
    const auto month = format.indexOf(u'M');
    return day >= 0 && day < month ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
}

double ParseLogTime(std::string_view text, DateOrder order)
{
    Cursor cursor(text);
    DateTimeParts parts;
    bool hasDate = false;
    bool hasTime = false;
    cursor.skipSpaces();
    std::optional<int> meridiem = cursor.meridiem();
    cursor.skipSpaces();
    if (!meridiem && cursor.dateAhead()) {
        const Outcome date = ReadDate(cursor, order, parts);
        if (date != Outcome::Date)
            return date == Outcome::OutOfRange ? DateOutOfRange : NotADate;
        hasDate = true;
        cursor.skipSpaces();
        meridiem = cursor.meridiem();
        cursor.skipSpaces();
    }
    if (!cursor.atEnd()) {
        if (!ReadTime(cursor, parts))
            return NotADate;
        hasTime = true;
        cursor.skipSpaces();
        if (!meridiem) {
            meridiem = cursor.meridiem();
            cursor.skipSpaces();
        }
    }
    if (!cursor.atEnd() || (!hasDate && !hasTime) || (meridiem && !hasTime))
        return NotADate;
    if (meridiem && !ApplyMeridiem(*meridiem, parts))
        return NotADate;
    return ToOleDate(parts);
}

} // namespace nimbra
