// A hive's key and value operations, its transactions and opening its file.
// The schema and SQL statements are in registry_statements.cpp, the read
// cache over SQLite's WAL index in registry_read_cache.cpp.
#include "platform/win/registry_hive.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/uchar.h>

#include <cassert>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/win/last_error.h"
#include "platform/win/registry_hive_check.h"
#include "platform/win/registry_read_cache.h"
#include "platform/win/registry_read_only.h"
#include "platform/win/registry_statements.h"

namespace pavo {
namespace reg {

namespace {

// SQLite waits this long for another connection's lock before reporting busy;
// RunInTransaction() then retries the whole operation until kRetryBudget has
// passed.
constexpr int kBusyTimeoutMs = 2000;
constexpr std::chrono::seconds kRetryBudget(60);

LONG MapErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_CANTOPEN;
  }
}

}  // namespace

std::string FoldName(const WideString& name) {
  std::string out(name.size() * 2, '\0');
  for (size_t i = 0; i < name.size(); ++i) {
    UChar32 u = static_cast<UChar32>(static_cast<unsigned>(name[i]));
    if (u < 0x80) {
      if (u >= 'a' && u <= 'z') u -= 'a' - 'A';  // the common case, without a table lookup
    } else if (u < 0xD800 || u > 0xDFFF) {
      const UChar32 up = u_toupper(u);
      if (up <= 0xFFFF) u = up;
    }
    out[2 * i] = static_cast<char>((u >> 8) & 0xFF);
    out[2 * i + 1] = static_cast<char>(u & 0xFF);
  }
  return out;
}

uint64_t FileTimeNow() {
  using namespace std::chrono;
  // FILETIME counts 100-ns units from 1601-01-01; the Unix epoch is 11644473600 s later.
  const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  const int64_t units = since / 100 + INT64_C(116444736000000000);
  return units < 0 ? 0 : static_cast<uint64_t>(units);
}

int Hive::ReadChildren(KeyId key, std::vector<SubKeyEntry>* out) {
  // RunInTransaction() calls this again when the database was busy: start
  // from nothing, or a retry would list the rows of the first attempt twice.
  out->clear();
  ScopedStatement q(m_stmts->Get(kChildren));
  sqlite3_bind_int64(q.get(), 1, key);
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    if (out->size() >= ReadCache::kMaxCachedChildren) return ERROR_MORE_DATA;  // too many to keep
    out->push_back(ColumnSubKey(q.get()));
  }
  if (rc != SQLITE_DONE) return MapSqlite(rc, false);
  // No children: tell a childless key from one that is gone.
  return out->empty() ? CheckKey(key, ERROR_SUCCESS, false) : ERROR_SUCCESS;
}

bool Hive::CacheCurrent() { return m_cache != nullptr && m_cache->Current(); }

Hive::~Hive() {
  m_stmts.reset();
  if (m_db != nullptr) sqlite3_close_v2(m_db);
}

int Hive::Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

