// A million random and mutated log lines through the line split, the number readers, the time
// stamp parser and the record texts: nothing may crash, read outside the line, or give a value
// outside what each reader promises. Seeded, so a failure repeats.
#include "logdate.h"
#include "logline.h"
#include "oledate.h"
#include "recordtext.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace nimbra;

namespace {

constexpr int Lines = 1000000;
constexpr char Alphabet[] = "0123456789-/: ,.AaPpMm+eE\t\r\xB0\xFF";

class LineSource
{
public:
    // A stamp as the station writes it, in one of its nine format pairs, with its expected date.
    std::string stationLine(double& expected, DateOrder& order)
    {
        const int year = pick(1990, 2099), month = pick(1, 12), day = pick(1, 28);
        const int hour = pick(0, 23), minute = pick(0, 59), second = pick(0, 59);
        expected = ToOleDate({year, month, day, hour, minute, second});
        const int dateFormat = pick(0, 2);
        order = DateOrderFromSettings(dateFormat);
        char date[32];
        if (dateFormat == 0)
            std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
        else if (dateFormat == 1)
            std::snprintf(date, sizeof date, "%02d-%02d-%04d", month, day, year);
        else
            std::snprintf(date, sizeof date, "%02d-%02d-%04d", day, month, year);
        const int twelve = hour % 12 == 0 ? 12 : hour % 12;
        const char* meridiem = hour < 12 ? "AM" : "PM";
        char time[32];
        switch (pick(0, 2)) {
        case 0:
            std::snprintf(time, sizeof time, "%d:%02d:%02d", hour, minute, second);
            break;
        case 1:
            std::snprintf(time, sizeof time, "%s %d:%02d:%02d", meridiem, twelve, minute, second);
            break;
        default:
            std::snprintf(time, sizeof time, "%d:%02d:%02d %s", twelve, minute, second, meridiem);
        }
        char values[64];
        std::snprintf(values, sizeof values, ",%d.%d,%d,%d.%d,%d.%d", pick(-40, 60), pick(0, 9),
                      pick(0, 100), pick(-40, 60), pick(0, 9), pick(-40, 60), pick(0, 9));
        return std::string(date) + ' ' + time + values;
    }

    std::string randomLine()
    {
        std::string line(static_cast<std::size_t>(pick(0, 90)), ' ');
        for (char& c : line)
            c = Alphabet[pick(0, sizeof Alphabet - 2)];
        return line;
    }

    void mutate(std::string& line)
    {
        for (int n = pick(1, 4); n > 0; --n) {
            const std::size_t at =
                line.empty() ? 0
                             : static_cast<std::size_t>(pick(0, static_cast<int>(line.size()) - 1));
            const char c = Alphabet[pick(0, sizeof Alphabet - 2)];
            switch (pick(0, 4)) {
            case 0:
                if (!line.empty())
                    line[at] = c;
                break;
            case 1:
                line.insert(at, 1, c);
                break;
            case 2:
                if (!line.empty())
                    line.erase(at, 1);
                break;
            case 3:
                line.resize(at);
                break;
            default:
                line.insert(at, line.substr(at, static_cast<std::size_t>(pick(0, 12))));
            }
        }
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

private:
    std::mt19937 m_random{20171231};
};

bool Within(std::string_view part, std::string_view whole)
{
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

const double Earliest = ToOleDate({100, 1, 1});
const double Latest = ToOleDate({9999, 12, 31, 23, 59, 59});

void CheckLine(const std::string& line, DateOrder order)
{
    for (const bool indoor : {false, true}) {
        const LogFields fields = SplitLogLine(line, indoor);
        for (std::string_view field : fields.field) {
            ASSERT_TRUE(Within(field, line)) << line;
            const float value = ReadLogFloat(field);
            ASSERT_FALSE(std::isnan(value)) << line;
            if (HasNoValue(field)) {
                ASSERT_EQ(value, 65535.0f);
                ASSERT_EQ(ReadLogInteger(field), 65535);
            } else {
                ReadLogInteger(field);
            }
        }
    }
    const double time = ParseLogTime(line.substr(0, line.find(',')), order);
    ASSERT_TRUE(time == NotADate || time == DateOutOfRange || (time >= Earliest && time <= Latest))
        << line << " gave " << time;
    // Whatever a line holds, its row has a text in every column of the list.
    const LogFields fields = SplitLogLine(line, false);
    const RecordRow row{time, ReadLogFloat(fields.field[1]), ReadLogInteger(fields.field[2]),
                        ReadLogFloat(fields.field[3]), ReadLogFloat(fields.field[4])};
    for (int column = 1; column < RecordColumns; ++column)
        ASSERT_FALSE(RecordCellText(row, column, {order}, false).isEmpty()) << line;
}

} // namespace

TEST(Fuzz, RandomAndMutatedLogLines)
{
    LineSource source;
    const DateOrder orders[] = {DateOrder::YearMonthDay, DateOrder::MonthDayYear,
                                DateOrder::DayMonthYear, DateOrder::Unknown};
    for (int i = 0; i < Lines; ++i) {
        double expected = 0.0;
        DateOrder order = orders[source.pick(0, 2)];
        std::string line;
        switch (source.pick(0, 3)) {
        case 0:
            // Unmutated station lines read back to their date.
            line = source.stationLine(expected, order);
            ASSERT_EQ(ParseLogTime(line.substr(0, line.find(',')), order), expected) << line;
            break;
        case 1:
            line = source.randomLine();
            break;
        default:
            line = source.stationLine(expected, order);
            source.mutate(line);
            if (source.pick(0, 15) == 0)
                order = orders[3];
        }
        CheckLine(line, order);
        if (HasFailure())
            return;
    }
}
