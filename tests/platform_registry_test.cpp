#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/win/registry.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

using regtest::Get;
using regtest::SetSz;
using regtest::W;

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(regtest::LoadHive(file_, &root_), ERROR_SUCCESS); }
  void TearDown() override { RegCloseKey(root_); }
  HKEY Create(const WCHAR* path, DWORD* disposition = nullptr, HKEY parent = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent ? parent : root_, path, 0, const_cast<LPWSTR>(WTEXT("Cls")), 0,
                              KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  regtest::ScratchDir dir_;
  std::string file_ = dir_.File("test.hive");
  HKEY root_ = nullptr;
};

TEST_F(Registry, NamesAreCaseInsensitiveCasePreservingAndIgnoreATrailingBackslash) {
  DWORD disposition = 0;
  HKEY a = Create(WTEXT("Software\\PavoRm"), &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  HKEY b = Create(WTEXT("SOFTWARE\\pavorm\\"), &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(SetSz(a, WTEXT("Lang"), WTEXT("enu")), ERROR_SUCCESS);
  LONG rc;
  std::vector<BYTE> data = Get(b, WTEXT("LANG"), &rc);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(reinterpret_cast<const WCHAR*>(data.data())), WTEXT("enu"));

  HKEY sw = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("software"), 0, KEY_READ, &sw), ERROR_SUCCESS);
  WCHAR name[32];
  EXPECT_EQ(RegEnumKeyW(sw, 0, name, 32), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(name), WTEXT("PavoRm"));  // the case it was created with
  WCHAR value[32];
  DWORD cch = 32;
  EXPECT_EQ(RegEnumValueW(b, 0, value, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(value), WTEXT("Lang"));

  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(root_, WTEXT("Software\\Nope"), 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegOpenKeyExW(root_, WTEXT("\\Software"), 0, KEY_READ, &missing), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(root_, WTEXT("Software\\\\PavoRm"), 0, KEY_READ, &missing),
            ERROR_BAD_PATHNAME);
  const pavo::WideString longest(255, WTEXT('k')), tooLong(256, WTEXT('k'));
  HKEY k = Create(longest.c_str());
  EXPECT_NE(k, nullptr);
  EXPECT_EQ(RegCreateKeyExW(root_, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &missing, nullptr),
            ERROR_INVALID_PARAMETER);
  for (HKEY h : {a, b, sw, k}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

// Names outside ASCII fold by each unit's simple upper case, as Windows'
// upcase table does: ä/Ä, σ/ς/Σ, the digraph ǆ/ǅ/Ǆ, Cyrillic. ß has no
// single-unit upper case and stays apart from "SS".
TEST_F(Registry, NonAsciiNamesAreCaseInsensitiveToo) {
  DWORD disposition = 0;
  HKEY created = Create(WTEXT("Ärger\\Σοφίας\\ǆem\\Дом"), &disposition);
  ASSERT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  HKEY same = Create(WTEXT("äRGER\\σΟΦΊΑΣ\\ǅEM\\дОМ"), &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("ÄRGER\\ΣΟΦΊΑς\\ǄEM\\ДОМ"), 0, KEY_READ, &opened),
            ERROR_SUCCESS);

  ASSERT_EQ(SetSz(created, WTEXT("Größe"), WTEXT("1")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(created, WTEXT("SS"), WTEXT("2")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(same, WTEXT("GRÖßE"), WTEXT("3")), ERROR_SUCCESS);  // overwrites "Größe"
  LONG rc;
  std::vector<BYTE> data = Get(opened, WTEXT("größe"), &rc);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(reinterpret_cast<const WCHAR*>(data.data())), WTEXT("3"));
  data = Get(opened, WTEXT("ss"), &rc);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(reinterpret_cast<const WCHAR*>(data.data())), WTEXT("2"));
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u);
  WCHAR name[16];
  DWORD cch = 16;
  ASSERT_EQ(RegEnumValueW(opened, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(name), WTEXT("Größe"));  // the case it was created with
  EXPECT_EQ(RegDeleteValueW(same, WTEXT("GRÖßE")), ERROR_SUCCESS);
  Get(opened, WTEXT("Größe"), &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);

  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("ärger\\σοφίας"), 0, KEY_READ, &parent), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyW(parent, 0, name, 16), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(name), WTEXT("ǆem"));
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteTreeW(root_, WTEXT("ÄRGER")), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(root_, WTEXT("Ärger"), 0, KEY_READ, &parent), ERROR_FILE_NOT_FOUND);
  for (HKEY h : {created, same, opened}) RegCloseKey(h);
}

