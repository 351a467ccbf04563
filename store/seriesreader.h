#pragma once

#include "recordstore.h"

#include <span>
#include <string>
#include <string_view>

namespace nimbra {

// The points of each value column (names as the table has them) over from < Time <= to, in
// ascending time, a value of 65535 or none at all left out: per column, what its own range
// selection gives. Two parts are read at once, each on a connection of its own; every point
// of earlier comes before every point of later, and later is filled on a thread of its own.
// Empty when done, else the engine's text for the failure (both sinks are then cleared).
// The points come from relation (a table or view with Time, the value columns and a rowid) of
// the database file.
std::string ReadSeriesPoints(const char* file, std::string_view relation,
                             std::span<const std::string_view> columns, double from, double to,
                             SeriesSink& earlier, SeriesSink& later);

} // namespace nimbra