// Runs BEGIN, COMMIT or ROLLBACK: prepared once the statements are, compiled
// each time before (while the file is checked).
int Hive::ExecuteTransactionStatement(StatementId statement) {
  if (!m_stmts) return Exec(StatementSql(statement));
  ScopedStatement q(m_stmts->Get(statement));
  const int rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

namespace {

// Whether this process may change the hive: write the file and make (and
// remove) the -wal and -shm files beside it.
bool MayWrite(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  return ::access(path.c_str(), W_OK) == 0 && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

LONG Hive::Open(const std::string& path, std::shared_ptr<Hive>* out) {
  if (path.empty() || path.find('\0') != std::string::npos) return ERROR_INVALID_PARAMETER;
  // The file is made here, not by SQLite: so it gets mode 0600 whatever the
  // umask, and SQLite is never asked to create (so never to replace) a file.
  bool fresh = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    fresh = true;
    (void)::fchmod(fd, 0600);
    ::close(fd);
  } else if (errno != EEXIST) {
    return MapErrno(errno);
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return MapErrno(errno);
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  if (!S_ISREG(st.st_mode)) return ERROR_BADDB;

  std::shared_ptr<Hive> hive(new Hive);
  hive->m_path = path;
  hive->m_readOnly = !MayWrite(path);
  int rc = SQLITE_OK;
  if (hive->m_readOnly) {
    bool copy = false;  // read from memory, as the file was (registry_read_only.h)
    const LONG opened = OpenReadOnlyConnection(path, &hive->m_db, &copy);
    if (opened != ERROR_SUCCESS) return opened;
  } else {
    rc = sqlite3_open_v2(path.c_str(), &hive->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                         nullptr);
    if (rc != SQLITE_OK) return MapSqlite(rc, false) == kRetry ? ERROR_BUSY : ERROR_CANTOPEN;
  }
  sqlite3_extended_result_codes(hive->m_db, 1);
  sqlite3_busy_timeout(hive->m_db, kBusyTimeoutMs);
  // A file's schema is checked before use, but what it names is never
  // trusted: no functions from it, no writes to the schema itself.
  sqlite3_db_config(hive->m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(hive->m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  // Everything before the switch to WAL only reads: a file that is not a
  // sound hive is refused as it was found.
  int version = 0;
  LONG result = hive->InitFile(&version);
  if (result != ERROR_SUCCESS) return result;
  if (!fresh && (result = hive->CheckContent()) != ERROR_SUCCESS) return result;
  if (!hive->m_readOnly) {
    // Readers never wait for a writer in WAL mode; NORMAL sync keeps every
    // committed transaction through a crash of the process.
    rc = hive->Exec("PRAGMA journal_mode=WAL");
    if (rc != SQLITE_OK) return MapSqlite(rc, true) == kRetry ? ERROR_BUSY : MapSqlite(rc, true);
    hive->Exec("PRAGMA synchronous=NORMAL");
    if (version < kSchemaVersion && (result = hive->Migrate(version)) != ERROR_SUCCESS) {
      return result;
    }
  }
  hive->m_stmts.reset(new PreparedStatements);
  rc = hive->m_stmts->Prepare(hive->m_db);
  if (rc != SQLITE_OK) return ERROR_BADDB;
  if (!hive->m_readOnly) {
    // A read makes SQLite create the -shm file, which the cache watches.
    KeyInfo ignored;
    if (hive->QueryInfo(hive->Root(), &ignored) == ERROR_SUCCESS) {
      hive->m_cache = ReadCache::ForConnection(hive->m_db);
    }
  }
  *out = std::move(hive);
  return ERROR_SUCCESS;
}

// Checks that the file is one of our hives, of a schema version this code
// knows (in *version), or makes an empty file into one.
LONG Hive::InitFile(int* version) {
  return RunInTransaction(false, [&]() -> LONG {
    // A read transaction sees the file as it is: a foreign file is left as found.
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
                                "SELECT (SELECT application_id FROM pragma_application_id), "
                                "(SELECT user_version FROM pragma_user_version), "
                                "(SELECT count(*) FROM sqlite_master)",
                                -1, &st, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_finalize(st);
      return MapSqlite(rc, false);
    }
    rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
      sqlite3_finalize(st);
      return MapSqlite(rc, false);
    }
    const int appId = sqlite3_column_int(st, 0);
    const int stored = sqlite3_column_int(st, 1);
    const sqlite3_int64 objects = sqlite3_column_int64(st, 2);
    sqlite3_finalize(st);
    if (appId == kApplicationId) {
      if (stored < kOldestSchemaVersion || stored > kSchemaVersion) return ERROR_BADDB;
      // Our marks over tables that are not exactly ours are not a hive.
      const LONG schema = CheckSchema(m_db, version);
      if (schema != ERROR_SUCCESS) return schema;
      return *version == stored ? ERROR_SUCCESS : ERROR_BADDB;
    }
    if (appId != 0 || objects != 0) return ERROR_BADDB;
    if (m_readOnly) return ERROR_ACCESS_DENIED;
    // An empty database: make it a hive. Upgrading to a write transaction can
    // meet another process doing the same; then both start again.
    const std::string sql = NewHiveSql(FileTimeNow());
    rc = Exec(sql.c_str());
    if (rc != SQLITE_OK) return MapSqlite(rc, true);
    rc = Exec("COMMIT");
    *version = kSchemaVersion;
    return MapSqlite(rc, true);
  });
}

LONG Hive::CheckContent() {
  return RunInTransaction(false, [&]() -> LONG { return CheckHiveContent(m_db); });
}

// Brings a hive of schema fromVersion up to date, all of it or nothing. The
// version is read again inside the write transaction: another process may
// have migrated the file meanwhile.
LONG Hive::Migrate(int fromVersion) {
  return RunInTransaction(true, [&]() -> LONG {
    int now = 0;
    const LONG schema = CheckSchema(m_db, &now);
    if (schema != ERROR_SUCCESS) return schema;
    if (now == kSchemaVersion) return ERROR_SUCCESS;
    if (now != fromVersion) return ERROR_BADDB;
    return MapSqlite(Exec(MigrationSql(fromVersion).c_str()), true);
  });
}

// Runs body in one read or write transaction and commits what it did when it
// succeeds (rolls back otherwise); a busy database runs it again, with
// back-off, until kRetryBudget has passed (then ERROR_BUSY).
template <typename Body>
LONG Hive::RunInTransaction(bool write, Body body) {
  if (write && m_readOnly) return ERROR_ACCESS_DENIED;
  // What this connection writes is not in the cache's snapshot any more.
  if (write && m_cache) m_cache->Clear();
  const auto deadline = std::chrono::steady_clock::now() + kRetryBudget;
  for (unsigned attempt = 0;; ++attempt) {
    int rc = ExecuteTransactionStatement(write ? kBeginWrite : kBeginRead);
    LONG result = MapSqlite(rc, write);
    if (result == ERROR_SUCCESS) {
      result = body();
      if (result == ERROR_SUCCESS && !sqlite3_get_autocommit(m_db)) {
        rc = ExecuteTransactionStatement(kCommit);
        result = MapSqlite(rc, write);
      }
      if (!sqlite3_get_autocommit(m_db)) ExecuteTransactionStatement(kRollback);
      // No transaction outlives its operation: the next one must begin anew.
      assert(sqlite3_get_autocommit(m_db));
    }
    if (result != kRetry) return result;
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_BUSY;
    // Back off a little, more with every attempt, so that writers interleave.
    const unsigned ms = 1u + (attempt < 6 ? (1u << attempt) : 50u);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

// A read that one of the cache's maps can answer: while the cache is current
// a hit costs no transaction, and a successful read is kept for next time.
// makeKey is called only when the cache is in use.
template <typename Map, typename MakeKey, typename Read>
LONG Hive::CachedRead(Map ReadCache::*map, MakeKey makeKey, typename Map::mapped_type* out,
                      Read read) {
  if (!CacheCurrent()) return RunInTransaction(false, read);
  assert(m_cache != nullptr);
  Map& entries = (*m_cache).*map;
  typename Map::key_type k = makeKey();
  const auto it = entries.find(k);
  if (it != entries.end()) {
    *out = it->second;
    return ERROR_SUCCESS;
  }
  const LONG result = RunInTransaction(false, read);
  if (result == ERROR_SUCCESS && Cacheable(*out)) m_cache->Put(&entries, std::move(k), *out);
  return result;
}

// Returns present when key exists, ERROR_KEY_DELETED when it does not (another
// handle deleted it), else the failure of the query.
LONG Hive::CheckKey(KeyId key, LONG present, bool write) {
  bool exists = false;
  const int rc = KeyExists(key, &exists);
  if (rc != SQLITE_OK) return MapSqlite(rc, write);
  return exists ? present : ERROR_KEY_DELETED;
}

int Hive::KeyExists(KeyId key, bool* exists) {
  ScopedStatement q(m_stmts->Get(kKeyRow));
  sqlite3_bind_int64(q.get(), 1, key);
  const int rc = sqlite3_step(q.get());
  *exists = rc == SQLITE_ROW;
  return SqliteSucceeded(rc) ? SQLITE_OK : rc;
}

int Hive::FindChild(KeyId parent, const std::string& folded, KeyId* child) {
  ScopedStatement q(m_stmts->Get(kFindChild));
  sqlite3_bind_int64(q.get(), 1, parent);
  int rc = BindBlob(q.get(), 2, folded);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_step(q.get());
  *child = rc == SQLITE_ROW ? sqlite3_column_int64(q.get(), 0) : 0;
  return SqliteSucceeded(rc) ? SQLITE_OK : rc;
}

// Follows parts from base; *found tells whether every part exists (with no
// parts, whether base itself does).
int Hive::Walk(KeyId base, const std::vector<WideString>& parts, KeyId* out, bool* found) {
  if (parts.empty()) {
    *out = base;
    return KeyExists(base, found);
  }
  KeyId current = base;
  *found = false;
  for (const WideString& part : parts) {
    KeyId child = 0;
    const int rc = FindChild(current, FoldName(part), &child);
    if (rc != SQLITE_OK) return rc;
    if (child == 0) return SQLITE_OK;
    current = child;
  }
  *found = true;
  *out = current;
  return SQLITE_OK;
}

int Hive::AddSubKey(KeyId parent, size_t nameLength, size_t classLength) {
  ScopedStatement q(m_stmts->Get(kAddSubKey));
  sqlite3_bind_int64(q.get(), 1, parent);
  sqlite3_bind_int64(q.get(), 2, static_cast<sqlite3_int64>(nameLength));
  sqlite3_bind_int64(q.get(), 3, static_cast<sqlite3_int64>(classLength));
  sqlite3_bind_int64(q.get(), 4, static_cast<sqlite3_int64>(FileTimeNow()));
  const int rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int Hive::AddValue(KeyId key, int added, size_t nameLength, size_t dataLength) {
  ScopedStatement q(m_stmts->Get(kAddValue));
  sqlite3_bind_int64(q.get(), 1, key);
  sqlite3_bind_int64(q.get(), 2, added);
  sqlite3_bind_int64(q.get(), 3, static_cast<sqlite3_int64>(nameLength));
  sqlite3_bind_int64(q.get(), 4, static_cast<sqlite3_int64>(dataLength));
  sqlite3_bind_int64(q.get(), 5, static_cast<sqlite3_int64>(FileTimeNow()));
  const int rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// After a removal, or a value that shrank: takes removed off the count and
// finds the largest sizes again (one step down a length index each), and
// stamps the key as written.
int Hive::UpdateSizes(StatementId statement, KeyId key, int removed) {
  ScopedStatement q(m_stmts->Get(statement));
  sqlite3_bind_int64(q.get(), 1, key);
  sqlite3_bind_int64(q.get(), 2, static_cast<sqlite3_int64>(FileTimeNow()));
  if (statement == kValuesShrunk) sqlite3_bind_int64(q.get(), 3, removed);
  const int rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The stored counts and sizes are what the hive keeps, but a file changed
// by someone else may claim anything: no name is longer than Windows
// allows, and no count or size is more than the database's bytes could
// hold. Past that the file is damaged; a caller never sizes a buffer by it.
LONG Hive::CheckSizes(const KeyInfo& info) {
  if (info.maxSubKeyLen > kMaxKeyNameLength || info.maxValueNameLen > kMaxValueNameLength ||
      info.maxClassLen > kMaxValueNameLength) {
    return ERROR_BADDB;
  }
  ScopedStatement q(m_stmts->Get(kDatabaseBytes));
  const int rc = sqlite3_step(q.get());
  if (rc != SQLITE_ROW) return MapSqlite(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, false);
  const uint64_t bytes = ColumnCount(q.get(), 0);
  if (info.subKeys > bytes || info.values > bytes || info.maxValueLen > bytes) return ERROR_BADDB;
  return ERROR_SUCCESS;
}

LONG Hive::OpenKey(KeyId base, const std::vector<WideString>& parts, KeyId* out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto pathKey = [&]() {
    std::string k(reinterpret_cast<const char*>(&base), sizeof base);
    for (const WideString& part : parts) {
      const std::string folded = FoldName(part);
      const size_t n = folded.size();
      k.push_back(static_cast<char>(n & 0xFF));
      k.push_back(static_cast<char>((n >> 8) & 0xFF));
      k += folded;
    }
    return k;
  };
  return CachedRead(&ReadCache::paths, pathKey, out, [&]() -> LONG {
    bool found = false;
    KeyId key = 0;
    const int rc = Walk(base, parts, &key, &found);
    if (rc != SQLITE_OK) return MapSqlite(rc, false);
    if (!found) return CheckKey(base, ERROR_FILE_NOT_FOUND, false);
    *out = key;
    return ERROR_SUCCESS;
  });
}

LONG Hive::CreateKey(KeyId base, const std::vector<WideString>& parts, const WideString& cls,
                     KeyId* out, bool* created) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return RunInTransaction(true, [&]() -> LONG {
    const LONG state = CheckKey(base, ERROR_SUCCESS, true);
    if (state != ERROR_SUCCESS) return state;
    int rc;
    const std::string clsBlob = ToBlob(cls);
    KeyId current = base;
    bool madeLast = false;
    for (const WideString& part : parts) {
      const std::string folded = FoldName(part);
      KeyId child = 0;
      rc = FindChild(current, folded, &child);
      if (rc != SQLITE_OK) return MapSqlite(rc, true);
      madeLast = child == 0;
      if (child == 0) {
        ScopedStatement ins(m_stmts->Get(kInsertKey));
        sqlite3_bind_int64(ins.get(), 1, current);
        if ((rc = BindBlob(ins.get(), 2, ToBlob(part))) != SQLITE_OK ||
            (rc = BindBlob(ins.get(), 3, folded)) != SQLITE_OK ||
            (rc = BindBlob(ins.get(), 4, clsBlob)) != SQLITE_OK) {
          return MapSqlite(rc, true);
        }
        sqlite3_bind_int64(ins.get(), 5, static_cast<sqlite3_int64>(FileTimeNow()));
        rc = sqlite3_step(ins.get());
        if (rc != SQLITE_DONE) return MapSqlite(rc, true);
        child = sqlite3_last_insert_rowid(m_db);
        if ((rc = AddSubKey(current, part.size(), cls.size())) != SQLITE_OK) {
          return MapSqlite(rc, true);
        }
      }
      current = child;
    }
    *out = current;
    *created = madeLast;
    return ERROR_SUCCESS;
  });
}

LONG Hive::QueryInfo(KeyId key, KeyInfo* info) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return CachedRead(&ReadCache::infos, [key]() { return key; }, info, [&]() -> LONG {
    KeyInfo row;
    {
      ScopedStatement q(m_stmts->Get(kKeyRow));
      sqlite3_bind_int64(q.get(), 1, key);
      const int rc = sqlite3_step(q.get());
      if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
      if (rc != SQLITE_ROW) return MapSqlite(rc, false);
      row.cls = ColumnWide(q.get(), 0);
      row.lastWrite = ColumnCount(q.get(), 1);
      row.subKeys = ColumnCount(q.get(), 2);
      row.maxSubKeyLen = ColumnCount(q.get(), 3);
      row.maxClassLen = ColumnCount(q.get(), 4);
      row.values = ColumnCount(q.get(), 5);
      row.maxValueNameLen = ColumnCount(q.get(), 6);
      row.maxValueLen = ColumnCount(q.get(), 7);
    }
    const LONG sizes = CheckSizes(row);
    if (sizes != ERROR_SUCCESS) return sizes;
    *info = std::move(row);
    return ERROR_SUCCESS;
  });
}

LONG Hive::GetValue(KeyId key, const WideString& name, DWORD* type, std::vector<BYTE>* data) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::string folded = FoldName(name);
  const auto valueKey = [&]() {
    return std::string(reinterpret_cast<const char*>(&key), sizeof key) + folded;
  };
  std::pair<DWORD, std::vector<BYTE>> value;
  const LONG result = CachedRead(&ReadCache::values, valueKey, &value, [&]() -> LONG {
    {
      ScopedStatement q(m_stmts->Get(kGetValue));
      sqlite3_bind_int64(q.get(), 1, key);
      int rc = BindBlob(q.get(), 2, folded);
      if (rc != SQLITE_OK) return MapSqlite(rc, false);
      rc = sqlite3_step(q.get());
      if (rc == SQLITE_ROW) {
        value.first = static_cast<DWORD>(sqlite3_column_int64(q.get(), 0));
        ColumnBytes(q.get(), 1, &value.second);
        return ERROR_SUCCESS;
      }
      if (rc != SQLITE_DONE) return MapSqlite(rc, false);
    }
    return CheckKey(key, ERROR_FILE_NOT_FOUND, false);
  });
  if (result != ERROR_SUCCESS) return result;
  *type = value.first;
  *data = std::move(value.second);
  return ERROR_SUCCESS;
}

LONG Hive::SetValue(KeyId key, const WideString& name, DWORD type, const BYTE* data,
                    size_t size) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return RunInTransaction(true, [&]() -> LONG {
    const LONG state = CheckKey(key, ERROR_SUCCESS, true);
    if (state != ERROR_SUCCESS) return state;
    int rc;
    const std::string folded = FoldName(name);
    sqlite3_int64 oldLength = -1;
    {
      ScopedStatement q(m_stmts->Get(kValueLength));
      sqlite3_bind_int64(q.get(), 1, key);
      if ((rc = BindBlob(q.get(), 2, folded)) != SQLITE_OK) return MapSqlite(rc, true);
      rc = sqlite3_step(q.get());
      if (rc == SQLITE_ROW) oldLength = sqlite3_column_int64(q.get(), 0);
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) return MapSqlite(rc, true);
    }
    if (oldLength >= 0) {
      // An existing value keeps its name's case and its place in the enumeration.
      ScopedStatement q(m_stmts->Get(kUpdateValue));
      sqlite3_bind_int64(q.get(), 1, key);
      sqlite3_bind_int64(q.get(), 3, type);
      if ((rc = BindBlob(q.get(), 2, folded)) != SQLITE_OK ||
          (rc = BindBlob(q.get(), 4, data, size)) != SQLITE_OK) {
        return MapSqlite(rc, true);
      }
      rc = sqlite3_step(q.get());
      if (rc != SQLITE_DONE) return MapSqlite(rc, true);
    } else {
      ScopedStatement q(m_stmts->Get(kInsertValue));
      sqlite3_bind_int64(q.get(), 1, key);
      sqlite3_bind_int64(q.get(), 4, type);
      if ((rc = BindBlob(q.get(), 2, ToBlob(name))) != SQLITE_OK ||
          (rc = BindBlob(q.get(), 3, folded)) != SQLITE_OK ||
          (rc = BindBlob(q.get(), 5, data, size)) != SQLITE_OK) {
        return MapSqlite(rc, true);
      }
      rc = sqlite3_step(q.get());
      if (rc != SQLITE_DONE) return MapSqlite(rc, true);
    }
    // A value that shrank may have been the largest: find the largest again.
    if (oldLength > static_cast<sqlite3_int64>(size)) {
      return MapSqlite(UpdateSizes(kValuesShrunk, key, 0), true);
    }
    return MapSqlite(AddValue(key, oldLength >= 0 ? 0 : 1, name.size(), size), true);
  });
}

LONG Hive::DeleteValue(KeyId key, const WideString& name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return RunInTransaction(true, [&]() -> LONG {
    const LONG state = CheckKey(key, ERROR_SUCCESS, true);
    if (state != ERROR_SUCCESS) return state;
    int rc;
    {
      ScopedStatement q(m_stmts->Get(kDeleteValue));
      sqlite3_bind_int64(q.get(), 1, key);
      if ((rc = BindBlob(q.get(), 2, FoldName(name))) != SQLITE_OK) return MapSqlite(rc, true);
      rc = sqlite3_step(q.get());
      if (rc != SQLITE_DONE) return MapSqlite(rc, true);
    }
    if (sqlite3_changes(m_db) == 0) return ERROR_FILE_NOT_FOUND;
    return MapSqlite(UpdateSizes(kValuesShrunk, key, 1), true);
  });
}

// Reads the row of the enumeration query statement (with key, and ?2 bound
// by bind) in a read transaction and hands it to take; past the end
// ERROR_NO_MORE_ITEMS, or ERROR_KEY_DELETED when the key is gone. The caller
// holds m_mutex.
template <typename Bind, typename Take>
LONG Hive::ReadEnumerationRow(StatementId statement, KeyId key, Bind bind, Take take) {
  return RunInTransaction(false, [&]() -> LONG {
    {
      ScopedStatement q(m_stmts->Get(statement));
      sqlite3_bind_int64(q.get(), 1, key);
      int rc = bind(q.get());
      if (rc != SQLITE_OK) return MapSqlite(rc, false);
      rc = sqlite3_step(q.get());
      if (rc == SQLITE_ROW) {
        take(q.get());
        return ERROR_SUCCESS;
      }
      if (rc != SQLITE_DONE) return MapSqlite(rc, false);
    }
    return CheckKey(key, ERROR_NO_MORE_ITEMS, false);
  });
}

// Whether index continues the enumeration that cursor remembers, while
// nothing in the file changed since: then the next row is found from the
// last one, not counted from the first (which made walking n items O(n^2)).
bool Hive::Continues(const EnumerationCursor& cursor, KeyId key, uint64_t index) {
  return CacheCurrent() && cursor.valid && cursor.key == key && index == cursor.index + 1;
}

LONG Hive::EnumKey(KeyId key, uint64_t index, SubKeyEntry* entry) {
  if (index > static_cast<uint64_t>(INT64_MAX)) return ERROR_NO_MORE_ITEMS;
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool next = m_cache != nullptr && Continues(m_cache->keyCursor, key, index);
  if (!next && CacheCurrent()) {
    // Enumeration goes through every index: the whole list is read once.
    auto it = m_cache->children.find(key);
    if (it == m_cache->children.end()) {
      std::vector<SubKeyEntry> all;
      const LONG rc = RunInTransaction(false, [&]() -> LONG { return ReadChildren(key, &all); });
      if (rc == ERROR_SUCCESS) {
        it = m_cache->Put(&m_cache->children, key, std::move(all));
      } else if (rc != ERROR_MORE_DATA) {
        return rc;
      }
    }
    if (it != m_cache->children.end()) {
      if (index >= it->second.size()) return ERROR_NO_MORE_ITEMS;
      *entry = it->second[static_cast<size_t>(index)];
      return entry->followable ? ERROR_SUCCESS : ERROR_BADDB;
    }
  }
  // Too many sub-keys to keep: row by row.
  std::string folded;
  const LONG rc = ReadEnumerationRow(
      next ? kEnumKeyAfter : kEnumKey, key,
      [&](sqlite3_stmt* q) {
        return next ? BindBlob(q, 2, m_cache->keyCursor.folded)
                    : sqlite3_bind_int64(q, 2, static_cast<sqlite3_int64>(index));
      },
      [&](sqlite3_stmt* row) {
        *entry = ColumnSubKey(row);
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(row, 3));
        if (bytes != nullptr) folded.assign(bytes, static_cast<size_t>(sqlite3_column_bytes(row, 3)));
      });
  if (rc == ERROR_SUCCESS && CacheCurrent()) {
    m_cache->keyCursor = EnumerationCursor{true, key, index, 0, std::move(folded)};
  }
  return rc == ERROR_SUCCESS && !entry->followable ? ERROR_BADDB : rc;
}

LONG Hive::EnumValue(KeyId key, uint64_t index, ValueEntry* entry) {
  if (index > static_cast<uint64_t>(INT64_MAX)) return ERROR_NO_MORE_ITEMS;
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool next = m_cache != nullptr && Continues(m_cache->valueCursor, key, index);
  sqlite3_int64 seq = 0;
  const LONG rc = ReadEnumerationRow(
      next ? kEnumValueAfter : kEnumValue, key,
      [&](sqlite3_stmt* q) {
        return sqlite3_bind_int64(
            q, 2, next ? m_cache->valueCursor.seq : static_cast<sqlite3_int64>(index));
      },
      [&](sqlite3_stmt* row) {
        entry->name = ColumnWide(row, 0);
        entry->type = static_cast<DWORD>(sqlite3_column_int64(row, 1));
        ColumnBytes(row, 2, &entry->data);
        seq = sqlite3_column_int64(row, 3);
      });
  if (rc == ERROR_SUCCESS && CacheCurrent()) {
    m_cache->valueCursor = EnumerationCursor{true, key, index, seq, std::string()};
  }
  return rc;
}

int Hive::DeleteSubtree(KeyId key, bool includeSelf) {
  const StatementId order[3] = {includeSelf ? kTreeValues : kChildTreesValues,
                                includeSelf ? kTreeKeys : kChildTreesKeys, kOwnValues};
  const int steps = includeSelf ? 2 : 3;
  for (int i = 0; i < steps; ++i) {
    ScopedStatement q(m_stmts->Get(order[i]));
    sqlite3_bind_int64(q.get(), 1, key);
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_DONE) return rc;
  }
  return SQLITE_OK;
}

// A tree is deleted only when no key below key is key itself or the root:
// parent links that loop (in a file changed by someone else) would take
// more than the tree, the root among it.
LONG Hive::CheckNoLoop(KeyId key) {
  ScopedStatement q(m_stmts->Get(kTreeLoops));
  sqlite3_bind_int64(q.get(), 1, key);
  const int rc = sqlite3_step(q.get());
  if (rc == SQLITE_ROW) return ERROR_BADDB;
  return rc == SQLITE_DONE ? ERROR_SUCCESS : MapSqlite(rc, true);
}

LONG Hive::DeleteKey(KeyId base, const std::vector<WideString>& parts, bool tree) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return RunInTransaction(true, [&]() -> LONG {
    bool found = false;
    KeyId key = base;
    int rc = Walk(base, parts, &key, &found);
    if (rc != SQLITE_OK) return MapSqlite(rc, true);
    if (!found) return CheckKey(base, ERROR_FILE_NOT_FOUND, true);
    // The root of a hive cannot be deleted, as on Windows.
    if (key == Root()) return ERROR_ACCESS_DENIED;
    if (!tree) {
      ScopedStatement q(m_stmts->Get(kHasChild));
      sqlite3_bind_int64(q.get(), 1, key);
      rc = sqlite3_step(q.get());
      if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
      if (rc != SQLITE_DONE) return MapSqlite(rc, true);
    }
    KeyId parent = 0;
    {
      ScopedStatement q(m_stmts->Get(kParentOf));
      sqlite3_bind_int64(q.get(), 1, key);
      rc = sqlite3_step(q.get());
      if (rc != SQLITE_ROW) return MapSqlite(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, true);
      parent = sqlite3_column_int64(q.get(), 0);
    }
    const LONG loop = CheckNoLoop(key);
    if (loop != ERROR_SUCCESS) return loop;
    if ((rc = DeleteSubtree(key, true)) != SQLITE_OK) return MapSqlite(rc, true);
    return MapSqlite(UpdateSizes(kSubKeyRemoved, parent, 1), true);
  });
}

LONG Hive::ClearKey(KeyId key) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return RunInTransaction(true, [&]() -> LONG {
    const LONG state = CheckKey(key, ERROR_SUCCESS, true);
    if (state != ERROR_SUCCESS) return state;
    const LONG loop = CheckNoLoop(key);
    if (loop != ERROR_SUCCESS) return loop;
    const int rc = DeleteSubtree(key, false);
    if (rc != SQLITE_OK) return MapSqlite(rc, true);
    return MapSqlite(UpdateSizes(kClearSizes, key, 0), true);
  });
}

}  // namespace reg
}  // namespace pavo
