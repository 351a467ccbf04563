#pragma once

#include "emulatedbus.h"
#include "emulatedcard.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace nimbra {

inline constexpr const char* EmulatedStationPath = "emulated:station-1";

// The card of a station that has been logging for a few weeks up to today: outdoor files from
// a few hundred bytes (today, just begun, the file the station appends to) to more than 1 MiB,
// one empty file and one indoor file.
void fillDemoCard(EmulatedCard& card, std::chrono::sys_days today);

// The id of the station behind "--simulate" when none is named: one of this process's own, so
// that it never meets a real station or another program's emulator.
std::string DefaultEmulatedStationId();

// The bus behind "--simulate": one station with a demo card, paced like a real USB
// full-speed device, whose serial number is stationId. With a stateFile it keeps what is
// written to it there (KeepSettingsInFile), so it comes back as it was left.
std::unique_ptr<EmulatedBus> makeEmulatedBus(const std::string& stationId = "emulated",
                                             const std::filesystem::path& stateFile = {});

} // namespace nimbra
