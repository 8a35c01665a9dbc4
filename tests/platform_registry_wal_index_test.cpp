// What the registry's read cache assumes of SQLite's WAL index, checked
// against the SQLite the library runs with: a version whose layout differs
// must fail here rather than let the cache answer from stale entries.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>

#include "platform/win/registry.h"
#include "platform/win/registry_read_cache.h"
#include "registry_test_util.h"

using pavo::reg::ReadCache;
using pavo::reg::ReadWalIndexHeader;
using pavo::reg::WalIndexHeader;
using pavo::reg::WalIndexState;

namespace {

TEST(RegistryWalIndex, SqliteVersionLiesInTheCheckedRange) {
  // Outside the range the cache is switched off; widen the range only after
  // this file passes with the new version.
  EXPECT_TRUE(pavo::reg::WalIndexLayoutChecked(sqlite3_libversion_number()))
      << "SQLite " << sqlite3_libversion() << " has not been checked against the WAL-index layout";
  EXPECT_FALSE(pavo::reg::WalIndexLayoutChecked(pavo::reg::kWalIndexCheckedMaxVersion + 1));
}

// A database file whose first WAL-index region is a buffer of the test.
struct FakeShmFile {
  sqlite3_file base;  // first, as SQLite's own file objects begin
  sqlite3_io_methods methods;
  bool mapped = true;
  alignas(8) uint32_t region[pavo::reg::kWalIndexRegionBytes / 4];

  FakeShmFile() : base(), methods(), region() {
    methods.iVersion = 2;
    methods.xShmMap = &Map;
    base.pMethods = &methods;
  }
  static int Map(sqlite3_file* file, int, int, int, void volatile** out) {
    FakeShmFile* self = reinterpret_cast<FakeShmFile*>(file);
    *out = self->mapped ? self->region : nullptr;
    return SQLITE_OK;
  }
  // Both copies of a header as a writer leaves them.
  void Write(uint32_t change, uint16_t pageSize = 4096, uint32_t version = 3007000) {
    uint32_t words[12] = {version, 0, change, 0, 7, 3, 0, 0, 0x01020304, 0x05060708, 0, 0};
    unsigned char* bytes = reinterpret_cast<unsigned char*>(words);
    bytes[12] = 1;  // isInit
    std::memcpy(bytes + 14, &pageSize, sizeof pageSize);
    std::memcpy(region, words, sizeof words);
    std::memcpy(region + 12, words, sizeof words);
  }
};

TEST(RegistryWalIndex, HeaderIsTakenOnlyWhenBothCopiesAgreeAndNameTheKnownFormat) {
  FakeShmFile file;
  WalIndexHeader header;
  file.mapped = false;
  EXPECT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kNotMapped);
  file.mapped = true;
  EXPECT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kNotInitialised);

  file.Write(41);
  ASSERT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kReady);
  EXPECT_EQ(header.ChangeCounter(), 41u);
  EXPECT_EQ(header.PageSize(), 4096u);
  EXPECT_EQ(header.MaxFrame(), 7u);
  EXPECT_EQ(header.PageCount(), 3u);
  EXPECT_EQ(header.Salts().size(), 8u);
  file.Write(41, 1);  // 65536 is stored as 1
  ASSERT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kReady);
  EXPECT_EQ(header.PageSize(), 65536u);

  // A writer between its two copies: every word of the second counts.
  for (size_t word = 0; word < 12; ++word) {
    SCOPED_TRACE(word);
    file.Write(41);
    file.region[12 + word] ^= 0x100;
    EXPECT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kBeingWritten);
  }
  file.Write(41, 4096, 3007001);
  EXPECT_EQ(ReadWalIndexHeader(&file.base, &header), WalIndexState::kUnknownFormat);
}

