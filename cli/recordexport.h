#pragma once

#include "recordstore.h"

#include <QIODevice>
#include <string>

namespace nimbra {

// "Time,Temperature,Humidity,DewPoint,HeatIndex"
extern const char* const ExportHeader;

// One CSV line without its line end: the time as "yyyy-MM-dd HH:mm:ss", values in the shortest
// form that reads back to the same single float, an empty field for no value.
std::string FormatExportLine(const RecordRow& row);

// What ExportRecords returns when the selection failed (the store has said why) and when out
// refused a write (out's errorString says why).
inline constexpr long SelectionFailed = -1;
inline constexpr long WriteFailed = -2;

// Writes the header and the rows from <= Time <= to of an opened store to out. Returns the
// number of rows, or one of the failures above.
long ExportRecords(RecordStore& store, double from, double to, QIODevice& out);

} // namespace nimbra
