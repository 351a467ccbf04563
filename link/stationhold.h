#pragma once

#include "hidtransport.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace nimbra {

// The program that holds a station, as it wrote itself into the hold.
struct StationHolder
{
    long long pid = 0; // 0: not known (a hold being taken at this very moment)
    std::string name;
};

// One station held by this process. The hold is an advisory lock (flock) on a file named after
// the station's id: the kernel drops it when its last descriptor closes, so a holder that dies,
// even by kill -9, lets go of the station with it.
class StationHold
{
public:
    // descriptor -1: a hold of a station no other program can reach (a test's own bus).
    StationHold(int descriptor, std::filesystem::path file);
    ~StationHold();
    StationHold(const StationHold&) = delete;
    StationHold& operator=(const StationHold&) = delete;

private:
    int m_descriptor = -1;
    std::filesystem::path m_file;
};

struct HoldAttempt
{
    std::unique_ptr<StationHold> hold;   // empty: not taken
    std::optional<StationHolder> heldBy; // another program has the station
    std::string problem;                 // the hold could not be tried at all
};

// The holds of every program of every user on one machine, kept in one folder that all of
// them find the same way. Files are made readable and writable for all, since a station goes
// from one user to the next; the sticky bit of the folder keeps them from being removed by
// anyone but their owner.
class StationHolds
{
public:
    // who: how this process is named to a program that finds the station held.
    StationHolds(std::filesystem::path folder, std::string who);

    HoldAttempt take(const std::string& stationId) const;
    // Who holds the station now; empty when nobody does.
    std::optional<StationHolder> holder(const std::string& stationId) const;

    std::filesystem::path fileOf(const std::string& stationId) const;

private:
    std::filesystem::path m_folder;
    std::string m_who;
};

// The folder every program on this machine keeps the holds of real stations in: /run/lock (a
// sticky folder open to all) where the system has it, else the system's temporary folder.
std::filesystem::path MachineHoldFolder();

// What tells one station from another for as long as it stays plugged where it is: its USB
// serial number where it has one, else the port it is plugged into, else its device path.
std::string StationId(const HidInterfaceInfo& info);

// A station id as it may stand in a file name or a topic: letters, digits, '.', '_' and '-'
// kept, anything else '_'.
std::string SafeStationId(const std::string& stationId);

} // namespace nimbra
