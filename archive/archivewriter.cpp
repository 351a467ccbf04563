#include "archivewriter.h"

#include <bit>
#include <cmath>

namespace nimbra {

ArchiveWriter::ArchiveWriter(sqlite3* db, std::string stationFile, bool indoor,
                             std::string dateOrder)
    : m_db(db), m_stationFile(std::move(stationFile)), m_indoor(indoor),
      m_dateOrder(std::move(dateOrder))
{
}

void ArchiveWriter::fail()
{
    throw StoreError(ComErrorText(sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db)));
}

Statement ArchiveWriter::prepare(const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK)
        fail();
    return Statement(raw);
}

void ArchiveWriter::run(sqlite3_stmt* statement)
{
    const int step = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (step != SQLITE_DONE && step != SQLITE_ROW)
        fail();
}

// A file kept by an earlier version knows no first line: the first import of its name takes
// it over, and its readings, which knew no line numbers, are replaced by the import's.
void ArchiveWriter::openFile(std::uint64_t firstLineHash)
{
    const auto hash = std::bit_cast<std::int64_t>(firstLineHash);
    Statement find = prepare("SELECT Id, Rows, FirstLine IS NULL FROM history.Files "
                             "WHERE Name = ?1 AND Indoor = ?2 AND "
                             "(FirstLine = ?3 OR FirstLine IS NULL) ORDER BY FirstLine IS NULL");
    sqlite3_bind_text(find.get(), 1, m_stationFile.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(find.get(), 2, m_indoor ? 1 : 0);
    sqlite3_bind_int64(find.get(), 3, hash);
    const int step = sqlite3_step(find.get());
    if (step == SQLITE_ROW) {
        m_file = sqlite3_column_int64(find.get(), 0);
        m_rowsBefore = sqlite3_column_int64(find.get(), 1);
        if (sqlite3_column_int(find.get(), 2) != 0) {
            Statement adopt = prepare("UPDATE history.Files SET FirstLine = ?2 WHERE Id = ?1");
            sqlite3_bind_int64(adopt.get(), 1, m_file);
            sqlite3_bind_int64(adopt.get(), 2, hash);
            run(adopt.get());
            Statement drop = prepare("DELETE FROM history.Readings WHERE File = ?1");
            sqlite3_bind_int64(drop.get(), 1, m_file);
            run(drop.get());
        }
    } else if (step == SQLITE_DONE) {
        Statement add = prepare("INSERT INTO history.Files (Name, FirstLine, Indoor) "
                                "VALUES (?1, ?2, ?3) RETURNING Id");
        sqlite3_bind_text(add.get(), 1, m_stationFile.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int64(add.get(), 2, hash);
        sqlite3_bind_int(add.get(), 3, m_indoor ? 1 : 0);
        if (sqlite3_step(add.get()) != SQLITE_ROW)
            fail();
        m_file = sqlite3_column_int64(add.get(), 0);
    } else {
        fail();
    }
    m_insert = prepare("INSERT OR REPLACE INTO history.Readings (File, Line, Indoor, Time, "
                       "Temperature, Humidity, Dewpoint, Heatindex, Fahrenheit) "
                       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    sqlite3_bind_int64(m_insert.get(), 1, m_file);
    sqlite3_bind_int(m_insert.get(), 3, m_indoor ? 1 : 0);
    m_drop = prepare("DELETE FROM history.Readings WHERE File = ?1 AND Line = ?2");
    sqlite3_bind_int64(m_drop.get(), 1, m_file);
}

void ArchiveWriter::add(const KeptReading& reading, std::uint64_t lineHash, bool whole)
{
    if (m_file == 0)
        openFile(lineHash);
    ++m_line;
    if (!whole) {
        if (m_result.notKept++ == 0)
            m_result.firstNotKept = static_cast<std::size_t>(m_line);
        sqlite3_bind_int64(m_drop.get(), 2, m_line);
        run(m_drop.get());
        return;
    }
    sqlite3_stmt* const insert = m_insert.get();
    const RecordRow& row = reading.row;
    sqlite3_bind_int64(insert, 2, m_line);
    sqlite3_bind_double(insert, 4, row.Time);
    sqlite3_bind_double(insert, 5, row.Temperature);
    sqlite3_bind_int(insert, 6, row.Humidity);
    sqlite3_bind_double(insert, 7, row.Dewpoint);
    sqlite3_bind_double(insert, 8, row.Heatindex);
    sqlite3_bind_int(insert, 9, reading.fahrenheit ? 1 : 0);
    run(insert);
}

ArchiveWriteResult ArchiveWriter::finish(const std::string& unitLabel)
{
    if (m_file == 0)
        return m_result; // no reading line: nothing of this file to keep
    // The count walks the file's part of the key only.
    Statement count = prepare("UPDATE history.Files SET UnitLabel = ?2, DateOrder = ?3, "
                              "Rows = (SELECT count(*) FROM history.Readings WHERE File = ?1) "
                              "WHERE Id = ?1 RETURNING Rows");
    sqlite3_bind_int64(count.get(), 1, m_file);
    sqlite3_bind_text(count.get(), 2, unitLabel.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(count.get(), 3, m_dateOrder.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(count.get()) != SQLITE_ROW)
        fail();
    m_result.added = sqlite3_column_int64(count.get(), 0) - m_rowsBefore;
    return m_result;
}

float ConvertTemperature(float value, bool fromFahrenheit, bool toFahrenheit)
{
    if (fromFahrenheit == toFahrenheit || value == float(NoValue) || !std::isfinite(value))
        return value;
    // Tenths as integers: neither direction meets a tie, so the rounding is exact.
    const double tenths = std::round(double(value) * 10.0);
    const double converted = toFahrenheit ? std::round(tenths * 9.0 / 5.0) + 320.0
                                          : std::round((tenths - 320.0) * 5.0 / 9.0);
    return static_cast<float>(converted / 10.0);
}

} // namespace nimbra
