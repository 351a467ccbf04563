#pragma once

#include "recordstore.h"

#include <cstdio>
#include <string>

namespace nimbra {

// "Time,Temperature,Humidity,DewPoint,HeatIndex"
extern const char* const ExportHeader;

// One CSV line without its line end: the time as "yyyy-MM-dd HH:mm:ss", values in the shortest
// form that reads back to the same single float, an empty field for no value.
std::string FormatExportLine(const RecordRow& row);

// Writes the header and the rows from <= Time <= to of an opened store to out. Returns the
// number of rows, or -1 when the selection failed (the store has said why); a failed write
// shows as ferror(out).
long ExportRecords(RecordStore& store, double from, double to, std::FILE* out);

} // namespace nimbra
