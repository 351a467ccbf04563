#pragma once

#include "recordstore.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The points of each value column (names as the table has them) over from < Time <= to, in
// ascending time, a value of 65535 or none at all left out: per column, what its own range
// selection gives. The range is read in two halves of its time span, the later one on a
// connection and thread of its own, so both cores read. Empty when done, else the engine's
// text for the failure (series then holds no points).
std::string ReadSeriesPoints(sqlite3* db, std::span<const std::string_view> columns, double from,
                             double to, std::vector<SeriesPoints>& series);

} // namespace nimbra
