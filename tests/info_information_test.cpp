#include <gtest/gtest.h>
#include <filesystem>

#include "info/PavoRmInformation.h"
#include "platform/win/paths.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

namespace {

// The smallest concrete information: counts its destructions; a release from
// its own destructor imitates a holder that lets go while it is torn down.
class Probe : public PavoRmInformation {
 public:
  Probe(const PavoRmCString& path, int* destroyed, bool releaseInDestructor = false)
      : PavoRmInformation(WTEXT("root"), path, WTEXT("enu")),
        m_destroyed(destroyed),
        m_release(releaseInDestructor) {}
  int WriteValue(const PavoRmCString&, const PavoRmCString&, const PavoRmCString&) override {
    return 0;
  }
  PavoRmCString ReadValue(const PavoRmCString&, const PavoRmCString&) override { return {}; }
  int GetLanguageList(PavoRmLanguageList&) override { return 0; }
  PavoRmCString GetCurrentLanguage() override { return GetCurrentLanguageName(); }
  const PavoRmCString& Path() const { return m_Path; }
  int Count() const { return m_RefCount; }

 protected:
  ~Probe() override {
    ++*m_destroyed;
    if (m_release) SafeDelete();
  }

 private:
  int* m_destroyed;
  bool m_release;
};

pavo::WideString S(const PavoRmCString& s) { return pavo::WideString(s.GetString(), s.GetLength()); }

TEST(Information, PathGetsOneTrailingBackslash) {
  int destroyed = 0;
  for (auto c : {std::make_pair(WTEXT("C:\\Lang"), WTEXT("C:\\Lang\\")), std::make_pair(WTEXT("C:\\Lang\\"), WTEXT("C:\\Lang\\")),
                 std::make_pair(WTEXT(""), WTEXT("")), std::make_pair(WTEXT("/opt/lang"), WTEXT("/opt/lang\\"))}) {
    Probe* p = new Probe(c.first, &destroyed);
    EXPECT_EQ(S(p->Path()), c.second);
    p->SafeDelete();
  }
  EXPECT_EQ(destroyed, 4);
}

TEST(Information, ExpandPathJoinsRelativeNamesOnly) {
  int destroyed = 0;
  Probe* p = new Probe(WTEXT("C:\\Lang"), &destroyed);
  const std::pair<const WCHAR*, const WCHAR*> cases[] = {
      {WTEXT("relative.dll"), WTEXT("C:\\Lang\\relative.dll")},
      {WTEXT("\\sub\\x.dll"), WTEXT("C:\\Lang\\sub\\x.dll")},
      {WTEXT("\\\\server\\x.dll"), WTEXT("C:\\Lang\\\\server\\x.dll")},  // only one backslash goes
      {WTEXT("D:\\x.dll"), WTEXT("D:\\x.dll")},
      {WTEXT("/usr/share/x.dll"), WTEXT("/usr/share/x.dll")},
      {WTEXT("x"), WTEXT("C:\\Lang\\x")},
      {WTEXT(""), WTEXT("C:\\Lang\\")},  // the folder alone, not a read past the text
  };
  for (const auto& c : cases) EXPECT_EQ(S(p->ExpandPath(c.first)), c.second) << S(c.first).size();
  p->SafeDelete();
  Probe* none = new Probe(WTEXT(""), &destroyed);
  EXPECT_EQ(S(none->ExpandPath(WTEXT("\\x.dll"))), WTEXT("\\x.dll"));
  EXPECT_EQ(S(none->ExpandPath(WTEXT(""))), WTEXT(""));
  none->SafeDelete();
}

TEST(Information, FileExistWantsAFileWithTheArchiveBit) {
  regtest::ScratchDir dir;
  const std::string file = dir.File("lang.dll"), locked = dir.File("locked.dll");
  regtest::WriteFile(file, "x");
  regtest::WriteFile(locked, "x");
  std::filesystem::permissions(std::filesystem::u8path(locked), std::filesystem::perms::owner_read |
                                   std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  int destroyed = 0;
  Probe* p = new Probe(WTEXT(""), &destroyed);
  auto exists = [&](const std::string& path) { return p->FileExist(regtest::W(path).c_str()); };
  EXPECT_EQ(exists(file), 1);
  EXPECT_EQ(exists(locked), 1);  // read-only 0x21 still has the archive bit
  EXPECT_EQ(exists(dir.File("")), 0);  // a folder
  EXPECT_EQ(exists(dir.File("missing.dll")), 0);
  EXPECT_EQ(exists("/dev/null"), 0);
  // Backslashes are read as slashes.
  std::string backslashed = file;
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  EXPECT_EQ(exists(backslashed), 1);
  p->SafeDelete();
}

TEST(Information, ReferenceCountingDestroysOnceAtTheLastRelease) {
  int destroyed = 0;
  Probe* p = new Probe(WTEXT(""), &destroyed);
  EXPECT_EQ(p->reference(), p);
  p->reference();
  p->SafeDelete();
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(p->Count(), 1);
  p->SafeDelete();
  EXPECT_EQ(destroyed, 1);
  // Never referenced: the first release destroys it.
  (new Probe(WTEXT(""), &destroyed))->SafeDelete();
  EXPECT_EQ(destroyed, 2);
  // A release reached from inside the destructor does not destroy it again.
  (new Probe(WTEXT(""), &destroyed, true))->SafeDelete();
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
