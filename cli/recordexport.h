#pragma once

#include "recordstore.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <cstdio>
#include <string>

namespace nimbra {

// "Time,Temperature,Humidity,DewPoint,HeatIndex"
extern const char* const ExportHeader;

// One CSV line without its line end: the time as "yyyy-MM-dd HH:mm:ss" (empty for a stamp that
// did not parse), values in the shortest form that reads back to the same single float, an
// empty field for no value.
std::string FormatExportLine(const RecordRow& row);

// What ExportRecords returns when the selection failed (the store has said why) and when out
// refused a write (out's errorString says why).
inline constexpr long SelectionFailed = -1;
inline constexpr long WriteFailed = -2;

// Where an export goes: a stream (standard output), or a file that is written beside itself and
// put in its place only by commit(), so an export that fails leaves an earlier file as it was.
class ExportTarget
{
public:
    // An empty file name means the stream.
    ExportTarget(const QString& file, std::FILE* stream);
    bool open();
    QIODevice& device() { return m_toFile ? static_cast<QIODevice&>(m_file) : m_stream; }
    // Puts the file in its place, or flushes the stream; false when anything was not written.
    bool commit();
    // The file's name, or "the output".
    QString name() const;
    QString errorString() const { return m_toFile ? m_file.errorString() : m_stream.errorString(); }

private:
    const bool m_toFile;
    std::FILE* const m_streamHandle;
    QSaveFile m_file;
    QFile m_stream;
};

// Writes the header and the rows from <= Time <= to of an opened store to out. Returns the
// number of rows, or one of the failures above.
long ExportRecords(RecordStore& store, double from, double to, QIODevice& out);

} // namespace nimbra
