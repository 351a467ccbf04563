#include "clocksync.h"
#include "emulatedbus.h"
#include "hidlink.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

struct ClockCase
{
    QDateTime local;
    std::array<std::uint8_t, 8> fields; // year high, low, month, day, hour, minute, second, weekday
};

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QDateTime FromFields(const DateTimeParts& f)
{
    return At(f.year, int(f.month), int(f.day), int(f.hour), int(f.minute), int(f.second));
}

// A station on the emulated bus with the link open on it.
struct LinkRig
{
    LinkRig() { link.Connect(); }

    Timing timing = Timing{}.scaled(0.02);
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station = bus.addStation("emulated:clock");
    ReplyRouter router;
    HidLink link{bus, router, timing};
};

} // namespace

// Sunday is 0 and Saturday 6, the year goes high byte first; milliseconds are dropped.
TEST(SetClockFrame, CarriesTheLocalTimeFieldByField)
{
    const ClockCase cases[] = {
        {At(2017, 12, 31, 23, 59, 58, 999), {0x07, 0xE1, 0x0C, 0x1F, 0x17, 0x3B, 0x3A, 0x00}},
        {At(2018, 1, 1, 0, 0, 0), {0x07, 0xE2, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01}},
        {At(2024, 2, 29, 12, 34, 56), {0x07, 0xE8, 0x02, 0x1D, 0x0C, 0x22, 0x38, 0x04}},
        {At(2023, 7, 15, 6, 5, 4), {0x07, 0xE7, 0x07, 0x0F, 0x06, 0x05, 0x04, 0x06}},
    };
    for (const ClockCase& c : cases) {
        SCOPED_TRACE(c.local.toString(Qt::ISODate).toStdString());
        const Payload bytes = SetClockFrame(c.local).bytes();
        EXPECT_EQ(bytes[0], 0x7B);
        EXPECT_EQ(bytes[1], 0x30);
        EXPECT_TRUE(std::equal(c.fields.begin(), c.fields.end(), bytes.begin() + 2));
        EXPECT_EQ(bytes[10], 0x40);
        EXPECT_EQ(bytes[11], 0x7D);
        EXPECT_TRUE(std::all_of(bytes.begin() + 12, bytes.end(), [](auto b) { return b == 0; }));
    }
}

TEST(SendClock, SetsTheStationsClockFromTheGivenClock)
{
    LinkRig rig;
    const QDateTime newYearsEve = At(2017, 12, 31, 23, 59, 58);
    ASSERT_TRUE(SendClock(rig.link, [&] { return newYearsEve; }));

    const auto received = rig.station->received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].payload(), SetClockFrame(newYearsEve).bytes());
    EXPECT_EQ(received[0].outcome, ReportOutcome::Applied);
    // The station's clock has run on since; a second or two at most.
    const qint64 drift = newYearsEve.secsTo(FromFields(rig.station->state().clock));
    EXPECT_GE(drift, 0);
    EXPECT_LE(drift, 2);
}

TEST(SendClock, WithoutAStationNothingGoesOut)
{
    LinkRig rig;
    rig.bus.unplug("emulated:clock");
    rig.link.OnDeviceChange(DeviceChange::Removal);
    ASSERT_FALSE(rig.link.Connected());
    EXPECT_FALSE(SendClock(rig.link));
    EXPECT_TRUE(rig.station->received().empty());
}
