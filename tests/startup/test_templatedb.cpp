#include "sqlitehandles.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using nimbra::Database;
using nimbra::Statement;
using Rows = std::vector<std::vector<std::string>>;

Database OpenTemplate()
{
    sqlite3* raw = nullptr;
    sqlite3_open_v2(NIMBRA_TEMPLATE_DB, &raw, SQLITE_OPEN_READONLY, nullptr);
    return Database(raw);
}

// The given columns of every row of a query, as text.
Rows Query(sqlite3* db, const char* sql, std::vector<int> columns)
{
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &raw, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    const Statement statement(raw);
    Rows rows;
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int column : columns) {
            const auto* text = sqlite3_column_text(statement.get(), column);
            row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
    }
    return rows;
}

} // namespace

TEST(TemplateDatabase, HoldsRecordsAndParamWithTheirColumns)
{
    const Database db = OpenTemplate();
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(sqlite3_errcode(db.get()), SQLITE_OK) << sqlite3_errmsg(db.get());

    EXPECT_EQ(
        Query(db.get(), "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name", {0}),
        (Rows{{"Param"}, {"Records"}}));
    // table_info: column 1 is the name, column 2 the declared type.
    EXPECT_EQ(Query(db.get(), "PRAGMA table_info(Records)", {1, 2}), (Rows{{"Time", "REAL"},
                                                                           {"Temperature", "REAL"},
                                                                           {"Humidity", "INTEGER"},
                                                                           {"Dewpoint", "REAL"},
                                                                           {"Heatindex", "REAL"}}));
    EXPECT_EQ(Query(db.get(), "PRAGMA table_info(Param)", {1, 2}),
              (Rows{{"Name", "TEXT"}, {"Value", "TEXT"}}));
    EXPECT_EQ(Query(db.get(), "SELECT count(*) FROM Records", {0}), (Rows{{"0"}}));
}

TEST(TemplateDatabase, RecordsAreIndexedByTime)
{
    const Database db = OpenTemplate();
    ASSERT_NE(db, nullptr);
    const Rows indexes = Query(db.get(), "PRAGMA index_list(Records)", {1});
    ASSERT_EQ(indexes.size(), 1u);
    const std::string sql = "PRAGMA index_info(" + indexes[0][0] + ")";
    // Time alone: a row and its index entry stay near 60 bytes.
    EXPECT_EQ(Query(db.get(), sql.c_str(), {2}), (Rows{{"Time"}}));
}
