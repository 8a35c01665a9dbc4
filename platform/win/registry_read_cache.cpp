#include "platform/win/registry_read_cache.h"

#include <sqlite3.h>

#include <cassert>
#include <cstring>

namespace pavo {
namespace reg {

bool WalIndexLayoutChecked(int sqliteVersionNumber) {
  return sqliteVersionNumber >= kWalIndexCheckedMinVersion &&
         sqliteVersionNumber <= kWalIndexCheckedMaxVersion;
}

unsigned char WalIndexHeader::Byte(size_t offset) const {
  assert(offset < kWalIndexHeaderBytes);
  return reinterpret_cast<const unsigned char*>(words)[offset];
}

uint32_t WalIndexHeader::PageSize() const {
  uint16_t stored = 0;
  std::memcpy(&stored, reinterpret_cast<const unsigned char*>(words) + 14, sizeof stored);
  return stored == 1 ? 65536u : stored;
}

std::string WalIndexHeader::Salts() const {
  return std::string(reinterpret_cast<const char*>(words) + 32, 8);
}

bool WalIndexHeader::operator==(const WalIndexHeader& other) const {
  return std::memcmp(words, other.words, sizeof words) == 0;
}

sqlite3_file* WalIndexFile(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
      file->pMethods->xShmMap == nullptr) {
    return nullptr;
  }
  return file;
}

WalIndexState ReadWalIndexHeader(sqlite3_file* file, WalIndexHeader* out) {
  // bExtend 0: an index that does not exist yet is reported, not made.
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kWalIndexRegionBytes, 0, &region) != SQLITE_OK ||
      region == nullptr) {
    return WalIndexState::kNotMapped;
  }
  const volatile uint32_t* words = static_cast<const volatile uint32_t*>(region);
  // The first copy, then the second: the reverse of the writers' order.
  WalIndexHeader first, second;
  for (size_t i = 0; i < kWalIndexHeaderWords; ++i) {
    first.words[i] = __atomic_load_n(&words[i], __ATOMIC_ACQUIRE);
  }
  for (size_t i = 0; i < kWalIndexHeaderWords; ++i) {
    second.words[i] = __atomic_load_n(&words[kWalIndexHeaderWords + i], __ATOMIC_ACQUIRE);
  }
  if (first != second) return WalIndexState::kBeingWritten;
  if (!first.Initialised()) return WalIndexState::kNotInitialised;
  *out = first;
  if (first.FormatVersion() != kWalIndexFormatVersion) return WalIndexState::kUnknownFormat;
  return WalIndexState::kReady;
}

std::unique_ptr<ReadCache> ReadCache::ForConnection(sqlite3* db) {
  if (!WalIndexLayoutChecked(sqlite3_libversion_number())) return nullptr;
  sqlite3_file* file = WalIndexFile(db);
  if (file == nullptr) return nullptr;
  return std::make_unique<ReadCache>(file);
}

ReadCache::ReadCache(sqlite3_file* file) : m_file(file) { assert(file != nullptr); }

bool ReadCache::Current() {
  WalIndexHeader now;
  if (ReadWalIndexHeader(m_file, &now) != WalIndexState::kReady) {
    Clear();
    return false;
  }
  if (!m_filled || now != m_header) {
    Clear();
    m_header = now;
    m_filled = true;
  }
  assert(EntriesCounted());
  return true;
}

void ReadCache::DropEntries() {
  paths.clear();
  infos.clear();
  values.clear();
  children.clear();
  valueCursor = EnumerationCursor();
  keyCursor = EnumerationCursor();
  m_entries = 0;
}

void ReadCache::Clear() {
  DropEntries();
  m_filled = false;
}

}  // namespace reg
}  // namespace pavo
