#pragma once

#include "logdate.h"
#include "recordstore.h"

#include <QString>

namespace nimbra {

// The record list's columns: time, temperature, humidity, then dew point and heat index in an
// outdoor file.
inline constexpr int RecordColumns = 5;

// The text of one cell of the record list, made from the stored row so that the list needs no
// copy of the file: the time in the station's stamp form for order ("2026-12-01 9:05:00",
// "12-01-2026 9:05:00", "01-12-2026 9:05:00"; empty for a stamp that did not parse), values
// as the station writes them ("21.5", "-3.0", "55") and "--" for no value. Empty for a column
// an indoor file does not have.
QString RecordCellText(const RecordRow& row, int column, DateOrder order, bool indoor);

} // namespace nimbra
