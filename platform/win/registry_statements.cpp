#include "platform/win/registry_statements.h"

#include <sqlite3.h>

#include <cassert>
#include <climits>

#include "platform/win/last_error.h"
#include "platform/win/registry_hive_check.h"

namespace pavo {
namespace reg {

namespace {

// The tables as the first schema made them; kept as written, since SQLite
// keeps the text and a file's schema is compared with it.
const char* const kTables =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"    // UTF-16LE, as created
    "  folded BLOB NOT NULL,"  // FoldName(name)
    "  class BLOB NOT NULL,"   // UTF-16LE
    "  written INTEGER NOT NULL,"
    // What RegQueryInfoKeyW reports, kept up to date by every change so that
    // asking costs one row, as a Windows key node holds them too.
    "  nsub INTEGER NOT NULL DEFAULT 0,"
    "  maxsub INTEGER NOT NULL DEFAULT 0,"    // characters
    "  maxclass INTEGER NOT NULL DEFAULT 0,"  // characters
    "  nval INTEGER NOT NULL DEFAULT 0,"
    "  maxname INTEGER NOT NULL DEFAULT 0,"   // characters
    "  maxdata INTEGER NOT NULL DEFAULT 0);"  // bytes
    "CREATE UNIQUE INDEX keys_child ON keys(parent, folded);"
    "CREATE TABLE vals("
    "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"  // creation order, kept on update
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_name ON vals(key, folded);"
    "CREATE INDEX vals_order ON vals(key);";

// Version 2: the lengths of each key's names, classes and data in order, so
// that a removal finds the new largest in O(log n) instead of counting again.
const char* const kLengthIndexes =
    "CREATE INDEX keys_name_length ON keys(parent, length(name));"
    "CREATE INDEX keys_class_length ON keys(parent, length(class));"
    "CREATE INDEX vals_name_length ON vals(key, length(name));"
    "CREATE INDEX vals_data_length ON vals(key, length(data));";

// Every key below a start. UNION, not UNION ALL: a key met again (parent
// links that loop in a damaged file) is not queued again, so the walk ends.
#define TREE_OF(start)              \
  "WITH RECURSIVE t(id) AS (" start \
  " UNION SELECT keys.id FROM keys JOIN t ON keys.parent = t.id) "

// The largest lengths of a key's sub-keys and values, each one step down an
// index (a bare max() in its own sub-select, which SQLite answers so).
#define LONGEST(column, table, owner) \
  "coalesce((SELECT max(length(" column ")) FROM " table " WHERE " owner " = ?1), 0)"

// In the order of StatementId.
const char* const kStatementSql[] = {
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "SELECT class, written, nsub, maxsub, maxclass, nval, maxname, maxdata FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, folded, class, written) VALUES(?1, ?2, ?3, ?4, ?5)",
    "UPDATE keys SET nsub = nsub + 1, maxsub = max(maxsub, ?2), maxclass = max(maxclass, ?3),"
    " written = ?4 WHERE id = ?1",
    "UPDATE keys SET nsub = nsub - 1, maxsub = " LONGEST("name", "keys", "parent") " / 2,"
    " maxclass = " LONGEST("class", "keys", "parent") " / 2, written = ?2 WHERE id = ?1",
    "SELECT length(data) FROM vals WHERE key = ?1 AND folded = ?2",
    "UPDATE keys SET nval = nval + ?2, maxname = max(maxname, ?3), maxdata = max(maxdata, ?4),"
    " written = ?5 WHERE id = ?1",
    "UPDATE keys SET nval = nval - ?3, maxname = " LONGEST("name", "vals", "key") " / 2,"
    " maxdata = " LONGEST("data", "vals", "key") ", written = ?2 WHERE id = ?1",
    "UPDATE keys SET nsub = 0, maxsub = 0, maxclass = 0, nval = 0, maxname = 0, maxdata = 0,"
    " written = ?2 WHERE id = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2",
    "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND folded = ?2",
    "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT name, class, written, folded FROM keys WHERE parent = ?1 ORDER BY folded"
    " LIMIT 1 OFFSET ?2",
    "SELECT name, class, written, folded FROM keys WHERE parent = ?1 AND folded > ?2"
    " ORDER BY folded LIMIT 1",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT 1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    // A key below ?1 that is ?1 itself or the root: the parent links loop.
    TREE_OF("SELECT id FROM keys WHERE parent = ?1") "SELECT 1 FROM t WHERE id = ?1 OR id = 1"
    " LIMIT 1",
    TREE_OF("SELECT ?1") "DELETE FROM vals WHERE key IN t",
    TREE_OF("SELECT ?1") "DELETE FROM keys WHERE id IN t",
    TREE_OF("SELECT id FROM keys WHERE parent = ?1") "DELETE FROM vals WHERE key IN t",
    TREE_OF("SELECT id FROM keys WHERE parent = ?1") "DELETE FROM keys WHERE id IN t",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT parent FROM keys WHERE id = ?1",
    "SELECT name, class, written, folded FROM keys WHERE parent = ?1 ORDER BY folded",
    "SELECT page_count * page_size FROM pragma_page_count, pragma_page_size",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};
static_assert(sizeof kStatementSql / sizeof kStatementSql[0] == kStatementCount,
              "one SQL text per statement id");

// Zero-length blobs need a non-null pointer, or SQLite binds NULL.
const unsigned char kEmpty[1] = {0};

}  // namespace

std::string SchemaSql(int version) {
  return std::string(kTables) + (version >= 2 ? kLengthIndexes : "");
}

std::string MigrationSql(int fromVersion) {
  assert(fromVersion == 1);
  (void)fromVersion;
  return std::string(kLengthIndexes) + "PRAGMA user_version=2;";
}

std::string NewHiveSql(uint64_t now) {
  return SchemaSql(kSchemaVersion) +
         "INSERT INTO keys(id, parent, name, folded, class, written) "
         "VALUES(1, 0, x'', x'', x'', " +
         std::to_string(now) + ");" +
         "PRAGMA application_id=" + std::to_string(kApplicationId) + ";" +
         "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
}

const char* StatementSql(StatementId id) {
  assert(id >= 0 && id < kStatementCount);
  return kStatementSql[id];
}

PreparedStatements::~PreparedStatements() {
  for (sqlite3_stmt* st : m_statements) sqlite3_finalize(st);
}

int PreparedStatements::Prepare(sqlite3* db) {
  for (int i = 0; i < kStatementCount; ++i) {
    const int rc = sqlite3_prepare_v3(db, kStatementSql[i], -1, SQLITE_PREPARE_PERSISTENT,
                                      &m_statements[i], nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

sqlite3_stmt* PreparedStatements::Get(StatementId id) const {
  // Every statement is prepared before the hive runs any: a null here would
  // make SQLite step nothing and report success.
  assert(id >= 0 && id < kStatementCount && m_statements[id] != nullptr);
  return m_statements[id];
}

ScopedStatement::~ScopedStatement() {
  sqlite3_reset(m_statement);
  sqlite3_clear_bindings(m_statement);
}

LONG MapSqlite(int rc, bool write) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kRetry;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    case SQLITE_IOERR:
      return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    default:  // CORRUPT, NOTADB, SCHEMA, MISMATCH, ...
      return ERROR_BADDB;
  }
}

bool SqliteSucceeded(int rc) { return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE; }

std::string ToBlob(const WideString& s) {
  std::string out(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned u = static_cast<unsigned>(s[i]);
    out[2 * i] = static_cast<char>(u & 0xFF);
    out[2 * i + 1] = static_cast<char>(u >> 8);
  }
  return out;
}

WideString ColumnWide(sqlite3_stmt* st, int col) {
  const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
  const int bytes = sqlite3_column_bytes(st, col);
  WideString out;
  if (p == nullptr || bytes <= 0) return out;
  const size_t units = static_cast<size_t>(bytes) / 2;  // an odd last byte is ignored
  out.resize(units);
  for (size_t i = 0; i < units; ++i) {
    out[i] = static_cast<WCHAR>(p[2 * i] | (p[2 * i + 1] << 8));
  }
  return out;
}

uint64_t ColumnCount(sqlite3_stmt* st, int col) {
  const sqlite3_int64 v = sqlite3_column_int64(st, col);
  return v < 0 ? 0 : static_cast<uint64_t>(v);
}

void ColumnBytes(sqlite3_stmt* st, int col, std::vector<BYTE>* out) {
  const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(st, col));
  const int bytes = sqlite3_column_bytes(st, col);
  if (p != nullptr && bytes > 0) {
    out->assign(p, p + bytes);
  } else {
    out->clear();
  }
}

SubKeyEntry ColumnSubKey(sqlite3_stmt* st) {
  SubKeyEntry e;
  e.name = ColumnWide(st, 0);
  e.cls = ColumnWide(st, 1);
  e.lastWrite = ColumnCount(st, 2);
  const auto* folded = static_cast<const char*>(sqlite3_column_blob(st, 3));
  const int foldedBytes = sqlite3_column_bytes(st, 3);
  e.followable = FollowableKeyName(
      e.name, folded == nullptr ? std::string()
                                : std::string(folded, static_cast<size_t>(foldedBytes)));
  return e;
}

int BindBlob(sqlite3_stmt* st, int index, const void* data, size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) return SQLITE_TOOBIG;
  return sqlite3_bind_blob(st, index, size == 0 ? kEmpty : data, static_cast<int>(size),
                           SQLITE_TRANSIENT);
}

int BindBlob(sqlite3_stmt* st, int index, const std::string& s) {
  return BindBlob(st, index, s.data(), s.size());
}

}  // namespace reg
}  // namespace pavo
