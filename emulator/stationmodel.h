#pragma once

#include "channelsim.h"
#include "commandframe.h"
#include "emulatedcard.h"
#include "loggenerator.h"
#include "stationclock.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// What the station did with one output report.
enum class ReportOutcome
{
    Answered, // a request, answered with its reply reports
    Applied,  // a write (or EndOfWrite), taken over
    Refused,  // a write while the screen is busy, or one with values the station rejects
    Ignored,  // not a command of the table, or not framed as that command is
    Unplugged // the station vanished as the report arrived (a fault injected by a test)
};

struct StationReply
{
    ReportOutcome outcome = ReportOutcome::Ignored;
    std::vector<Payload> reports;
    bool chunk = false; // data reports and the "{@}" that ends them
};

// The station's inner working: pages, the writes that change them, the screen state, the
// clock, the sensors and the SD card. Plain data, not thread-safe; EmulatedStation guards it.
//
// Every page is kept as the 64-byte reply it is sent as; byte 0 of a reply echoes the command
// code. A write frame carries its page's bytes one position later, so a write copies frame
// bytes 2.. into page bytes 1...
class StationModel
{
public:
    explicit StationModel(std::uint32_t seed = 1);

    StationReply handle(const Payload& frame);

    // The live page as it would be sent now: sensor values plus calibration offsets.
    Payload livePage();

    const Payload& settingsPage() const { return m_settings; }
    const Payload& calibrationPage() const { return m_calibration; }
    const Payload& alarmSwitchesPage() const { return m_alarmSwitches; }
    const Payload& temperatureLimitsPage() const { return m_tempLimits; }
    const Payload& humidityLimitsPage() const { return m_humiLimits; }
    void setSettingsPage(const Payload& page) { m_settings = page; }
    void setCalibrationPage(const Payload& page) { m_calibration = page; }

    std::uint8_t intervalMinutes() const { return m_interval; }
    void setIntervalMinutes(std::uint8_t minutes);
    // 1 English, 0 German.
    std::uint8_t language() const { return m_language; }
    bool screenBusy() const { return m_screenBusy; }
    void setScreenBusy(bool busy) { m_screenBusy = busy; }
    int endOfWriteCount() const { return m_endOfWrites; }

    // What the station keeps through a power cycle (its pages, interval and language) as text,
    // and back. restoreSettings takes all or nothing: false, and nothing changed, for a text
    // that is not a whole set.
    std::string savedSettings() const;
    bool restoreSettings(std::string_view saved);
    // Called with savedSettings() after every write that changed them.
    void keepSettingsWith(std::function<void(const std::string& saved)> keeper)
    {
        m_keeper = std::move(keeper);
    }

    StationClock& clock() { return m_clock; }
    const StationClock& clock() const { return m_clock; }
    ChannelSimulator& channels() { return m_channels; }
    EmulatedCard& card() { return m_card; }
    const EmulatedCard& card() const { return m_card; }

    // The station logs one line per interval into its newest file, in the formats and the unit
    // its settings hold at that moment. Time that passed on its clock is caught up here, which
    // every command does first; setting the clock or the interval starts the schedule afresh.
    void catchUpLog();
    LogFormat logFormat() const;

private:
    StationReply answer(Command code, std::span<const std::uint8_t> params);
    StationReply write(Command code, std::span<const std::uint8_t> params);
    StationReply setClock(std::span<const std::uint8_t> params);
    StationReply chunk(std::span<const std::uint8_t> params) const;
    void logLine(std::chrono::sys_seconds at);

    Payload m_settings{};
    Payload m_calibration{};
    Payload m_alarmSwitches{};
    Payload m_tempLimits{};
    Payload m_humiLimits{};
    std::uint8_t m_interval = 10;
    std::uint8_t m_language = 1;
    bool m_screenBusy = false;
    int m_endOfWrites = 0;
    StationClock m_clock;
    ChannelSimulator m_channels;
    EmulatedCard m_card;
    std::optional<std::chrono::sys_seconds> m_nextLog; // empty: schedule from the clock's now
    std::function<void(const std::string&)> m_keeper;
};

// Keeps model's settings in file: restores them from it now, when it holds a whole set, and
// rewrites it after every write that changes them, so a program started again on the same
// file finds the station as it left it.
void KeepSettingsInFile(StationModel& model, const std::filesystem::path& file);

// The parameters of a framed command: the bytes between the code and the closing "@}" that
// is followed by zeros only. Empty optional for a payload that is not framed that way.
std::optional<std::span<const std::uint8_t>> frameParameters(const Payload& frame);

} // namespace nimbra
