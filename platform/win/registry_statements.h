// The hive's SQLite schema and prepared statements, and the helpers that
// bind their parameters, read their columns and map their results to
// Windows error codes (internal to the registry).
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_STATEMENTS_H
#define PAVORM_PLATFORM_WIN_REGISTRY_STATEMENTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/registry_hive.h"
#include "platform/win/wide_text.h"
#include "platform/win/win_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pavo {
namespace reg {

// "PRHV" in PRAGMA application_id marks a file as one of our hives.
constexpr int kApplicationId = 0x50524856;
// 1: the tables; 2: indexes on the lengths of names, classes and data.
constexpr int kSchemaVersion = 2;
constexpr int kOldestSchemaVersion = 1;

// The tables and indexes of a hive of schema version (1 or 2).
std::string SchemaSql(int version);
// What turns a hive of schema fromVersion into one of kSchemaVersion; run
// inside one write transaction.
std::string MigrationSql(int fromVersion);
// The SQL that makes an empty database into a hive whose root key was
// written at `now` (FILETIME units); run inside a write transaction.
std::string NewHiveSql(uint64_t now);

enum StatementId : int {
  kFindChild,
  kKeyRow,
  kInsertKey,
  kAddSubKey,
  kSubKeyRemoved,
  kValueLength,
  kAddValue,
  kValuesShrunk,
  kClearSizes,
  kGetValue,
  kUpdateValue,
  kInsertValue,
  kDeleteValue,
  kEnumKey,
  kEnumKeyAfter,
  kEnumValue,
  kEnumValueAfter,
  kHasChild,
  kTreeLoops,
  kTreeValues,
  kTreeKeys,
  kChildTreesValues,
  kChildTreesKeys,
  kOwnValues,
  kParentOf,
  kChildren,
  kDatabaseBytes,
  kBeginRead,
  kBeginWrite,
  kCommit,
  kRollback,
  kStatementCount
};

// The SQL text of a statement.
const char* StatementSql(StatementId id);

// Every statement of the hive, prepared once for its connection.
class PreparedStatements {
 public:
  PreparedStatements() = default;
  ~PreparedStatements();
  PreparedStatements(const PreparedStatements&) = delete;
  PreparedStatements& operator=(const PreparedStatements&) = delete;
  // Prepares every statement on db: SQLITE_OK, or the first failure.
  int Prepare(sqlite3* db);
  sqlite3_stmt* Get(StatementId id) const;

 private:
  sqlite3_stmt* m_statements[kStatementCount] = {};
};

// Resets a prepared statement and clears its bindings whatever way the scope
// is left, so that the next use starts from nothing.
class ScopedStatement {
 public:
  explicit ScopedStatement(sqlite3_stmt* statement) : m_statement(statement) {}
  ~ScopedStatement();
  ScopedStatement(const ScopedStatement&) = delete;
  ScopedStatement& operator=(const ScopedStatement&) = delete;
  sqlite3_stmt* get() const { return m_statement; }

 private:
  sqlite3_stmt* m_statement;
};

// Internal result of MapSqlite: the database was busy, run the operation again.
constexpr LONG kRetry = -1;

// An SQLite result as a Windows error code (write: whether the operation writes).
LONG MapSqlite(int rc, bool write);
// Whether rc is one of SQLite's success codes (OK, ROW, DONE).
bool SqliteSucceeded(int rc);

// Names and classes are stored as UTF-16LE bytes.
std::string ToBlob(const WideString& s);
// Column col as UTF-16LE text; an odd last byte is ignored.
WideString ColumnWide(sqlite3_stmt* st, int col);
// Column col as a count; a negative number counts as 0.
uint64_t ColumnCount(sqlite3_stmt* st, int col);
void ColumnBytes(sqlite3_stmt* st, int col, std::vector<BYTE>* out);
// A row of name, class, written, folded, as the sub-key queries give them.
SubKeyEntry ColumnSubKey(sqlite3_stmt* st);
// Binds size bytes (SQLITE_TOOBIG past INT_MAX); zero bytes bind an empty
// blob, never NULL.
int BindBlob(sqlite3_stmt* st, int index, const void* data, size_t size);
int BindBlob(sqlite3_stmt* st, int index, const std::string& s);

}  // namespace reg
}  // namespace pavo

#endif
