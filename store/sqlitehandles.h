#pragma once

#include <memory>
#include <sqlite3.h>

namespace nimbra {

// Owning handles of the SQLite C API: a connection closes and a statement finalises with its
// owner.
struct CloseDatabase
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

} // namespace nimbra
