#pragma once

#include "hidlink.h"
#include "livereadings.h"
#include "replyrouter.h"
#include "stationhold.h"

#include <QString>
#include <array>
#include <optional>

namespace nimbra {

// How opening the station ended.
enum class SessionOpening
{
    Opened,
    Held,        // another program (a window, another nimbractl) holds the station
    NoStation,   // no station among the HID interfaces
    AccessDenied // a station is there but the system refuses to open it
};

// The alarm and calibration pages as a poll cycle reads them.
struct SetupPages
{
    Page settings{};
    int intervalMinutes = 0;
    std::array<Page, 4> alarms{}; // switches, a page never fetched, temperature, humidity limits
    Page calibration{};
};

// The station for one program without the window, opened over the link with the station's
// hold, so no other program talks to it at the same time (the protocol has no request ids, and
// two requesters would mix their replies). The transport is the system's HID interfaces or the
// emulator. One thread uses a session at a time; the link's reader thread runs beside it.
class StationSession final : private LinkObserver
{
public:
    // holds: where the station's hold is taken. stationId: the station to use; empty for the
    // first free one.
    StationSession(HidTransport& transport, const Timing& timing, const StationHolds& holds,
                   const std::string& stationId = {});
    ~StationSession() override;
    StationSession(const StationSession&) = delete;
    StationSession& operator=(const StationSession&) = delete;

    SessionOpening open();
    // One line for the user on why open() failed; empty after a success.
    QString problem() const { return m_problem; }
    // What the last open() saw.
    const StationSearch& search() const { return m_link.lastSearch(); }

    // Reads the settings page (the unit and the channels in use). False without an answer.
    bool readSettings();
    // Settings and live pages into readings(). False when the station did not answer.
    bool poll();
    // The logging interval in minutes; empty when the station did not answer.
    std::optional<int> readInterval();
    // Everything the setup dialogs show. Empty when the station did not answer.
    std::optional<SetupPages> readSetup();

    bool Fahrenheit() const { return m_link.Fahrenheit(); }
    LiveSnapshot readings() const { return m_readings.snapshot(); }
    Page settingsPage() const { return m_router.buffer().page(SettingsPageIndex); }

    HidLink& link() { return m_link; }
    ReplyRouter& router() { return m_router; }

private:
    static constexpr int LivePageIndex = 0;
    static constexpr int SettingsPageIndex = 1;

    // One request; true when its reply came.
    bool request(Command command, RequestKind kind, Millis wait);

    void stationFound() override {}
    void stationLost() override {}
    void accessDenied(const std::string& path) override;
    void linkBroken() override {}

    ReplyRouter m_router;
    HidLink m_link;
    LiveReadings m_readings;
    QString m_problem;
    bool m_denied = false; // set by accessDenied() during open(), on the same thread
};

} // namespace nimbra
