#include "stationmodel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>

namespace nimbra {

namespace {

constexpr std::uint32_t AllTemperatures = 0x249249; // bit 3(c-1) for every channel
constexpr std::uint32_t AllDewPoints = AllTemperatures << 1;
constexpr std::uint32_t AllHeatIndices = AllTemperatures << 2;

void putBigEndian16(Payload& page, std::size_t at, std::uint16_t value)
{
    page[at] = static_cast<std::uint8_t>(value >> 8);
    page[at + 1] = static_cast<std::uint8_t>(value);
}

void putBigEndian32(Payload& page, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        page[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::uint16_t bigEndian16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t bigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

bool isNoTemperature(std::uint16_t raw)
{
    return raw == 0xFFFF || raw == 0x7FFF;
}

Payload defaultSettings()
{
    Payload page{};
    page[2] = 24; // graph time in hours
    page[6] = 1;  // time zone
    putBigEndian32(page, 8, AllTemperatures);
    putBigEndian32(page, 12, AllDewPoints);
    putBigEndian32(page, 16, AllHeatIndices);
    putBigEndian32(page, 20, 0x7); // CH1 with all three quantities
    return page;
}

Payload defaultAlarmSwitches()
{
    Payload page{};
    page[5] = 0x01; // CH1 temperature high
    page[6] = 0x01; // CH1 temperature low
    return page;
}

Payload defaultTemperatureLimits()
{
    Payload page{};
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
        putBigEndian16(page, 4 * c - 3, 350);
        putBigEndian16(page, 4 * c - 1, static_cast<std::uint16_t>(-100));
    }
    return page;
}

Payload defaultHumidityLimits()
{
    Payload page{};
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
        page[2 * c - 1] = 80;
        page[2 * c] = 20;
    }
    return page;
}

// How many parameter bytes each fixed-layout write carries.
std::optional<std::size_t> writeLength(Command code)
{
    switch (code) {
    case Command::WriteLanguage:
    case Command::SetInterval:
        return 1;
    case Command::WriteSettings:
        return 27;
    case Command::WriteCalibration:
        return 24;
    case Command::WriteAlarmSwitches:
        return 6;
    case Command::WriteTempLimits:
        return 32;
    case Command::WriteHumiLimits:
        return 16;
    case Command::SetClock:
        return 8;
    case Command::EndOfWrite:
        return 0;
    default:
        return std::nullopt;
    }
}

void copyIntoPage(Payload& page, std::span<const std::uint8_t> params)
{
    std::copy(params.begin(), params.end(), page.begin() + 1);
}

StationReply applied()
{
    return {ReportOutcome::Applied, {}};
}

StationReply refused()
{
    return {ReportOutcome::Refused, {}};
}

Payload withCode(Payload page, Command code)
{
    page[0] = static_cast<std::uint8_t>(code);
    return page;
}

} // namespace

std::optional<std::span<const std::uint8_t>> frameParameters(const Payload& frame)
{
    const auto last = std::find_if(frame.rbegin(), frame.rend(), [](auto b) { return b != 0; });
    if (last == frame.rend() || frame[0] != 0x7B)
        return std::nullopt;
    const auto closing = static_cast<std::size_t>(frame.rend() - last) - 1;
    if (closing < 3 || frame[closing] != 0x7D || frame[closing - 1] != 0x40)
        return std::nullopt;
    return std::span<const std::uint8_t>(frame.data() + 2, closing - 3);
}

StationModel::StationModel(std::uint32_t seed)
    : m_settings(defaultSettings()), m_alarmSwitches(defaultAlarmSwitches()),
      m_tempLimits(defaultTemperatureLimits()), m_humiLimits(defaultHumidityLimits()),
      m_channels(seed)
{
}

void StationModel::setIntervalMinutes(std::uint8_t minutes)
{
    m_interval = minutes;
    m_nextLog.reset();
}

LogFormat StationModel::logFormat() const
{
    return {m_settings[3], m_settings[4], m_settings[7] == 1};
}

void StationModel::catchUpLog()
{
    using namespace std::chrono;
    // A station that stayed off for a long time starts again instead of filling the card.
    constexpr int MostLinesAtOnce = 10000;
    const minutes every{std::max<int>(m_interval, 1)};
    const sys_seconds now = m_clock.now();
    if (!m_nextLog)
        m_nextLog = now + every;
    for (int n = 0; *m_nextLog <= now; ++n) {
        if (n == MostLinesAtOnce) {
            m_nextLog = now + every;
            break;
        }
        logLine(*m_nextLog);
        *m_nextLog += every;
    }
}

void StationModel::logLine(std::chrono::sys_seconds at)
{
    const LogFormat format = logFormat();
    CardFile* file = m_card.newest();
    if (!file) {
        m_card.put(logFileName(std::chrono::floor<std::chrono::days>(at), false), {});
        file = m_card.newest();
    }
    const bool indoor = file->name.find("IN") != std::string::npos;
    if (file->content.empty())
        file->content = logHeader(indoor, format.fahrenheit) + "\n";
    file->content += nimbra::logLine(m_channels.sample(indoor ? 1 : 2, at), at, indoor, format);
}

StationReply StationModel::handle(const Payload& frame)
{
    catchUpLog();
    const auto params = frameParameters(frame);
    const CommandInfo* info = findCommand(frame[1]);
    if (!params || !info)
        return {};
    if (info->kind == RequestKind::NoReply)
        return write(info->code, *params);
    return answer(info->code, *params);
}

StationReply StationModel::answer(Command code, std::span<const std::uint8_t> params)
{
    if (code == Command::FileChunk)
        return chunk(params);
    if (!params.empty())
        return {};

    Payload page{};
    switch (code) {
    case Command::FileList:
        return {ReportOutcome::Answered, m_card.listReply()};
    case Command::Live:
        page = livePage();
        break;
    case Command::Settings:
        page = m_settings;
        break;
    case Command::Calibration:
        page = m_calibration;
        break;
    case Command::AlarmPage1:
        page = m_alarmSwitches;
        break;
    case Command::AlarmPage3:
        page = m_tempLimits;
        break;
    case Command::AlarmPage4:
        page = m_humiLimits;
        break;
    case Command::Interval:
        page[1] = m_interval;
        break;
    case Command::ScreenCheck:
        page[1] = m_screenBusy ? 1 : 0;
        break;
    default:
        return {};
    }
    return {ReportOutcome::Answered, {withCode(page, code)}};
}

StationReply StationModel::chunk(std::span<const std::uint8_t> params) const
{
    if (params.size() < 9)
        return {};
    const std::size_t nameLength = params.size() - 8;
    const std::string name(params.begin(),
                           params.begin() + static_cast<std::ptrdiff_t>(nameLength));
    const std::uint32_t start = bigEndian32(params.data() + nameLength);
    const std::uint32_t end = bigEndian32(params.data() + nameLength + 4);
    return {ReportOutcome::Answered, m_card.chunkReply(name, start, end), true};
}

StationReply StationModel::write(Command code, std::span<const std::uint8_t> params)
{
    const std::optional<std::size_t> length = writeLength(code);
    if (length ? params.size() != *length : params.empty())
        return {};
    if (code == Command::EndOfWrite) {
        ++m_endOfWrites;
        return applied();
    }
    // Away from its main screen the station takes no change at all.
    if (m_screenBusy)
        return refused();

    switch (code) {
    case Command::WriteSettings:
        copyIntoPage(m_settings, params);
        break;
    case Command::WriteCalibration:
        copyIntoPage(m_calibration, params);
        break;
    case Command::WriteAlarmSwitches:
        copyIntoPage(m_alarmSwitches, params);
        break;
    case Command::WriteTempLimits:
        copyIntoPage(m_tempLimits, params);
        break;
    case Command::WriteHumiLimits:
        copyIntoPage(m_humiLimits, params);
        break;
    case Command::WriteLanguage:
        if (params[0] > 1)
            return refused();
        m_language = params[0];
        break;
    case Command::SetInterval:
        // The station logs every 5 to 240 minutes; anything else would stop its logging.
        if (params[0] < 5 || params[0] > 240)
            return refused();
        setIntervalMinutes(params[0]);
        break;
    case Command::SetClock:
        return setClock(params);
    case Command::DeleteFile:
        return m_card.remove(std::string(params.begin(), params.end())) ? applied() : refused();
    default:
        return {};
    }
    if (m_keeper)
        m_keeper(savedSettings());
    return applied();
}

namespace {

// The pages in the order of the saved text.
constexpr std::string_view PageNames[] = {"settings", "calibration", "alarmSwitches",
                                          "temperatureLimits", "humidityLimits"};

std::string hex(const Payload& page)
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : page) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::optional<Payload> fromHex(std::string_view text)
{
    Payload page{};
    if (text.size() != 2 * page.size())
        return std::nullopt;
    for (std::size_t i = 0; i < page.size(); ++i) {
        const auto [end, error] =
            std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, page[i], 16);
        if (error != std::errc{} || end != text.data() + 2 * i + 2)
            return std::nullopt;
    }
    return page;
}

