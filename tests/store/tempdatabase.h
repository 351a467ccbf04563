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
    std::string exec(const std::string& sql) const { return Exec(m_path, sql); }
    std::vector<RecordRow> rows() const { return Rows(m_path); }

    // Runs statements on any database; returns SQLite's message, empty when all went well.
    static std::string Exec(const std::filesystem::path& database, const std::string& sql)
    {
        Database db = Connect(database);
        char* error = nullptr;
        sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error);
        const std::string text = error ? error : "";
        sqlite3_free(error);
        return text;
    }

    // Every stored row in insertion order.
    static std::vector<RecordRow> Rows(const std::filesystem::path& database)
    {
        Database db = Connect(database);
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

    // The first column of every row of a query, as text.
    static std::vector<std::string> Query(const std::filesystem::path& database,
                                          const std::string& sql)
    {
        Database db = Connect(database);
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr);
        const Statement query(raw);
        std::vector<std::string> result;
        while (raw && sqlite3_step(raw) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(raw, 0);
            result.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
        return result;
    }

    static Database Connect(const std::filesystem::path& database)
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        return Database(raw);
    }

private:
    QTemporaryDir m_folder;
    std::filesystem::path m_path = m_folder.filePath(QStringLiteral("7100.db")).toStdString();
};

} // namespace nimbra::test
