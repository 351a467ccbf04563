// Builds the template database from a schema script: maketemplate SCHEMA.sql OUTPUT.db

#include "sqlitehandles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

using nimbra::Database;
using nimbra::Statement;

bool ReadFile(const std::filesystem::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return static_cast<bool>(in);
}

// Runs every statement of the script; reports the first failure with the database's message.
bool RunScript(sqlite3* db, const std::string& script)
{
    const char* next = script.c_str();
    while (*next != '\0') {
        sqlite3_stmt* raw = nullptr;
        const char* rest = nullptr;
        if (sqlite3_prepare_v2(db, next, -1, &raw, &rest) != SQLITE_OK) {
            std::cerr << "maketemplate: " << sqlite3_errmsg(db) << '\n';
            return false;
        }
        const Statement statement(raw);
        next = rest;
        if (!statement)
            continue; // only comments or white space were left
        if (sqlite3_step(statement.get()) != SQLITE_DONE) {
            std::cerr << "maketemplate: " << sqlite3_errmsg(db) << '\n';
            return false;
        }
    }
    return true;
}

bool BuildDatabase(const std::filesystem::path& path, const std::string& script)
{
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const Database db(raw);
    if (opened != SQLITE_OK) {
        std::cerr << "maketemplate: cannot create " << path << ": "
                  << (db ? sqlite3_errmsg(db.get()) : "out of memory") << '\n';
        return false;
    }
    return RunScript(db.get(), script);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: maketemplate SCHEMA.sql OUTPUT.db\n";
        return 2;
    }
    const std::filesystem::path schema = argv[1];
    const std::filesystem::path output = argv[2];
    std::string script;
    if (!ReadFile(schema, script)) {
        std::cerr << "maketemplate: cannot read " << schema << '\n';
        return 1;
    }
    // Built beside the target and renamed, so a failed run never leaves a half-made template.
    std::filesystem::path partial = output;
    partial += ".partial";
    std::error_code ignored;
    std::filesystem::create_directories(output.parent_path(), ignored);
    std::filesystem::remove(partial, ignored);
    if (!BuildDatabase(partial, script)) {
        std::filesystem::remove(partial, ignored);
        return 1;
    }
    std::error_code renamed;
    std::filesystem::rename(partial, output, renamed);
    if (renamed) {
        std::cerr << "maketemplate: cannot write " << output << ": " << renamed.message() << '\n';
        return 1;
    }
    return 0;
}
