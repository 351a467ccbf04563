// The headless session against the emulator: who may open the station, and what a poll reads.
#include "emulatedbus.h"
#include "stationsession.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

constexpr const char* Path = "emulated:cellar";

class StationSessionTest : public ::testing::Test
{
protected:
    StationSessionTest() { m_station = m_bus.addStation(Path); }

    QTemporaryDir m_holdFolder;
    const StationHolds m_holds{m_holdFolder.path().toStdString(), "nimbractl live"};
    EmulatedBus m_bus;
    std::shared_ptr<EmulatedStation> m_station;
    const Timing m_timing = Timing().scaled(0.05);
};

TEST_F(StationSessionTest, HowAnOpeningEnds)
{
    struct Case
    {
        const char* name;
        bool heldElsewhere;
        bool plugged;
        bool denied;
        SessionOpening expected;
        const char* said; // a word the one line must hold
    };
    const Case cases[] = {
        {"plugged in", false, true, false, SessionOpening::Opened, ""},
        {"another program holds it", true, true, false, SessionOpening::Held,
         "held by nimbra (pid "},
        {"unplugged", false, false, false, SessionOpening::NoStation, "no station"},
        {"no permission", false, true, true, SessionOpening::AccessDenied, "udev"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StationHolds window(m_holdFolder.path().toStdString(), "nimbra");
        HoldAttempt windowHold;
        if (c.heldElsewhere) {
            windowHold = window.take(Path);
            ASSERT_TRUE(windowHold.hold);
        }
        if (!c.plugged)
            m_bus.unplug(Path);
        m_bus.denyAccess(Path, c.denied);
        const int opensBefore = m_bus.openCount(Path);
        {
            StationSession session(m_bus, m_timing, m_holds);
            EXPECT_EQ(session.open(), c.expected);
            EXPECT_TRUE(session.problem().contains(QLatin1String(c.said)))
                << session.problem().toStdString();
            const std::optional<StationHolder> holder = m_holds.holder(Path);
            EXPECT_EQ(holder.has_value(), c.heldElsewhere || c.expected == SessionOpening::Opened);
        }
        EXPECT_EQ(m_holds.holder(Path).has_value(), c.heldElsewhere) << "let go with the session";
        // Held: the station is not even opened, so the holder's link is never disturbed.
        if (c.heldElsewhere) {
            EXPECT_EQ(m_bus.openCount(Path), opensBefore);
        }
        m_bus.plug(Path);
        m_bus.denyAccess(Path, false);
    }
}

TEST_F(StationSessionTest, APollReadsTheChannelsTheStationShows)
{
    m_station->edit([](StationModel& model) {
        model.channels().fix(1, 215, 48);
        model.channels().fix(2, -73, 90);
        model.channels().setHumidityMissing(2);
        Payload settings = model.settingsPage();
        settings[7] = 1; // Fahrenheit
        model.setSettingsPage(settings);
    });
    StationSession session(m_bus, m_timing, m_holds);
    ASSERT_EQ(session.open(), SessionOpening::Opened);
    ASSERT_TRUE(session.poll());
    const LiveSnapshot values = session.readings();
    EXPECT_TRUE(session.Fahrenheit());
    EXPECT_FLOAT_EQ(values.m_Temperature[0], 21.5f);
    EXPECT_EQ(values.m_Humidity[0], 48);
    EXPECT_FLOAT_EQ(values.m_Temperature[1], -7.3f);
    EXPECT_EQ(values.m_Humidity[1], NoValue);
}

TEST_F(StationSessionTest, AStationThatStopsAnsweringFailsThePoll)
{
    StationSession session(m_bus, m_timing, m_holds);
    ASSERT_EQ(session.open(), SessionOpening::Opened);
    ASSERT_TRUE(session.readSetup().has_value());
    m_station->setMuted(true);
    EXPECT_FALSE(session.poll());
    EXPECT_FALSE(session.readSetup().has_value());
}

// With several stations attached, a program takes the first one nobody holds, or exactly the one
// it was given; two sessions on two stations go side by side.
TEST_F(StationSessionTest, SeveralStationsAreToldApartByTheirIds)
{
    m_bus.addStation("emulated:attic", 2, "SN-ATTIC");
    StationSession first(m_bus, m_timing, m_holds);
    ASSERT_EQ(first.open(), SessionOpening::Opened);
    EXPECT_EQ(first.search().stationId, Path) << "no serial number: the path is the id";
    EXPECT_EQ(first.search().stations, 2);
    StationSession second(m_bus, m_timing, m_holds);
    ASSERT_EQ(second.open(), SessionOpening::Opened) << second.problem().toStdString();
    EXPECT_EQ(second.search().stationId, "SN-ATTIC") << "the held one is passed over";
    EXPECT_TRUE(first.poll());
    EXPECT_TRUE(second.poll());

    StationSession third(m_bus, m_timing, m_holds);
    EXPECT_EQ(third.open(), SessionOpening::Held);
    StationSession chosen(m_bus, m_timing, m_holds, "SN-ATTIC");
    EXPECT_EQ(chosen.open(), SessionOpening::Held);
    EXPECT_TRUE(chosen.problem().contains(QStringLiteral("SN-ATTIC is held by nimbractl live")))
        << chosen.problem().toStdString();
    StationSession missing(m_bus, m_timing, m_holds, "SN-CELLAR");
    EXPECT_EQ(missing.open(), SessionOpening::NoStation);
    EXPECT_TRUE(missing.problem().contains(QStringLiteral("no station SN-CELLAR")));
}

} // namespace
