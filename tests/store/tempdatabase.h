#pragma once

#include "recordstore.h"
#include "sqlitehandles.h"

#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

namespace nimbra::test {

// A copy of the template database in a temporary folder, with direct SQL for set-up and checks.
class TempDatabase
{
public:
    TempDatabase()
    {
        std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, m_path);
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path folder() const { return m_path.parent_path(); }

    // Runs statements; returns SQLite's message, empty when all went well.
    std::string exec(const std::string& sql) const
    {
        Database db = connect();
        char* error = nullptr;
        sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error);
        const std::string text = error ? error : "";
        sqlite3_free(error);
        return text;
    }

    // Every stored row in insertion order.
    std::vector<RecordRow> rows() const
    {
        Database db = connect();
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db.get(),
                           "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
                           "ORDER BY rowid",
                           -1, &raw, nullptr);
        const Statement query(raw);
        std::vector<RecordRow> result;
        while (raw && sqlite3_step(raw) == SQLITE_ROW)
            result.push_back(
                {sqlite3_column_double(raw, 0), static_cast<float>(sqlite3_column_double(raw, 1)),
                 sqlite3_column_int(raw, 2), static_cast<float>(sqlite3_column_double(raw, 3)),
                 static_cast<float>(sqlite3_column_double(raw, 4))});
        return result;
    }

private:
    Database connect() const
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(m_path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        return Database(raw);
    }

    QTemporaryDir m_folder;
    std::filesystem::path m_path = m_folder.filePath(QStringLiteral("7100.db")).toStdString();
};

} // namespace nimbra::test