TEST_F(Registry, ValuesKeepTypeAndBytesAndFollowTheBufferRules) {
  HKEY key = Create(WTEXT("Values"));
  const BYTE binary[] = {0, 1, 2, 0xFF, 0};
  const DWORD dword = 0x12345678;
  const QWORD qword = 0x1122334455667788ull;
  const WCHAR multi[] = WTEXT("a\0bc\0");  // two strings and the closing empty one
  const WCHAR noTerminator[] = {WTEXT('x'), WTEXT('y')};
  struct Case {
    const WCHAR* name;
    DWORD type;
    const void* data;
    DWORD size;
  } cases[] = {
      {WTEXT("bin"), REG_BINARY, binary, sizeof binary},
      {WTEXT("dw"), REG_DWORD, &dword, sizeof dword},
      {WTEXT("qw"), REG_QWORD, &qword, sizeof qword},
      {WTEXT("multi"), REG_MULTI_SZ, multi, sizeof multi},
      {WTEXT("exp"), REG_EXPAND_SZ, WTEXT("%HOME%\\x"), 18},
      {WTEXT("raw"), REG_SZ, noTerminator, sizeof noTerminator},
      {WTEXT("empty"), REG_SZ, nullptr, 0},
      {WTEXT("odd"), 0x1234, binary, 3},
      {nullptr, REG_SZ, WTEXT("default"), 16},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RegSetValueExW(key, c.name, 0, c.type, static_cast<const BYTE*>(c.data), c.size),
              ERROR_SUCCESS);
  }
  for (const Case& c : cases) {
    LONG rc;
    DWORD type = 0;
    std::vector<BYTE> got = Get(key, c.name, &rc, &type);
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    ASSERT_EQ(got.size(), c.size);
    if (c.size != 0) {
      EXPECT_EQ(std::memcmp(got.data(), c.data, c.size), 0);
    }
  }
  // The default value answers to the empty name as well.
  LONG rc;
  EXPECT_EQ(Get(key, WTEXT(""), &rc).size(), 16u);

  BYTE small[4] = {9, 9, 9, 9};
  DWORD size = sizeof small;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExW(key, WTEXT("bin"), nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof binary);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(small[0], 9);  // nothing written on failure
  EXPECT_EQ(RegQueryValueExW(key, WTEXT("bin"), nullptr, nullptr, small, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, WTEXT("none"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(key, WTEXT("bad"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

  // Overwriting keeps the first name's case and the value's enumeration place.
  ASSERT_EQ(RegSetValueExW(key, WTEXT("BIN"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), 4),
            ERROR_SUCCESS);
  WCHAR name[16];
  DWORD cch = 16;
  ASSERT_EQ(RegEnumValueW(key, 0, name, &cch, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(name), WTEXT("bin"));
  EXPECT_EQ(cch, 3u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

  EXPECT_EQ(RegDeleteValueW(key, WTEXT("Bin")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, WTEXT("bin")), ERROR_FILE_NOT_FOUND);
  Get(key, WTEXT("bin"), &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(Registry, QueryInfoReportsCountsAndLargestSizes) {
  HKEY key = Create(WTEXT("Info"));
  RegCloseKey(Create(WTEXT("a"), nullptr, key));
  RegCloseKey(Create(WTEXT("Longer"), nullptr, key));
  ASSERT_EQ(SetSz(key, WTEXT("n"), WTEXT("1234567")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("longname"), WTEXT("1")), ERROR_SUCCESS);
  DWORD subKeys, maxSub, maxClass, values, maxName, maxData, cchClass = 0;
  FILETIME ft = {0, 0};
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, &cchClass, nullptr, &subKeys, &maxSub, &maxClass,
                             &values, &maxName, &maxData, nullptr, &ft),
            ERROR_SUCCESS);
  EXPECT_EQ(cchClass, 3u);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(maxSub, 6u);
  EXPECT_EQ(maxClass, 3u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 8u);
  EXPECT_EQ(maxData, 16u);
  EXPECT_NE(ft.dwHighDateTime, 0u);
  WCHAR cls[3];
  cchClass = 3;
  EXPECT_EQ(RegQueryInfoKeyW(key, cls, &cchClass, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  // The figures follow removals and values that shrink.
  ASSERT_EQ(SetSz(key, WTEXT("n"), WTEXT("12")), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(key, WTEXT("longname")), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyW(key, WTEXT("Longer")), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(maxSub, 1u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(maxName, 1u);
  EXPECT_EQ(maxData, 6u);

  HKEY empty = Create(WTEXT("Empty"));
  ASSERT_EQ(RegQueryInfoKeyW(empty, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr,
                             &values, &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys + maxSub + values + maxName + maxData, 0u);
  RegCloseKey(empty);
  RegCloseKey(key);
}

// The largest sizes follow every removal exactly, ties and classes included.
TEST_F(Registry, LargestSizesStayExactThroughRemovals) {
  HKEY key = Create(WTEXT("Sizes"));
  const auto sizes = [&](DWORD* maxSub, DWORD* maxClass, DWORD* maxName, DWORD* maxData) {
    EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, maxSub, maxClass, nullptr,
                               maxName, maxData, nullptr, nullptr),
              ERROR_SUCCESS);
  };
  ASSERT_EQ(SetSz(key, WTEXT("tie1"), WTEXT("12345")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("tie2"), WTEXT("12345")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("x"), WTEXT("1")), ERROR_SUCCESS);
  HKEY sub = nullptr;
  ASSERT_EQ(RegCreateKeyExW(key, WTEXT("LongerName"), 0, const_cast<LPWSTR>(WTEXT("ClassText")), 0,
                            KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(sub);
  RegCloseKey(Create(WTEXT("ab"), nullptr, key));
  DWORD maxSub = 0, maxClass = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(RegDeleteValueW(key, WTEXT("tie1")), ERROR_SUCCESS);
  sizes(&maxSub, &maxClass, &maxName, &maxData);
  EXPECT_EQ(maxName, 4u);   // tie2 is as long
  EXPECT_EQ(maxData, 12u);
  ASSERT_EQ(SetSz(key, WTEXT("tie2"), WTEXT("")), ERROR_SUCCESS);
  sizes(&maxSub, &maxClass, &maxName, &maxData);
  EXPECT_EQ(maxData, 4u);  // "1" and its terminator
  ASSERT_EQ(RegDeleteKeyW(key, WTEXT("LongerName")), ERROR_SUCCESS);
  sizes(&maxSub, &maxClass, &maxName, &maxData);
  EXPECT_EQ(maxSub, 2u);
  EXPECT_EQ(maxClass, 3u);  // "Cls" of "ab"
  ASSERT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
  sizes(&maxSub, &maxClass, &maxName, &maxData);
  EXPECT_EQ(maxSub + maxClass + maxName + maxData, 0u);
  RegCloseKey(key);
}

TEST_F(Registry, SubKeysEnumerateInNameOrderWithWindowsBufferRules) {
  HKEY key = Create(WTEXT("Enum"));
  for (const WCHAR* n : {WTEXT("delta"), WTEXT("Bravo"), WTEXT("alpha"), WTEXT("Charlie")}) {
    RegCloseKey(Create(n, nullptr, key));
  }
  std::vector<pavo::WideString> seen;
  WCHAR name[16];
  DWORD i = 0;
  for (; RegEnumKeyW(key, i, name, 16) == ERROR_SUCCESS; ++i) seen.push_back(name);
  EXPECT_EQ(seen, (std::vector<pavo::WideString>{WTEXT("alpha"), WTEXT("Bravo"), WTEXT("Charlie"), WTEXT("delta")}));
  EXPECT_EQ(RegEnumKeyW(key, i, name, 16), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyW(key, 0, name, 5), ERROR_MORE_DATA);  // "alpha" needs 6 with the 0
  DWORD cch = 6;
  WCHAR cls[8];
  DWORD cchClass = 8;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &cch, nullptr, cls, &cchClass, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(cch, 5u);
  EXPECT_EQ(pavo::WideString(cls), WTEXT("Cls"));
  WCHAR value[8];
  cch = 8;
  EXPECT_EQ(RegEnumValueW(key, 0, value, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

// Enumeration continues from the last item given, also past the sub-keys the
// cache keeps, and starts again after a change or a jump.
TEST_F(Registry, LongEnumerationsGiveEveryItemInOrderAcrossChanges) {
  HKEY key = Create(WTEXT("Many"));
  constexpr int kSubKeys = 4200, kValues = 50;
  for (int i = 0; i < kSubKeys; ++i) {
    HKEY sub = nullptr;
    char name[16];
    std::snprintf(name, sizeof name, "s%05d", i);
    ASSERT_EQ(RegCreateKeyExW(key, W(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);
  }
  for (int i = 0; i < kValues; ++i) {
    ASSERT_EQ(SetSz(key, W("v" + std::to_string(i)).c_str(), WTEXT("x")), ERROR_SUCCESS);
  }
  WCHAR name[32];
  for (int i = 0; i < kSubKeys; ++i) {
    ASSERT_EQ(RegEnumKeyW(key, static_cast<DWORD>(i), name, 32), ERROR_SUCCESS);
    char expected[16];
    std::snprintf(expected, sizeof expected, "s%05d", i);
    ASSERT_EQ(pavo::WideString(name), W(expected)) << i;
  }
  EXPECT_EQ(RegEnumKeyW(key, kSubKeys, name, 32), ERROR_NO_MORE_ITEMS);
  const auto value = [&](DWORD index) {
    DWORD cch = 32;
    const LONG rc = RegEnumValueW(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
    return rc == ERROR_SUCCESS ? pavo::WideString(name) : pavo::WideString(WTEXT("error"));
  };
  for (DWORD i = 0; i < 10; ++i) EXPECT_EQ(value(i), W("v" + std::to_string(i)));
  ASSERT_EQ(RegDeleteValueW(key, WTEXT("v0")), ERROR_SUCCESS);
  EXPECT_EQ(value(10), WTEXT("v11"));  // counted in the changed key
  EXPECT_EQ(value(3), WTEXT("v4"));    // a jump back
  EXPECT_EQ(value(4), WTEXT("v5"));
  EXPECT_EQ(value(kValues - 1), WTEXT("error"));
  ASSERT_EQ(RegDeleteKeyW(key, WTEXT("s00000")), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyW(key, 0, name, 32), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(name), WTEXT("s00001"));
  RegCloseKey(key);
}

TEST_F(Registry, HandleRightsAreEnforced) {
  RegCloseKey(Create(WTEXT("Locked\\Child")));
  HKEY reader = nullptr, writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("Locked"), 0, KEY_READ, &reader), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("Locked"), 0, KEY_WRITE, &writer), ERROR_SUCCESS);
  HKEY sub = nullptr;
  EXPECT_EQ(SetSz(reader, WTEXT("v"), WTEXT("x")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(reader, WTEXT("v")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExW(reader, WTEXT("New"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(reader, WTEXT("Child")), ERROR_ACCESS_DENIED);
  // An existing sub-key opens through a read-only handle, as on Windows.
  EXPECT_EQ(RegCreateKeyExW(reader, WTEXT("Child"), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(SetSz(writer, WTEXT("v"), WTEXT("x")), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(writer, WTEXT("v"), nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegQueryValueExW(reader, WTEXT("v"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  WCHAR name[8];
  EXPECT_EQ(RegEnumKeyW(writer, 0, name, 8), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);
  RegCloseKey(writer);
}

TEST_F(Registry, ClosedAndUnknownHandlesAreRejected) {
  HKEY key = Create(WTEXT("H"));
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, WTEXT("v"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetSz(key, WTEXT("v"), WTEXT("x")), ERROR_INVALID_HANDLE);
  HKEY out = nullptr;
  for (HKEY bad : {static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x1234),
                   HKEY_CLASSES_ROOT, HKEY_USERS}) {
    EXPECT_EQ(RegOpenKeyExW(bad, WTEXT("x"), 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
  }
}

TEST_F(Registry, DeletingKeysFollowsWindows) {
  HKEY parent = Create(WTEXT("Del\\Parent"));
  RegCloseKey(Create(WTEXT("Child"), nullptr, parent));
  ASSERT_EQ(SetSz(parent, WTEXT("v"), WTEXT("x")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(root_, WTEXT("Del\\Parent")), ERROR_ACCESS_DENIED);  // has a sub-key
  EXPECT_EQ(RegDeleteKeyW(parent, WTEXT("child\\")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(parent, WTEXT("Child")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(root_, WTEXT("Del\\Parent")), ERROR_SUCCESS);
  // The open handle now names a deleted key.
  EXPECT_EQ(SetSz(parent, WTEXT("v"), WTEXT("y")), ERROR_KEY_DELETED);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(parent, WTEXT("v"), nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  // Re-creating the path gives a new key without the old values.
  HKEY again = Create(WTEXT("Del\\Parent"));
  EXPECT_EQ(RegQueryValueExW(again, WTEXT("v"), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);
  EXPECT_EQ(RegDeleteKeyW(root_, WTEXT("")), ERROR_ACCESS_DENIED);  // a hive's root stays

  RegCloseKey(Create(WTEXT("Tree\\a\\b\\c")));
  EXPECT_EQ(RegDeleteTreeW(root_, WTEXT("Tree")), ERROR_SUCCESS);
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExW(root_, WTEXT("Tree"), 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  RegCloseKey(parent);
}

TEST_F(Registry, HiveFilesArePrivateAndPersistent) {
  HKEY key = Create(WTEXT("Persist"));
  ASSERT_EQ(SetSz(key, WTEXT("v"), WTEXT("kept")), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(root_);
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(regtest::LoadHive(file_, &root_), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("persist"), 0, KEY_READ, &key), ERROR_SUCCESS);
  LONG rc;
  EXPECT_EQ(Get(key, WTEXT("v"), &rc).size(), 10u);
  RegCloseKey(key);
  // A missing folder is not made for an application hive.
  HKEY other = nullptr;
  EXPECT_EQ(regtest::LoadHive(dir_.File("no/such.hive"), &other), ERROR_PATH_NOT_FOUND);
}

TEST_F(Registry, FilesThatAreNotHivesAreReportedAndLeftAlone) {
  std::string junk(5000, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7 + 3);
  std::vector<std::string> files;
  files.push_back(dir_.File("junk.hive"));
  regtest::WriteFile(files.back(), junk);
  // A real SQLite database of someone else.
  files.push_back(dir_.File("foreign.db"));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(files.back().c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  // Our own hive, cut in the middle, and one with a damaged page.
  HKEY key = Create(WTEXT("Big"));
  const std::string filler(3000, 'z');
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(SetSz(key, W("v" + std::to_string(i)).c_str(), W(filler)), ERROR_SUCCESS);
  }
  RegCloseKey(key);
  RegCloseKey(root_);
  root_ = nullptr;
  const std::string whole = regtest::ReadFile(file_);
  ASSERT_GT(whole.size(), 16384u);
  files.push_back(dir_.File("cut.hive"));
  regtest::WriteFile(files.back(), whole.substr(0, whole.size() / 2));
  files.push_back(dir_.File("damaged.hive"));
  std::string damaged = whole;
  for (size_t i = 4096; i < 8192; ++i) damaged[i] = static_cast<char>(0xA5);
  regtest::WriteFile(files.back(), damaged);

  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::string before = regtest::ReadFile(f);
    HKEY h = nullptr;
    const LONG rc = regtest::LoadHive(f, &h);
    if (rc == ERROR_SUCCESS) {
      // Only a file whose damage SQLite cannot see may open; reading it must still be safe.
      DWORD size = 0;
      RegQueryValueExW(h, WTEXT("v1"), nullptr, nullptr, nullptr, &size);
      RegCloseKey(h);
    } else {
      EXPECT_EQ(h, nullptr);
    }
    EXPECT_TRUE(rc == ERROR_BADDB || f.find("cut") != std::string::npos) << rc;
    EXPECT_EQ(regtest::ReadFile(f), before);
  }
}

TEST_F(Registry, ThreadsShareAHive) {
  constexpr int kThreads = 4, kWrites = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(root_, W("T\\" + std::to_string(t % 2)).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(SetSz(key, W(std::to_string(t) + "-" + std::to_string(i)).c_str(), WTEXT("x")),
                  ERROR_SUCCESS);
      }
      RegCloseKey(key);
    });
  }
  for (auto& th : threads) th.join();
  DWORD values = 0, total = 0;
  for (const WCHAR* path : {WTEXT("T\\0"), WTEXT("T\\1")}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root_, path, 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    total += values;
    RegCloseKey(key);
  }
  EXPECT_EQ(total, static_cast<DWORD>(kThreads * kWrites));
}

TEST(RegistryPredefined, RootsLiveInTheFilesTheEnvironmentNames) {
  regtest::ScratchDir dir;
  const std::string user = dir.File("user.hive");
  // The predefined hives are opened on first use, so the place must be set first.
  setenv("PAVORM_HKCU_HIVE", user.c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.File("xdg").c_str(), 1);
  unsetenv("PAVORM_HKLM_HIVE");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WTEXT("Software\\Test"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("who"), WTEXT("user")), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, WTEXT("Software\\Test"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  struct stat st;
  ASSERT_EQ(stat(dir.File("xdg/pavorm/machine.hive").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The user's hive file holds what was written through HKEY_CURRENT_USER.
  HKEY app = nullptr;
  ASSERT_EQ(regtest::LoadHive(user, &app, KEY_READ), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(app, WTEXT("Software\\Test"), 0, KEY_READ, &key), ERROR_SUCCESS);
  LONG rc;
  EXPECT_EQ(Get(key, WTEXT("who"), &rc).size(), 10u);
  RegCloseKey(key);
  RegCloseKey(app);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

}  // namespace
