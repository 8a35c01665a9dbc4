#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/code_pages.h"
#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

using pavo::reg::ExportRegText;
using pavo::reg::ImportRegText;
using pavo::reg::RegFileFormat;
using pavo::reg::RegFileRoot;
using regtest::Get;
using regtest::SetSz;

namespace {

std::string Utf16File(const pavo::WideString& text) {
  std::string out = "\xFF\xFE";
  for (WCHAR c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

class RegFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(regtest::LoadHive(dir_.File("a.hive"), &a_), ERROR_SUCCESS);
    ASSERT_EQ(regtest::LoadHive(dir_.File("b.hive"), &b_), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(a_);
    RegCloseKey(b_);
  }
  std::vector<RegFileRoot> RootsB() const { return {{WTEXT("HKEY_CURRENT_USER"), b_}}; }
  LONG Import(const std::string& bytes, size_t* line = nullptr) {
    return ImportRegText(bytes.data(), bytes.size(), RootsB(), line);
  }
  HKEY Open(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(root, path, 0, KEY_READ, &key), ERROR_SUCCESS);
    return key;
  }
  pavo::WideString String(HKEY key, const WCHAR* name) {
    LONG rc;
    std::vector<BYTE> d = Get(key, name, &rc);
    if (rc != ERROR_SUCCESS) return WTEXT("<missing>");
    return pavo::WideString(reinterpret_cast<const WCHAR*>(d.data()), d.size() / 2);
  }
  regtest::ScratchDir dir_;
  HKEY a_ = nullptr, b_ = nullptr;
};

TEST_F(RegFile, ExportThenImportRebuildsTheSameTree) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(a_, WTEXT("App\\Sub \"quoted\"\\Deeper"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(a_, WTEXT("App"), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  std::vector<BYTE> big(300);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 13);
  const DWORD dw = 0xDEADBEEF;
  const QWORD qw = 0x0102030405060708ull;
  const WCHAR multi[] = WTEXT("one\0two\0");
  const WCHAR noTerminator[] = {WTEXT('a'), WTEXT('b')};
  ASSERT_EQ(SetSz(key, nullptr, WTEXT("default")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("path"), WTEXT("C:\\Program Files\\\"x\"\\")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("Grüße €"), WTEXT("ÄÖÜ ß 日本")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("lines"), WTEXT("a\r\nb")), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("empty"), WTEXT("")), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("raw"), 0, REG_SZ, reinterpret_cast<const BYTE*>(noTerminator),
                           4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("bin"), 0, REG_BINARY, big.data(), 300), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("nothing"), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("dw"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), 4),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("qw"), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qw), 8),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("multi"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                           sizeof multi), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, WTEXT("exp"), 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(WTEXT("%PATH%")), 14), ERROR_SUCCESS);
  RegCloseKey(key);

  std::string first, second;
  ASSERT_EQ(ExportRegText(a_, WTEXT("HKEY_CURRENT_USER"), RegFileFormat::kVersion5, &first),
            ERROR_SUCCESS);
  ASSERT_EQ(Import(first), ERROR_SUCCESS);
  ASSERT_EQ(ExportRegText(b_, WTEXT("HKEY_CURRENT_USER"), RegFileFormat::kVersion5, &second),
            ERROR_SUCCESS);
  EXPECT_EQ(first, second);

  // Each value came over with its exact type and bytes.
  HKEY from = Open(a_, WTEXT("App")), to = Open(b_, WTEXT("App"));
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    DWORD cch = 64, type = 0;
    if (RegEnumValueW(from, i, name, &cch, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
      EXPECT_EQ(i, 12u);
      break;
    }
    LONG rcA, rcB;
    DWORD typeB = 0;
    EXPECT_EQ(Get(from, name, &rcA), Get(to, name, &rcB, &typeB)) << i;
    EXPECT_EQ(rcB, ERROR_SUCCESS);
    EXPECT_EQ(type, typeB);
  }
  RegCloseKey(from);
  RegCloseKey(to);
  HKEY deeper = Open(b_, WTEXT("App\\Sub \"quoted\"\\Deeper"));
  RegCloseKey(deeper);

  // What Windows' editor writes for the simple types.
  pavo::WideString text;
  for (size_t i = 2; i + 1 < first.size(); i += 2) {
    text.push_back(static_cast<WCHAR>(static_cast<unsigned char>(first[i]) |
                                         (static_cast<unsigned char>(first[i + 1]) << 8)));
  }
  EXPECT_EQ(text.rfind(WTEXT("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n"), 0),
            0u);
  for (const WCHAR* line :
       {WTEXT("\r\n[HKEY_CURRENT_USER\\App]\r\n@=\"default\"\r\n"),
        WTEXT("\r\n\"path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\\\\\"\r\n"), WTEXT("\r\n\"dw\"=dword:deadbeef\r\n"),
        WTEXT("\r\n\"exp\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"),
        WTEXT("\r\n\"raw\"=hex(1):61,00,62,00\r\n"), WTEXT("\r\n\"nothing\"=hex:\r\n")}) {
    EXPECT_NE(text.find(line), pavo::WideString::npos) << pavo::Utf8FromWide(line, std::char_traits<WCHAR>::length(line));
  }
  // Long data wraps before column 80 with ",\" and two spaces.
  size_t start = 0;
  for (size_t end; (end = text.find(WTEXT("\r\n"), start)) != pavo::WideString::npos; start = end + 2) {
    EXPECT_LE(end - start, 80u);
  }
  EXPECT_NE(text.find(WTEXT(",\\\r\n  ")), pavo::WideString::npos);
}

