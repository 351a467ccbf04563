#include "stationhold.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nimbra {

std::string StationId(const HidInterfaceInfo& info)
{
    if (!info.serialNumber.empty())
        return info.serialNumber;
    return info.portPath.empty() ? info.path : "usb-" + info.portPath;
}

std::string SafeStationId(const std::string& stationId)
{
    std::string safe = stationId;
    for (char& c : safe)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            c = '_';
    return safe;
}

StationHolds::StationHolds(std::filesystem::path folder, std::string who)
    : m_folder(std::move(folder)), m_who(std::move(who))
{
}

std::filesystem::path StationHolds::fileOf(const std::string& stationId) const
{
    return m_folder / ("nimbra-station-" + SafeStationId(stationId) + ".lock");
}

#ifndef _WIN32

namespace {

StationHolder ReadHolder(int descriptor)
{
    char text[256] = {};
    const ssize_t n = ::pread(descriptor, text, sizeof text - 1, 0);
    StationHolder holder;
    if (n <= 0)
        return holder;
    const char* end = text + n;
    const auto [rest, error] = std::from_chars(text, end, holder.pid);
    if (error != std::errc() || rest == end || *rest != ' ')
        return StationHolder{};
    const char* nameEnd = static_cast<const char*>(std::memchr(rest + 1, '\n', end - rest - 1));
    holder.name.assign(rest + 1, nameEnd ? nameEnd : end);
    return holder;
}

// Opens the hold file, making it when it is missing. An existing file is opened without
// O_CREAT: in a sticky folder the kernel refuses O_CREAT on another user's file.
int OpenHoldFile(const std::filesystem::path& file)
{
    const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int descriptor = ::open(file.c_str(), flags);
        if (descriptor >= 0 || errno != ENOENT)
            return descriptor;
        const int made = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (made >= 0) {
            // The umask took bits away; the next user of the station needs them.
            ::fchmod(made, 0666);
            return made;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Whether descriptor is still the file at that name: a holder that lets go removes its file,
// and a lock won on the removed file would hold nothing.
bool StillNamed(int descriptor, const std::filesystem::path& file)
{
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(descriptor, &opened) == 0 && ::lstat(file.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

StationHold::StationHold(int descriptor, std::filesystem::path file)
    : m_descriptor(descriptor), m_file(std::move(file))
{
}

StationHold::~StationHold()
{
    if (m_descriptor < 0)
        return;
    // Removed before the lock goes (see StillNamed). Another user's file cannot be removed from
    // the sticky folder: emptied, it names nobody. The lock goes with the descriptor either way.
    if (::unlink(m_file.c_str()) != 0) [[maybe_unused]]
        const int emptied = ::ftruncate(m_descriptor, 0);
    ::close(m_descriptor);
}

HoldAttempt StationHolds::take(const std::string& stationId) const
{
    const std::filesystem::path file = fileOf(stationId);
    HoldAttempt attempt;
    for (int round = 0; round < 5; ++round) {
        const int descriptor = OpenHoldFile(file);
        if (descriptor < 0) {
            attempt.problem = "cannot use " + file.string() + ": " + std::strerror(errno);
            return attempt;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK)
                attempt.heldBy = ReadHolder(descriptor);
            else
                attempt.problem = "cannot lock " + file.string() + ": " + std::strerror(error);
            ::close(descriptor);
            return attempt;
        }
        if (!StillNamed(descriptor, file)) {
            ::close(descriptor);
            continue;
        }
        const std::string text = std::to_string(::getpid()) + ' ' + m_who + '\n';
        // Held even when this cannot be written; a refused program then names no holder.
        if (::ftruncate(descriptor, 0) == 0) [[maybe_unused]]
            const ssize_t written = ::pwrite(descriptor, text.data(), text.size(), 0);
        attempt.hold = std::make_unique<StationHold>(descriptor, file);
        return attempt;
    }
    attempt.problem = "cannot lock " + file.string() + ": it keeps being replaced";
    return attempt;
}

std::optional<StationHolder> StationHolds::holder(const std::string& stationId) const
{
    const std::filesystem::path file = fileOf(stationId);
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    std::optional<StationHolder> holder;
    // A shared lock is refused only while somebody holds the exclusive one.
    if (::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        holder = ReadHolder(descriptor);
    ::close(descriptor);
    return holder;
}

std::filesystem::path MachineHoldFolder()
{
    struct stat info = {};
    if (::stat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 01777) == 01777)
        return "/run/lock";
    // Not TMPDIR: every user must find the same folder.
    return "/tmp";
}

#else

// Windows: one session per station user is the rule there; the hold is not taken.
StationHold::StationHold(int descriptor, std::filesystem::path file)
    : m_descriptor(descriptor), m_file(std::move(file))
{
}

StationHold::~StationHold() = default;

HoldAttempt StationHolds::take(const std::string& stationId) const
{
    HoldAttempt attempt;
    attempt.hold = std::make_unique<StationHold>(-1, fileOf(stationId));
    return attempt;
}

std::optional<StationHolder> StationHolds::holder(const std::string&) const
{
    return std::nullopt;
}

std::filesystem::path MachineHoldFolder()
{
    return std::filesystem::temp_directory_path();
}

#endif

} // namespace nimbra
