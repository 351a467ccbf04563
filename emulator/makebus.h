#pragma once

#include "emulatedbus.h"
#include "emulatedcard.h"

#include <chrono>
#include <memory>

namespace nimbra {

inline constexpr const char* EmulatedStationPath = "emulated:station-1";

// The card of a station that has been logging for a few weeks up to today: outdoor files from
// a few hundred bytes (today, just begun, the file the station appends to) to more than 1 MiB,
// one empty file and one indoor file.
void fillDemoCard(EmulatedCard& card, std::chrono::sys_days today);

// The bus behind "--simulate": one station with a demo card, paced like a real USB
// full-speed device.
std::unique_ptr<EmulatedBus> makeEmulatedBus();

} // namespace nimbra