TEST_F(RegFile, ImportsWindowsFilesWithContinuationsAndDeletions) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(b_, WTEXT("Software\\Old\\Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(b_, WTEXT("Software\\Keep"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(key, WTEXT("gone"), WTEXT("x")), ERROR_SUCCESS);
  RegCloseKey(key);
  const pavo::WideString file =
      WTEXT("Windows Registry Editor Version 5.00\r\n")
      WTEXT("\r\n")
      WTEXT("; a comment\r\n")
      WTEXT("[-HKEY_CURRENT_USER\\Software\\Old]\r\n")
      WTEXT("\r\n")
      WTEXT("[hkey_current_user\\Software\\Keep\\]\r\n")
      WTEXT("\"gone\"=-\r\n")
      WTEXT("@=\"def\"\r\n")
      WTEXT("\"Name\" = \"a \\\"b\\\" \\\\c\"\r\n")
      WTEXT("\"Dw\"=dword:0000001F\r\n")
      WTEXT("\"Multi\"=hex(7):61,00,00,00,\\\r\n")
      WTEXT("  62,00,00,00,\\\r\n")
      WTEXT("  00,00\r\n")
      WTEXT("\"Bin\"=hex:01,02,ff\r\n");
  ASSERT_EQ(Import(Utf16File(file + pavo::WideString(1, WTEXT('\0')))), ERROR_SUCCESS);
  HKEY old = nullptr;
  EXPECT_EQ(RegOpenKeyExW(b_, WTEXT("Software\\Old"), 0, KEY_READ, &old), ERROR_FILE_NOT_FOUND);
  key = Open(b_, WTEXT("Software\\Keep"));
  EXPECT_EQ(String(key, WTEXT("gone")), WTEXT("<missing>"));
  EXPECT_EQ(String(key, nullptr), pavo::WideString(WTEXT("def"), 4));
  EXPECT_EQ(String(key, WTEXT("name")), pavo::WideString(WTEXT("a \"b\" \\c"), 9));
  LONG rc;
  DWORD type = 0;
  EXPECT_EQ(Get(key, WTEXT("Multi"), &rc, &type),
            (std::vector<BYTE>{0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(Get(key, WTEXT("Dw"), &rc), (std::vector<BYTE>{0x1F, 0, 0, 0}));
  EXPECT_EQ(Get(key, WTEXT("Bin"), &rc), (std::vector<BYTE>{1, 2, 0xFF}));
  RegCloseKey(key);
}

TEST_F(RegFile, Regedit4IsReadAndWrittenAsAnsi) {
  // The bytes below are Windows-1252, which a UTF-8 process also uses for REGEDIT4.
  if (GetACP() != 1252 && GetACP() != CP_UTF8) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string file =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Caf\xE9]\r\n\"Name\"=\"na\xEFve\"\r\n"
      "\"Exp\"=hex(2):25,41,25,00\r\n";
  ASSERT_EQ(Import(file), ERROR_SUCCESS);
  HKEY key = Open(b_, WTEXT("Café"));
  EXPECT_EQ(String(key, WTEXT("Name")), pavo::WideString(WTEXT("naïve"), 6));
  EXPECT_EQ(String(key, WTEXT("Exp")), pavo::WideString(WTEXT("%A%"), 4));
  RegCloseKey(key);
  std::string out;
  ASSERT_EQ(ExportRegText(b_, WTEXT("HKEY_CURRENT_USER"), RegFileFormat::kRegedit4, &out),
            ERROR_SUCCESS);
  EXPECT_EQ(out.rfind("REGEDIT4\r\n", 0), 0u);
  EXPECT_NE(out.find("[HKEY_CURRENT_USER\\Caf\xE9]\r\n\"Name\"=\"na\xEFve\"\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("\"Exp\"=hex(2):25,41,25,00\r\n"), std::string::npos);
}

TEST_F(RegFile, MalformedFilesChangeNothingAndNameTheLine) {
  const std::string good =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\New]\r\n\"a\"=\"b\"\r\n";
  struct Case {
    std::string tail;
    size_t line;
  } cases[] = {
      {"\"x\"=dword:123456789\r\n", 5},  // nine digits
      {"\"x\"=hex:1,2,zz\r\n", 5},
      {"\"x\"=hex(7:00\r\n", 5},
      {"\"x\"=\"unclosed\r\n", 5},
      {"\"x\"\r\n", 5},
      {"[HKEY_NOWHERE\\x]\r\n", 5},
      {"[-HKEY_CURRENT_USER]\r\n", 5},
      {"junk\r\n", 5},
  };
  for (const Case& c : cases) {
    size_t line = 0;
    EXPECT_EQ(Import(good + c.tail, &line), ERROR_INVALID_DATA) << c.tail;
    EXPECT_EQ(line, c.line) << c.tail;
  }
  EXPECT_EQ(Import("Windows Registry Editor Version 4.00\r\n"), ERROR_BAD_FORMAT);
  EXPECT_EQ(Import(""), ERROR_BAD_FORMAT);
  EXPECT_EQ(Import("Windows Registry Editor Version 5.00\r\n\"v\"=\"no key\"\r\n"),
            ERROR_INVALID_DATA);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(b_, WTEXT("New"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  // Every prefix of a valid file is handled without harm.
  const std::string full = Utf16File(
      WTEXT("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\P]\r\n")
      WTEXT("\"s\"=\"x\\\\y\"\r\n\"h\"=hex(2):41,00,\\\r\n  00,00\r\n\"d\"=dword:1\r\n\"z\"=-\r\n"));
  for (size_t n = 0; n <= full.size(); ++n) Import(full.substr(0, n));
}

}  // namespace
