#pragma once

#include "requestkind.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace nimbra {

inline constexpr std::size_t PayloadSize = 64;
inline constexpr std::size_t ReportSize = PayloadSize + 1; // report id 0 in front

using Payload = std::array<std::uint8_t, PayloadSize>;

// The station's remote channels, CH1..CH8.
inline constexpr int ChannelCount = 8;

// Command codes of the station.
enum class Command : std::uint8_t
{
    FileList = 0x01,
    FileChunk = 0x02,
    Live = 0x03,
    Settings = 0x04,
    Calibration = 0x05,
    AlarmPage1 = 0x06,
    AlarmPage3 = 0x08,
    AlarmPage4 = 0x09,
    Interval = 0x41,
    ScreenCheck = 0x51,
    WriteLanguage = 0x0B,
    WriteSettings = 0x10,
    WriteCalibration = 0x11,
    WriteAlarmSwitches = 0x12,
    WriteTempLimits = 0x14,
    WriteHumiLimits = 0x15,
    EndOfWrite = 0x2F,
    DeleteFile = 0x20,
    SetClock = 0x30,
    SetInterval = 0x40,
};

struct CommandInfo
{
    Command code;
    RequestKind kind;
    std::string_view name;
};

// Every command the station understands with the request kind its reply is filed under.
std::span<const CommandInfo> commandTable();
const CommandInfo* findCommand(std::uint8_t code);

// 0x7B, code, parameters, 0x40, 0x7D, zero fill: the 64 payload bytes of an output report.
class CommandFrame
{
public:
    static constexpr std::size_t MaxParameters = PayloadSize - 4;

    // A plain request carries no parameters.
    explicit CommandFrame(Command code);
    // Parameters that do not fit are cut at MaxParameters.
    CommandFrame(Command code, std::span<const std::uint8_t> parameters);

    Command code() const { return static_cast<Command>(m_bytes[1]); }
    const Payload& bytes() const { return m_bytes; }

    static CommandFrame fileChunk(std::string_view name, std::uint32_t start, std::uint32_t end);
    static CommandFrame deleteFile(std::string_view name);
    static CommandFrame setInterval(std::uint8_t minutes);
    static CommandFrame language(bool english);
    // Sent last in every write of the station's settings, alarms, calibration and language:
    // the station takes the frames before it as one change.
    static CommandFrame endOfWrite();

private:
    Payload m_bytes{};
};

} // namespace nimbra