TEST(RegistryWalIndex, CacheEmptiesWhenTheHeaderMovesOrCannotBeRead) {
  FakeShmFile file;
  file.Write(1);
  ReadCache cache(&file.base);
  ASSERT_TRUE(cache.Current());
  cache.Put(&cache.paths, std::string("a"), pavo::reg::KeyId(2));
  ASSERT_TRUE(cache.Current());
  EXPECT_EQ(cache.paths.size(), 1u);  // unchanged header: the entry answers

  file.Write(2);  // another connection committed
  ASSERT_TRUE(cache.Current());
  EXPECT_TRUE(cache.paths.empty());

  cache.Put(&cache.infos, pavo::reg::KeyId(1), pavo::reg::KeyInfo());
  file.region[12 + 4] += 1;  // torn: a writer is at work
  EXPECT_FALSE(cache.Current());
  EXPECT_TRUE(cache.infos.empty());
  file.Write(2, 4096, 3007001);
  EXPECT_FALSE(cache.Current());
  file.Write(2);
  EXPECT_TRUE(cache.Current());
  EXPECT_TRUE(cache.infos.empty());  // entries of an unreadable time never come back
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int64_t QueryNumber(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    value = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  return value;
}

// A hive made by the registry, seen through a second connection of this
// process: SQLite gives both connections one mapping of the -shm file, so the
// hive's locks stay as they are.
class RegistryWalIndexOfAHive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(regtest::LoadHive(file_, &root_), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root_, WTEXT("Layout"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(regtest::SetSz(key_, WTEXT("v"), WTEXT("one")), ERROR_SUCCESS);
    ASSERT_EQ(sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_NE(QueryNumber(db_, "SELECT count(*) FROM vals"), -1);  // maps the index
    shm_ = pavo::reg::WalIndexFile(db_);
    ASSERT_NE(shm_, nullptr);
  }
  void TearDown() override {
    sqlite3_close(db_);
    RegCloseKey(key_);
    RegCloseKey(root_);
  }
  WalIndexHeader Header() {
    WalIndexHeader header;
    EXPECT_EQ(ReadWalIndexHeader(shm_, &header), WalIndexState::kReady);
    return header;
  }
  std::string Value() {
    LONG rc = 0;
    const std::vector<BYTE> data = regtest::Get(key_, WTEXT("v"), &rc);
    EXPECT_EQ(rc, ERROR_SUCCESS);
    if (data.size() < 2) return std::string();
    return pavo::Utf8FromWide(reinterpret_cast<const WCHAR*>(data.data()), data.size() / 2 - 1);
  }

  regtest::ScratchDir dir_;
  std::string file_ = dir_.File("layout.hive");
  HKEY root_ = nullptr;
  HKEY key_ = nullptr;
  sqlite3* db_ = nullptr;
  sqlite3_file* shm_ = nullptr;
};

TEST_F(RegistryWalIndexOfAHive, FieldsMatchTheDatabaseAndTheWalFile) {
  const WalIndexHeader header = Header();
  EXPECT_EQ(header.FormatVersion(), pavo::reg::kWalIndexFormatVersion);
  EXPECT_EQ(header.words[1], 0u);
  const int64_t pageSize = QueryNumber(db_, "PRAGMA page_size");
  EXPECT_EQ(header.PageSize(), static_cast<uint64_t>(pageSize));
  EXPECT_EQ(header.PageCount(), static_cast<uint64_t>(QueryNumber(db_, "PRAGMA page_count")));

  // The WAL file's own header (big-endian): magic, version, page size, the
  // checkpoint sequence, then the salts the index copies byte for byte.
  const std::string wal = regtest::ReadFile(file_ + "-wal");
  ASSERT_GE(wal.size(), 32u);
  const uint32_t magic = BigEndian32(wal, 0);
  EXPECT_EQ(magic & ~1u, 0x377f0682u);
  EXPECT_EQ(header.BigEndianChecksums(), (magic & 1) != 0);
  EXPECT_EQ(BigEndian32(wal, 8), header.PageSize());
  EXPECT_EQ(wal.substr(16, 8), header.Salts());
  // Never checkpointed: every frame (24-byte header and a page) is committed.
  EXPECT_EQ(wal.size(),
            32 + static_cast<uint64_t>(header.MaxFrame()) * (24 + static_cast<uint64_t>(pageSize)));
}

TEST_F(RegistryWalIndexOfAHive, EveryCommitMovesTheHeaderAndReadsDoNot) {
  const WalIndexHeader before = Header();
  EXPECT_EQ(Value(), "one");
  EXPECT_EQ(Value(), "one");
  EXPECT_EQ(Header(), before);

  ASSERT_EQ(regtest::SetSz(key_, WTEXT("v"), WTEXT("two")), ERROR_SUCCESS);
  const WalIndexHeader written = Header();
  EXPECT_EQ(written.ChangeCounter(), before.ChangeCounter() + 1);
  EXPECT_GT(written.MaxFrame(), before.MaxFrame());
  EXPECT_EQ(written.Salts(), before.Salts());

  // Restarting the WAL after a checkpoint draws new salts: a header after
  // the restart never equals one before it.
  ASSERT_EQ(sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(regtest::SetSz(key_, WTEXT("v"), WTEXT("three")), ERROR_SUCCESS);
  const WalIndexHeader restarted = Header();
  EXPECT_NE(restarted.Salts(), written.Salts());
  EXPECT_EQ(regtest::ReadFile(file_ + "-wal").substr(16, 8), restarted.Salts());
}

TEST_F(RegistryWalIndexOfAHive, ReadsSeeWhatAnotherConnectionCommitted) {
  EXPECT_EQ(Value(), "one");
  EXPECT_EQ(Value(), "one");  // now answered from the cache
  const WCHAR changed[] = WTEXT("changed");
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_, "UPDATE vals SET data = ?1", -1, &st, nullptr), SQLITE_OK);
  sqlite3_bind_blob(st, 1, changed, sizeof changed, SQLITE_STATIC);
  EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  EXPECT_EQ(Value(), "changed");

  ASSERT_EQ(sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE); UPDATE vals SET data = x'61000000'",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(Value(), "a");
}

}  // namespace
