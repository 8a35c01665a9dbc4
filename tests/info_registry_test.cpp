#include <gtest/gtest.h>

#include "info/PavoRmInformationRegistry.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

namespace {

pavo::WideString S(const PavoRmCString& s) { return pavo::WideString(s.GetString(), s.GetLength()); }

class InformationRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(regtest::LoadHive(file_, &root_), ERROR_SUCCESS);
    info_ = new PavoRmInformationRegistry(root_, WTEXT("Software\\PavoRm"), WTEXT("C:\\Lang"), WTEXT("enu"));
  }
  void TearDown() override {
    info_->SafeDelete();
    RegCloseKey(root_);
  }
  static std::vector<pavo::WideString> Take(PavoRmLanguageList& list) {
    std::vector<pavo::WideString> out;
    for (PavoRmCString* s : list) {
      out.push_back(S(*s));
      delete s;
    }
    list.RemoveAll();
    return out;
  }
  regtest::ScratchDir dir_;
  std::string file_ = dir_.File("info.hive");
  HKEY root_ = nullptr;
  PavoRmInformationRegistry* info_ = nullptr;
};

TEST_F(InformationRegistry, WritesAndReadsSettingsBySection) {
  EXPECT_EQ(S(info_->ReadValue(WTEXT(""), WTEXT("Viewer"))), WTEXT(""));  // no key yet
  ASSERT_EQ(info_->WriteValue(WTEXT(""), WTEXT("Viewer"), WTEXT("viewerdeu.dll")), 1);
  ASSERT_EQ(info_->WriteValue(WTEXT("Options"), WTEXT("Mode"), WTEXT("fast")), 1);
  ASSERT_EQ(info_->WriteValue(WTEXT("Options"), WTEXT("Empty"), WTEXT("")), 1);
  // Written under "m_Root\" and read under "m_Root": the same key.
  EXPECT_EQ(S(info_->ReadValue(WTEXT(""), WTEXT("viewer"))), WTEXT("viewerdeu.dll"));
  EXPECT_EQ(S(info_->ReadValue(WTEXT("options"), WTEXT("MODE"))), WTEXT("fast"));
  EXPECT_EQ(S(info_->ReadValue(WTEXT("Options"), WTEXT("Missing"))), WTEXT(""));
  EXPECT_EQ(S(info_->ReadValue(WTEXT("Nowhere"), WTEXT("Mode"))), WTEXT(""));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("Software\\PavoRm\\Options"), 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key, WTEXT("Empty"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 2u);  // just the terminator
  WCHAR cls[16];
  DWORD cch = 16;
  ASSERT_EQ(RegQueryInfoKeyW(key, cls, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(pavo::WideString(cls), WTEXT("PavoRm"));
  RegCloseKey(key);
}

TEST_F(InformationRegistry, ReadsAnyValueTypeAsBoundedText) {
  ASSERT_EQ(info_->WriteValue(WTEXT(""), WTEXT("x"), WTEXT("seed")), 1);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, WTEXT("Software\\PavoRm"), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const WCHAR unterminated[] = {WTEXT('a'), WTEXT('b'), WTEXT('c')};
  ASSERT_EQ(RegSetValueExW(key, WTEXT("raw"), 0, REG_BINARY, reinterpret_cast<const BYTE*>(unterminated),
                           sizeof unterminated), ERROR_SUCCESS);
  const BYTE odd[] = {'h', 0, 'i', 0, '!'};
  ASSERT_EQ(RegSetValueExW(key, WTEXT("odd"), 0, REG_BINARY, odd, sizeof odd), ERROR_SUCCESS);
  const WCHAR inner[] = WTEXT("one\0two");
  ASSERT_EQ(RegSetValueExW(key, WTEXT("multi"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(inner),
                           sizeof inner), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(S(info_->ReadValue(WTEXT(""), WTEXT("raw"))), WTEXT("abc"));
  EXPECT_EQ(S(info_->ReadValue(WTEXT(""), WTEXT("odd"))), WTEXT("hi"));
  EXPECT_EQ(S(info_->ReadValue(WTEXT(""), WTEXT("multi"))), WTEXT("one"));
}

TEST_F(InformationRegistry, LanguagesAreTheSubKeysAppendedInOrder) {
  PavoRmLanguageList list;
  EXPECT_EQ(info_->GetLanguageList(list), 0);  // key missing
  EXPECT_TRUE(list.IsEmpty());
  ASSERT_EQ(info_->WriteValue(WTEXT(""), WTEXT("Viewer"), WTEXT("v.dll")), 1);
  EXPECT_EQ(info_->GetLanguageList(list), 1);  // no sub-keys yet
  EXPECT_TRUE(list.IsEmpty());
  for (const WCHAR* lang : {WTEXT("enu"), WTEXT("deu"), WTEXT("FRA")}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root_, (pavo::WideString(WTEXT("Software\\PavoRm\\")) + lang).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // A section written through the object is a sub-key, and so a language.
  ASSERT_EQ(info_->WriteValue(WTEXT("Options"), WTEXT("Mode"), WTEXT("fast")), 1);
  EXPECT_EQ(info_->GetLanguageList(list), 1);
  EXPECT_EQ(info_->GetLanguageList(list), 1);  // appended again, not replaced
  // The current language is the one held in memory, not a sub-key.
  info_->SetCurrentLanguageName(WTEXT("ita"));
  EXPECT_EQ(S(info_->GetCurrentLanguage()), WTEXT("ita"));
  EXPECT_EQ(Take(list), (std::vector<pavo::WideString>{WTEXT("deu"), WTEXT("enu"), WTEXT("FRA"), WTEXT("Options"), WTEXT("deu"),
                                                       WTEXT("enu"), WTEXT("FRA"), WTEXT("Options")}));
}

}  // namespace