std::optional<std::uint8_t> byteValue(std::string_view text)
{
    std::uint8_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::string StationModel::savedSettings() const
{
    const Payload* pages[] = {&m_settings, &m_calibration, &m_alarmSwitches, &m_tempLimits,
                              &m_humiLimits};
    std::string text;
    for (std::size_t i = 0; i < std::size(pages); ++i)
        text += std::string(PageNames[i]) + ' ' + hex(*pages[i]) + '\n';
    text += "interval " + std::to_string(m_interval) + '\n';
    text += "language " + std::to_string(m_language) + '\n';
    return text;
}

bool StationModel::restoreSettings(std::string_view saved)
{
    std::array<std::optional<Payload>, std::size(PageNames)> pages;
    std::optional<std::uint8_t> interval;
    std::optional<std::uint8_t> language;
    while (!saved.empty()) {
        const std::size_t end = std::min(saved.find('\n'), saved.size());
        const std::string_view line = saved.substr(0, end);
        saved.remove_prefix(std::min(end + 1, saved.size()));
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return false;
        const std::string_view name = line.substr(0, space);
        const std::string_view value = line.substr(space + 1);
        const auto page = std::find(std::begin(PageNames), std::end(PageNames), name);
        if (page != std::end(PageNames))
            pages[static_cast<std::size_t>(page - std::begin(PageNames))] = fromHex(value);
        else if (name == "interval")
            interval = byteValue(value);
        else if (name == "language")
            language = byteValue(value);
    }
    const bool whole = std::all_of(pages.begin(), pages.end(), [](const auto& p) { return p; });
    if (!whole || !interval || *interval < 5 || *interval > 240 || !language || *language > 1)
        return false;
    Payload* targets[] = {&m_settings, &m_calibration, &m_alarmSwitches, &m_tempLimits,
                          &m_humiLimits};
    for (std::size_t i = 0; i < pages.size(); ++i)
        *targets[i] = *pages[i];
    setIntervalMinutes(*interval);
    m_language = *language;
    return true;
}

void KeepSettingsInFile(StationModel& model, const std::filesystem::path& file)
{
    // A few hundred bytes; anything much larger is not this file.
    constexpr std::streamsize Limit = 4096;
    std::string saved(Limit, '\0');
    std::ifstream in(file, std::ios::binary);
    in.read(saved.data(), Limit);
    saved.resize(static_cast<std::size_t>(in.gcount()));
    if (in.gcount() < Limit)
        model.restoreSettings(saved);
    // Written aside and renamed over the file, so a program killed while it writes leaves the
    // last whole set. The emulator's memory is a convenience: a folder that refuses it changes
    // nothing else.
    model.keepSettingsWith([file](const std::string& text) {
        std::filesystem::path aside = file;
        aside += ".new";
        {
            std::ofstream out(aside, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out.flush())
                return;
        }
        std::error_code error;
        std::filesystem::rename(aside, file, error);
    });
}

StationReply StationModel::setClock(std::span<const std::uint8_t> params)
{
    DateTimeParts fields;
    fields.year = bigEndian16(params.data());
    fields.month = params[2];
    fields.day = params[3];
    fields.hour = params[4];
    fields.minute = params[5];
    fields.second = params[6];
    if (!m_clock.set(fields))
        return refused();
    m_nextLog.reset();
    return applied();
}

Payload StationModel::livePage()
{
    Payload page{};
    page[0] = static_cast<std::uint8_t>(Command::Live);
    const auto now = m_clock.now();
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
        const ChannelReading reading = m_channels.sample(static_cast<int>(c), now);
        const std::uint16_t tempOffset = bigEndian16(&m_calibration[3 * c - 2]);
        const auto humiOffset = static_cast<std::int8_t>(m_calibration[3 * c]);

        std::uint16_t temperature = reading.missingMarker;
        if (reading.tenths) {
            int tenths = *reading.tenths;
            if (!isNoTemperature(tempOffset))
                tenths += static_cast<std::int16_t>(tempOffset);
            temperature = static_cast<std::uint16_t>(std::clamp(tenths, -32768, 32767));
        }
        putBigEndian16(page, 3 * c - 2, temperature);
        // Without an offset the sensor's byte goes out as it is (pinned edge values included);
        // a corrected value stays within 0..100 so that it never turns into the 0xFF marker.
        std::uint8_t humidity = reading.humidity.value_or(0xFF);
        if (reading.humidity && humiOffset != 0 && humidity != 0xFF)
            humidity = static_cast<std::uint8_t>(std::clamp(humidity + humiOffset, 0, 100));
        page[3 * c] = humidity;
    }
    return page;
}

} // namespace nimbra
