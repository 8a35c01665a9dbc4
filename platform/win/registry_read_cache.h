// The hive's read cache, and exactly what it assumes of SQLite's files
// (internal to the registry).
//
// Reads are answered from the cache while the WAL-index header is unchanged.
// The header is read from SQLite's own mapping of the first WAL-index region
// (the start of the "<hive>-shm" file), through the database file's
// xShmMap; the cache never opens the -shm file itself: closing any
// descriptor of it would drop this process's POSIX locks on it, and another
// process would then take the index over.
//
// What the cache assumes (SQLite's documented WAL-mode file format; checked
// against the library in tests/platform_registry_wal_index_test.cpp):
//
// - The first WAL-index region is 32768 bytes and starts with two copies of
//   a 48-byte header, integers in the machine's byte order:
//     offset  0  u32  format version, always 3007000
//     offset  4  u32  unused, zero
//     offset  8  u32  change counter, incremented by every commit
//     offset 12  u8   isInit, non-zero once the header has been written
//     offset 13  u8   bigEndCksum, whether the WAL's checksums are big-endian
//     offset 14  u16  page size in bytes (1 meaning 65536)
//     offset 16  u32  mxFrame, the number of committed frames in the WAL
//     offset 20  u32  nPage, the database's size in pages
//     offset 24  u32[2] checksum of the last frame
//     offset 32  u8[8]  the two salts, as the WAL file's header holds them
//     offset 40  u32[2] checksum of bytes 0-39
// - A writer stores the second copy, then the first; a reader loads the
//   first, then the second. Copies that differ are being written.
// - Every commit by any connection, in any process, rewrites the header
//   before it returns (change counter and mxFrame move); restarting the WAL
//   after a checkpoint draws new salts. So a header equal, all 48 bytes, to
//   the one the cache was filled under means unchanged data, and a hit costs
//   no lock and no system call.
//
// The cache is used only with an SQLite whose version lies in the checked
// range below, and only while the header names format 3007000: with anything
// else every read goes to the database. A new SQLite must widen the range
// after the tests above pass with it.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_READ_CACHE_H
#define PAVORM_PLATFORM_WIN_REGISTRY_READ_CACHE_H

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/win/registry_hive.h"

struct sqlite3;
struct sqlite3_file;

namespace pavo {
namespace reg {

// SQLite versions (sqlite3_libversion_number) whose WAL-index header has been
// checked against the layout above: from the first that has everything the
// hive uses (sqlite3_prepare_v3) to the newest the tests ran with.
constexpr int kWalIndexCheckedMinVersion = 3020000;
constexpr int kWalIndexCheckedMaxVersion = 3040999;
bool WalIndexLayoutChecked(int sqliteVersionNumber);

constexpr uint32_t kWalIndexFormatVersion = 3007000;
constexpr int kWalIndexRegionBytes = 32768;
constexpr size_t kWalIndexHeaderBytes = 48;
constexpr size_t kWalIndexHeaderWords = kWalIndexHeaderBytes / 4;

// One copy of the WAL-index header, as the machine's words.
struct WalIndexHeader {
  uint32_t words[kWalIndexHeaderWords] = {};

  uint32_t FormatVersion() const { return words[0]; }
  uint32_t ChangeCounter() const { return words[2]; }
  bool Initialised() const { return Byte(12) != 0; }
  bool BigEndianChecksums() const { return Byte(13) != 0; }
  // Bytes; the stored 1 stands for 65536.
  uint32_t PageSize() const;
  uint32_t MaxFrame() const { return words[4]; }
  uint32_t PageCount() const { return words[5]; }
  // The two salts, in the WAL file's byte order.
  std::string Salts() const;
  unsigned char Byte(size_t offset) const;
  bool operator==(const WalIndexHeader& other) const;
  bool operator!=(const WalIndexHeader& other) const { return !(*this == other); }
};

enum class WalIndexState {
  kReady,           // both copies equal, initialised, format 3007000
  kNotMapped,       // no first region (yet): no WAL index to watch
  kBeingWritten,    // the copies differ
  kNotInitialised,  // isInit is 0
  kUnknownFormat,   // another format version: the layout above may not hold
};

// The database file of db's main schema when it can map a WAL index; null
// without shared-memory support.
sqlite3_file* WalIndexFile(sqlite3* db);
// Reads the header from file's first WAL-index region; *out is set for
// kReady and kUnknownFormat.
WalIndexState ReadWalIndexHeader(sqlite3_file* file, WalIndexHeader* out);

// Where an enumeration of a key's values or sub-keys stopped: the index it
// gave and that row's seq (values) or folded name (sub-keys).
struct EnumerationCursor {
  bool valid = false;
  KeyId key = 0;
  uint64_t index = 0;
  int64_t seq = 0;
  std::string folded;
};

// Results of reads, valid while the WAL-index header is unchanged. Used
// under the hive's mutex.
class ReadCache {
 public:
  // The cache keeps at most this many entries, values up to this size and
  // sub-key lists up to this length.
  static constexpr size_t kMaxEntries = 20000;
  static constexpr size_t kMaxCachedValue = 4096;
  static constexpr size_t kMaxCachedChildren = 4096;

  // A cache for db's connection; null when SQLite's version is outside the
  // checked range or the file has no shared memory.
  static std::unique_ptr<ReadCache> ForConnection(sqlite3* db);
  // A cache watching file's WAL index.
  explicit ReadCache(sqlite3_file* file);
  ReadCache(const ReadCache&) = delete;
  ReadCache& operator=(const ReadCache&) = delete;

  // True when the entries may answer reads. A header that changed since the
  // entries were stored empties the cache first; an unreadable one empties
  // it and gives false.
  bool Current();
  // Drops every entry (after this connection's own writes).
  void Clear();
  // Stores an entry; a full cache starts again empty rather than grow.
  // Only while Current() holds.
  template <typename Map, typename K, typename V>
  typename Map::iterator Put(Map* map, K&& key, V&& value);

  std::unordered_map<std::string, KeyId> paths;  // base id + folded parts
  std::unordered_map<KeyId, KeyInfo> infos;
  std::unordered_map<std::string, std::pair<DWORD, std::vector<BYTE>>> values;
  std::unordered_map<KeyId, std::vector<SubKeyEntry>> children;
  EnumerationCursor valueCursor;
  EnumerationCursor keyCursor;  // for keys with more sub-keys than are kept

 private:
  void DropEntries();
  // Every stored entry was counted (an overwrite counts again, so more
  // counts than entries are possible, never fewer).
  bool EntriesCounted() const {
    return paths.size() + infos.size() + values.size() + children.size() <= m_entries;
  }

  sqlite3_file* m_file;
  WalIndexHeader m_header;  // the header the entries were read under
  bool m_filled = false;    // whether m_header holds one
  size_t m_entries = 0;
};

// Whether a read's result is small enough for the cache to keep.
template <typename T>
bool Cacheable(const T&) {
  return true;
}
inline bool Cacheable(const std::pair<DWORD, std::vector<BYTE>>& value) {
  return value.second.size() <= ReadCache::kMaxCachedValue;
}

template <typename Map, typename K, typename V>
typename Map::iterator ReadCache::Put(Map* map, K&& key, V&& value) {
  // Entries stored without a header snapshot would never be dropped when
  // another connection commits.
  assert(m_filled);
  if (++m_entries > kMaxEntries) {
    DropEntries();
    m_entries = 1;
  }
  auto stored = map->insert_or_assign(std::forward<K>(key), std::forward<V>(value)).first;
  assert(EntriesCounted());
  return stored;
}

}  // namespace reg
}  // namespace pavo

#endif
