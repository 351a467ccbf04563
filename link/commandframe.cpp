#include "commandframe.h"

#include <algorithm>
#include <vector>

namespace nimbra {

namespace {

constexpr CommandInfo Commands[] = {
    {Command::FileList, RequestKind::FileList, "file list"},
    {Command::FileChunk, RequestKind::FileData, "file chunk"},
    {Command::Live, RequestKind::Live, "live readings"},
    {Command::Settings, RequestKind::Settings, "settings page"},
    {Command::Calibration, RequestKind::Calibration, "calibration page"},
    {Command::AlarmPage1, RequestKind::AlarmPage1, "alarm page 1"},
    {Command::AlarmPage3, RequestKind::AlarmPage3, "alarm page 3"},
    {Command::AlarmPage4, RequestKind::AlarmPage4, "alarm page 4"},
    {Command::Interval, RequestKind::Interval, "logging interval"},
    {Command::ScreenCheck, RequestKind::ScreenCheck, "screen check"},
    {Command::WriteLanguage, RequestKind::NoReply, "write language"},
    {Command::WriteSettings, RequestKind::NoReply, "write settings"},
    {Command::WriteCalibration, RequestKind::NoReply, "write calibration"},
    {Command::WriteAlarmSwitches, RequestKind::NoReply, "write alarm switches"},
    {Command::WriteTempLimits, RequestKind::NoReply, "write temperature limits"},
    {Command::WriteHumiLimits, RequestKind::NoReply, "write humidity limits"},
    {Command::EndOfWrite, RequestKind::NoReply, "end of write"},
    {Command::DeleteFile, RequestKind::NoReply, "delete file"},
    {Command::SetClock, RequestKind::NoReply, "set clock"},
    {Command::SetInterval, RequestKind::NoReply, "set interval"},
};

std::vector<std::uint8_t> nameBytes(std::string_view name)
{
    return {name.begin(), name.end()};
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

} // namespace

std::span<const CommandInfo> commandTable()
{
    return Commands;
}

const CommandInfo* findCommand(std::uint8_t code)
{
    const auto* it = std::find_if(std::begin(Commands), std::end(Commands), [code](const auto& c) {
        return static_cast<std::uint8_t>(c.code) == code;
    });
    return it == std::end(Commands) ? nullptr : it;
}

CommandFrame::CommandFrame(Command code) : CommandFrame(code, {}) {}

CommandFrame::CommandFrame(Command code, std::span<const std::uint8_t> parameters)
{
    const std::size_t n = std::min(parameters.size(), MaxParameters);
    m_bytes[0] = 0x7B;
    m_bytes[1] = static_cast<std::uint8_t>(code);
    std::copy_n(parameters.begin(), n, m_bytes.begin() + 2);
    m_bytes[2 + n] = 0x40;
    m_bytes[3 + n] = 0x7D;
}

CommandFrame CommandFrame::fileChunk(std::string_view name, std::uint32_t start, std::uint32_t end)
{
    auto params = nameBytes(name);
    appendBigEndian(params, start);
    appendBigEndian(params, end);
    return CommandFrame(Command::FileChunk, params);
}

CommandFrame CommandFrame::deleteFile(std::string_view name)
{
    return CommandFrame(Command::DeleteFile, nameBytes(name));
}

CommandFrame CommandFrame::setInterval(std::uint8_t minutes)
{
    const std::uint8_t params[] = {minutes};
    return CommandFrame(Command::SetInterval, params);
}

CommandFrame CommandFrame::language(bool english)
{
    const std::uint8_t params[] = {static_cast<std::uint8_t>(english ? 1 : 0)};
    return CommandFrame(Command::WriteLanguage, params);
}

CommandFrame CommandFrame::endOfWrite()
{
    return CommandFrame(Command::EndOfWrite);
}

} // namespace nimbra
