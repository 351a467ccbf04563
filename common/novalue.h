#pragma once

namespace nimbra {

// The station's marker for a missing reading, kept as it comes in the live readings, the
// records and the logs' value fields.
inline constexpr int NoValue = 65535;

} // namespace nimbra
