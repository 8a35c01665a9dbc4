// One registry hive: a tree of keys with typed values, stored in an SQLite file.
//
// Keys and values are found by their case-folded names and keep the case they
// were created with. Every change is one IMMEDIATE transaction in WAL mode, so
// several threads and processes share a hive and a killed writer loses nothing
// that it reported as written. A file that is not a hive is reported, never
// rewritten.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_HIVE_H
#define PAVORM_PLATFORM_WIN_REGISTRY_HIVE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"
#include "platform/win/win_types.h"

struct sqlite3;

namespace pavo {
namespace reg {

using KeyId = int64_t;

// registry_statements.h and registry_read_cache.h.
enum StatementId : int;
class PreparedStatements;
class ReadCache;
struct EnumerationCursor;

// Windows limits a key name to 255 characters and a value name to 16383.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// Windows refuses key paths deeper than 512 levels.
constexpr size_t kMaxKeyDepth = 512;

struct KeyInfo {
  uint64_t subKeys = 0;
  uint64_t maxSubKeyLen = 0;     // characters, without terminator
  uint64_t maxClassLen = 0;      // characters of the sub-keys' classes, without terminator
  uint64_t values = 0;
  uint64_t maxValueNameLen = 0;  // characters, without terminator
  uint64_t maxValueLen = 0;      // bytes
  WideString cls;
  uint64_t lastWrite = 0;  // FILETIME units
};

struct SubKeyEntry {
  WideString name;
  WideString cls;
  uint64_t lastWrite = 0;
  // False for a stored name no path can name (empty, with a backslash, ...),
  // which only a damaged file holds: enumeration reports it, never gives it.
  bool followable = true;
};

struct ValueEntry {
  WideString name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

class Hive {
 public:
  // Opens the hive file at path, creating it (mode 0600) when it is missing.
  // Returns ERROR_SUCCESS, or a Windows error code with *out untouched. A
  // file that is not a sound hive of our schema is ERROR_BADDB and is left as
  // it was; a hive of an older schema is brought up to date in one
  // transaction (read-only ones are read as they are). A file the process
  // may not write, or whose folder it may not write, opens read-only and
  // creates nothing (registry_read_only.h).
  static LONG Open(const std::string& path, std::shared_ptr<Hive>* out);
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  KeyId Root() const { return 1; }
  bool ReadOnly() const { return m_readOnly; }
  const std::string& Path() const { return m_path; }

  // Each returns a Windows error code; ERROR_KEY_DELETED when the key is gone.
  LONG OpenKey(KeyId base, const std::vector<WideString>& parts, KeyId* out);
  LONG CreateKey(KeyId base, const std::vector<WideString>& parts, const WideString& cls,
                 KeyId* out, bool* created);
  LONG QueryInfo(KeyId key, KeyInfo* info);
  LONG GetValue(KeyId key, const WideString& name, DWORD* type, std::vector<BYTE>* data);
  LONG SetValue(KeyId key, const WideString& name, DWORD type, const BYTE* data, size_t size);
  LONG DeleteValue(KeyId key, const WideString& name);
  LONG EnumKey(KeyId key, uint64_t index, SubKeyEntry* entry);
  LONG EnumValue(KeyId key, uint64_t index, ValueEntry* entry);
  // Deletes the key at parts below base (base itself when parts is empty).
  // Without tree, a key with sub-keys is refused with ERROR_ACCESS_DENIED.
  LONG DeleteKey(KeyId base, const std::vector<WideString>& parts, bool tree);
  // Deletes every value and sub-key of key, keeping key itself.
  LONG ClearKey(KeyId key);

 private:
  Hive() = default;
  bool CacheCurrent();
  int ReadChildren(KeyId key, std::vector<SubKeyEntry>* out);
  int Exec(const char* sql);
  int ExecuteTransactionStatement(StatementId statement);
  LONG InitFile(int* version);
  LONG CheckContent();
  LONG Migrate(int fromVersion);
  template <typename Body>
  LONG RunInTransaction(bool write, Body body);
  template <typename Map, typename MakeKey, typename Read>
  LONG CachedRead(Map ReadCache::*map, MakeKey makeKey, typename Map::mapped_type* out,
                  Read read);
  LONG CheckKey(KeyId key, LONG present, bool write);
  template <typename Bind, typename Take>
  LONG ReadEnumerationRow(StatementId statement, KeyId key, Bind bind, Take take);
  bool Continues(const EnumerationCursor& cursor, KeyId key, uint64_t index);
  int KeyExists(KeyId key, bool* exists);
  int FindChild(KeyId parent, const std::string& folded, KeyId* child);
  int Walk(KeyId base, const std::vector<WideString>& parts, KeyId* out, bool* found);
  int AddSubKey(KeyId parent, size_t nameLength, size_t classLength);
  int AddValue(KeyId key, int added, size_t nameLength, size_t dataLength);
  int UpdateSizes(StatementId statement, KeyId key, int removed);
  LONG CheckSizes(const KeyInfo& info);
  int DeleteSubtree(KeyId key, bool includeSelf);
  LONG CheckNoLoop(KeyId key);

  std::mutex m_mutex;  // one operation at a time on the connection
  sqlite3* m_db = nullptr;
  std::unique_ptr<PreparedStatements> m_stmts;
  std::unique_ptr<ReadCache> m_cache;  // null when SQLite's WAL index cannot be watched
  std::string m_path;
  bool m_readOnly = false;
};

// The name as compared: each unit in simple upper case, as big-endian bytes so
// that a byte-wise order is the order of units (Windows sorts sub-keys by their
// upper-case names).
std::string FoldName(const WideString& name);

// Now as a FILETIME count.
uint64_t FileTimeNow();

// The hive and key a handle stands for, to tell two handles of one key
// apart from handles of two keys (registry_api.cpp): false for a handle
// that is not open.
bool KeyIdentity(HKEY handle, const void** hive, KeyId* key);

}  // namespace reg
}  // namespace pavo

#endif
