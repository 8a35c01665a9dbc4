// Checking a hive file's schema and content before it is used
// (registry_hive_check.h).
#include "platform/win/registry_hive_check.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win/last_error.h"
#include "platform/win/registry_hive.h"
#include "platform/win/registry_statements.h"

namespace pavo {
namespace reg {

namespace {

// Runs a one-row query and gives its first column as a number.
int QueryNumber(sqlite3* db, const char* sql, sqlite3_int64* out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      *out = sqlite3_column_int64(st, 0);
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      rc = SQLITE_CORRUPT;  // every check query gives one row
    }
  }
  sqlite3_finalize(st);
  return rc;
}

// The schema objects of db, one text per object, sorted.
int ReadSchema(sqlite3* db, std::vector<std::string>* out) {
  out->clear();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(
      db, "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master", -1, &st, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::string row;
    for (int col = 0; col < 4; ++col) {
      const auto* text = sqlite3_column_text(st, col);
      row += text == nullptr ? "" : reinterpret_cast<const char*>(text);
      row += '\n';
    }
    out->push_back(std::move(row));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  std::sort(out->begin(), out->end());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The schema objects a hive of version has, as SQLite records them when the
// schema is made (so that its way of keeping the text is compared too).
const std::vector<std::string>& ExpectedSchema(int version) {
  static const std::vector<std::string> schemas[2] = {
      [] {
        std::vector<std::string> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open(":memory:", &db) == SQLITE_OK &&
            sqlite3_exec(db, SchemaSql(1).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
          ReadSchema(db, &rows);
        }
        sqlite3_close(db);
        return rows;
      }(),
      [] {
        std::vector<std::string> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open(":memory:", &db) == SQLITE_OK &&
            sqlite3_exec(db, SchemaSql(2).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
          ReadSchema(db, &rows);
        }
        sqlite3_close(db);
        return rows;
      }(),
  };
  return schemas[version == 1 ? 0 : 1];
}

// Each is one number, 0 for a sound hive.
const char* const kContentChecks[] = {
    // The root: key 1, no parent, no name.
    "SELECT count(*) != 1 FROM keys WHERE id = 1 AND parent = 0 AND name = x'' AND folded = x''",
    // Every key reached from the root once: parent links neither loop nor
    // lead outside the tree. (UNION ends on a loop: nothing is queued twice.)
    "WITH RECURSIVE t(id) AS (SELECT 1 UNION SELECT keys.id FROM keys JOIN t"
    " ON keys.parent = t.id AND keys.id != 1)"
    " SELECT (SELECT count(*) FROM t) != (SELECT count(*) FROM keys)",
    "SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)",
    // Columns of the types the hive writes; names and classes whole units;
    // key names of 1 to 255 units, value names of at most 16383.
    "SELECT count(*) FROM keys WHERE typeof(parent) != 'integer' OR typeof(name) != 'blob'"
    " OR typeof(folded) != 'blob' OR typeof(class) != 'blob' OR typeof(written) != 'integer'"
    " OR typeof(nsub) != 'integer' OR typeof(maxsub) != 'integer'"
    " OR typeof(maxclass) != 'integer' OR typeof(nval) != 'integer'"
    " OR typeof(maxname) != 'integer' OR typeof(maxdata) != 'integer'"
    " OR length(name) % 2 != 0 OR length(class) % 2 != 0 OR length(folded) != length(name)"
    " OR (id != 1 AND (length(name) < 2 OR length(name) > 510))",
    "SELECT count(*) FROM vals WHERE typeof(key) != 'integer' OR typeof(name) != 'blob'"
    " OR typeof(folded) != 'blob' OR typeof(type) != 'integer' OR typeof(data) != 'blob'"
    " OR length(name) % 2 != 0 OR length(folded) != length(name) OR length(name) > 32766"
    " OR type < 0 OR type > 4294967295",
    // Counts and largest sizes as the rows have them.
    "SELECT count(*) FROM keys AS k WHERE"
    " nsub != (SELECT count(*) FROM keys AS c WHERE c.parent = k.id AND c.id != 1)"
    " OR maxsub != coalesce((SELECT max(length(name)) FROM keys AS c WHERE c.parent = k.id"
    " AND c.id != 1), 0) / 2"
    " OR maxclass != coalesce((SELECT max(length(class)) FROM keys AS c WHERE c.parent = k.id"
    " AND c.id != 1), 0) / 2"
    " OR nval != (SELECT count(*) FROM vals WHERE key = k.id)"
    " OR maxname != coalesce((SELECT max(length(name)) FROM vals WHERE key = k.id), 0) / 2"
    " OR maxdata != coalesce((SELECT max(length(data)) FROM vals WHERE key = k.id), 0)",
};

// Whether every stored name folds to its stored folded form (and, for
// keys, can be followed), which SQL cannot tell.
int CheckNames(sqlite3* db, bool keys, bool* sound) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              keys ? "SELECT name, folded FROM keys WHERE id != 1"
                                   : "SELECT name, folded FROM vals",
                              -1, &st, nullptr);
  *sound = true;
  while (rc == SQLITE_OK && *sound && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    const WideString name = ColumnWide(st, 0);
    const auto* folded = static_cast<const char*>(sqlite3_column_blob(st, 1));
    const std::string stored =
        folded == nullptr ? std::string()
                          : std::string(folded, static_cast<size_t>(sqlite3_column_bytes(st, 1)));
    *sound = keys ? FollowableKeyName(name, stored) : FoldName(name) == stored;
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  return rc == SQLITE_DONE || rc == SQLITE_OK ? SQLITE_OK : rc;
}

}  // namespace

bool FollowableKeyName(const WideString& name, const std::string& folded) {
  if (name.empty() || name.size() > kMaxKeyNameLength) return false;
  for (WCHAR c : name) {
    if (c == 0 || c == u'\\') return false;
  }
  return FoldName(name) == folded;
}

LONG CheckSchema(sqlite3* db, int* version) {
  std::vector<std::string> rows;
  const int rc = ReadSchema(db, &rows);
  if (rc != SQLITE_OK) return MapSqlite(rc, false);
  for (int v = kOldestSchemaVersion; v <= kSchemaVersion; ++v) {
    const std::vector<std::string>& expected = ExpectedSchema(v);
    if (!expected.empty() && rows == expected) {
      *version = v;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_BADDB;
}

LONG CheckHiveContent(sqlite3* db) {
  sqlite3_stmt* check = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &check, nullptr);
  bool sound = false;
  if (rc == SQLITE_OK && (rc = sqlite3_step(check)) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(check, 0);
    sound = text != nullptr && std::strcmp(reinterpret_cast<const char*>(text), "ok") == 0;
    rc = SQLITE_OK;
  }
  sqlite3_finalize(check);
  if (rc != SQLITE_OK) return MapSqlite(rc, false);
  if (!sound) return ERROR_BADDB;
  for (const char* sql : kContentChecks) {
    sqlite3_int64 faults = 0;
    rc = QueryNumber(db, sql, &faults);
    if (rc != SQLITE_OK) return MapSqlite(rc, false);
    if (faults != 0) return ERROR_BADDB;
  }
  for (bool keys : {true, false}) {
    rc = CheckNames(db, keys, &sound);
    if (rc != SQLITE_OK) return MapSqlite(rc, false);
    if (!sound) return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

}  // namespace reg
}  // namespace pavo
