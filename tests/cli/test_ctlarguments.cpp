#include "ctlarguments.h"
#include "oledate.h"
#include "recordexport.h"

#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;
using Kind = CtlCommand::Kind;

namespace {

CtlCommand Parse(QStringList arguments)
{
    arguments.prepend(u"nimbractl"_s);
    return ParseCtlArguments(arguments, u"1.3"_s);
}

} // namespace

TEST(CtlArguments, CommandsAndTheirOptions)
{
    const CtlCommand import = Parse({u"--data-folder"_s, u"/d"_s, u"import"_s, u"log.csv"_s,
                                     u"--date-format"_s, u"DD-MM-YYYY"_s});
    EXPECT_EQ(import.kind, Kind::Import);
    EXPECT_EQ(import.dataFolder, u"/d"_s);
    EXPECT_EQ(import.file, u"log.csv"_s);
    EXPECT_EQ(import.order, DateOrder::DayMonthYear);

    const CtlCommand all = Parse({u"export"_s});
    EXPECT_EQ(all.kind, Kind::Export);
    EXPECT_FALSE(all.from || all.to);
    EXPECT_TRUE(all.file.isEmpty());

    const CtlCommand range = Parse({u"export"_s, u"--from=2017-03-04 9:00:00"_s, u"--to"_s,
                                    u"2017-03-05 0:00:00"_s, u"--output"_s, u"o.csv"_s});
    EXPECT_EQ(range.kind, Kind::Export);
    EXPECT_EQ(range.from, ToOleDate({2017, 3, 4, 9}));
    EXPECT_EQ(range.to, ToOleDate({2017, 3, 5}));
    EXPECT_EQ(range.file, u"o.csv"_s);
}

TEST(CtlArguments, HelpVersionAndBadUsage)
{
    struct Case
    {
        QStringList arguments;
        Kind kind;
        QString firstLine;
    };
    const Case cases[] = {
        {{u"--help"_s}, Kind::Print, u"Usage: nimbractl [--data-folder DIR] import FILE"_s},
        {{u"import"_s, u"--help"_s}, Kind::Print, u"Usage: nimbractl [--data-folder DIR] import"_s},
        {{u"export"_s, u"-h"_s, u"--bogus"_s},
         Kind::Print,
         u"Usage: nimbractl [--data-folder DIR] export"_s},
        {{u"--version"_s}, Kind::Print, u"nimbractl 1.3"_s},
        {{}, Kind::BadUsage, u"nimbractl: no command given"_s},
        {{u"purge"_s}, Kind::BadUsage, u"nimbractl: unknown command 'purge'"_s},
        {{u"import"_s}, Kind::BadUsage, u"nimbractl: import takes one FILE"_s},
        {{u"import"_s, u"a"_s, u"b"_s}, Kind::BadUsage, u"nimbractl: import takes one FILE"_s},
        {{u"import"_s, u"a"_s, u"--from"_s, u"2017-01-01 0:00:00"_s},
         Kind::BadUsage,
         u"nimbractl: import takes no --from"_s},
        {{u"import"_s, u"a"_s, u"--date-format"_s, u"dd.mm.yyyy"_s},
         Kind::BadUsage,
         u"nimbractl: unknown date format 'dd.mm.yyyy'"_s},
        {{u"export"_s, u"--to"_s, u"2017-02-30 0:00:00"_s},
         Kind::BadUsage,
         u"nimbractl: --to takes a time as \"YYYY-MM-DD h:mm:ss\", not '2017-02-30 0:00:00'"_s},
        {{u"export"_s, u"x.csv"_s},
         Kind::BadUsage,
         u"nimbractl: export takes no FILE; use --output"_s},
        {{u"export"_s, u"--data-folder"_s},
         Kind::BadUsage,
         u"nimbractl: missing value after '--data-folder'"_s},
        {{u"export"_s, u"-x"_s}, Kind::BadUsage, u"nimbractl: unknown option '-x'"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CtlCommand command = Parse(c.arguments);
        EXPECT_EQ(command.kind, c.kind);
        EXPECT_TRUE(command.text.startsWith(c.firstLine)) << command.text.toStdString();
        if (c.kind == Kind::BadUsage) {
            EXPECT_TRUE(command.text.contains(u"\nUsage: nimbractl"_s));
        }
    }
}

TEST(RecordExport, LinesCarryPaddedTimesShortestFloatsAndEmptyNoValues)
{
    const float none = float(NoValue);
    EXPECT_EQ(FormatExportLine({ToOleDate({2017, 3, 4, 9, 5, 7}), 21.3f, 55, -0.5f, 20.0f}),
              "2017-03-04 09:05:07,21.3,55,-0.5,20");
    // A stamp that did not parse is stored as 0 or -1: no time is made up for it.
    EXPECT_EQ(FormatExportLine({0.0, none, NoValue, none, none}), ",,,,");
    EXPECT_EQ(FormatExportLine({-1.0, 1.5f, 2, none, none}), ",1.5,2,,");
    EXPECT_EQ(FormatExportLine({0.5, none, NoValue, none, none}), "1899-12-30 12:00:00,,,,");
}

// --trace belongs to no command: it is taken off the line before the command reads it.
TEST(CtlArguments, TraceIsTakenOffTheLine)
{
    struct Case
    {
        QStringList arguments;
        std::optional<QString> trace;
        QStringList rest;
    };
    const Case cases[] = {
        {{u"live"_s}, u""_s, {u"live"_s}},
        {{u"--trace"_s, u"t.txt"_s, u"live"_s}, u"t.txt"_s, {u"live"_s}},
        {{u"fetch"_s, u"--trace=t.txt"_s, u"a.csv"_s}, u"t.txt"_s, {u"fetch"_s, u"a.csv"_s}},
        {{u"live"_s, u"--trace"_s}, std::nullopt, {u"live"_s, u"--trace"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QStringList arguments = c.arguments;
        arguments.prepend(u"nimbractl"_s);
        QString error;
        EXPECT_EQ(TakeTraceOption(arguments, error), c.trace);
        EXPECT_EQ(arguments.mid(1), c.rest);
        EXPECT_EQ(error.startsWith(u"nimbractl: missing value after '--trace'"_s), !c.trace);
    }
}
