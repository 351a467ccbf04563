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

    QTemporaryDir m_lockFolder;
    SingleInstanceLock m_lock{m_lockFolder.path(), QStringLiteral("kv7100")};
    EmulatedBus m_bus;
    std::shared_ptr<EmulatedStation> m_station;
    const Timing m_timing = Timing().scaled(0.05);
};

TEST_F(StationSessionTest, HowAnOpeningEnds)
{
    struct Case
    {
        const char* name;
        bool windowRuns;
        bool plugged;
        bool denied;
        SessionOpening expected;
        const char* said; // a word the one line must hold
    };
    const Case cases[] = {
        {"plugged in", false, true, false, SessionOpening::Opened, ""},
        {"window holds it", true, true, false, SessionOpening::Held, "window"},
        {"unplugged", false, false, false, SessionOpening::NoStation, "no station"},
        {"no permission", false, true, true, SessionOpening::AccessDenied, "udev"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstanceLock window(m_lockFolder.path(), QStringLiteral("kv7100"));
        if (c.windowRuns) {
            ASSERT_TRUE(window.acquire());
        }
        if (!c.plugged)
            m_bus.unplug(Path);
        m_bus.denyAccess(Path, c.denied);
        const int opensBefore = m_bus.openCount(Path);
        {
            SingleInstanceLock mine(m_lockFolder.path(), QStringLiteral("kv7100"));
            StationSession session(m_bus, m_timing, mine);
            EXPECT_EQ(session.open(), c.expected);
            EXPECT_TRUE(session.problem().contains(QLatin1String(c.said)))
                << session.problem().toStdString();
            EXPECT_EQ(mine.held(), !c.windowRuns);
        }
        // Held: the station is not even opened, so the window's link is never disturbed.
        if (c.windowRuns) {
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
    StationSession session(m_bus, m_timing, m_lock);
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
    StationSession session(m_bus, m_timing, m_lock);
    ASSERT_EQ(session.open(), SessionOpening::Opened);
    ASSERT_TRUE(session.readSetup().has_value());
    m_station->setMuted(true);
    EXPECT_FALSE(session.poll());
    EXPECT_FALSE(session.readSetup().has_value());
}

} // namespace
