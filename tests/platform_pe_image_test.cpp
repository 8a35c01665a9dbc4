#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "module_test_support.h"
#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"
#include "platform/win/module_table.h"
#include "platform/win/resources.h"
#include "platform/win/wide_text.h"

namespace {

struct Loaded {
  explicit Loaded(const std::string& path, DWORD flags = LOAD_LIBRARY_AS_DATAFILE)
      : handle(LoadLibraryExW(test::Wide(path).c_str(), nullptr, flags)) {}
  ~Loaded() {
    if (handle != nullptr) FreeLibrary(handle);
  }
  HMODULE handle;
};

struct UiLanguage {
  explicit UiLanguage(LANGID id) { SetThreadUILanguage(id); }
  ~UiLanguage() { SetThreadUILanguage(0); }
};

pavo::WideString Load(HMODULE h, UINT id) {
  WCHAR buffer[256];
  const int n = LoadStringW(h, id, buffer, 256);
  return pavo::WideString(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// The text of id in language as the library's own reader finds it: what the
// tool and its damage reports read, on Windows as well.
pavo::WideString ReaderText(HMODULE h, UINT id, LANGID language, DWORD* error = nullptr) {
  const pavo::PeImage* image = pavo::ModuleImage(h);
  const WCHAR* text = nullptr;
  size_t length = 0;
  const DWORD e = image != nullptr ? image->FindString(id, language, &text, &length) : DWORD{ERROR_INVALID_HANDLE};
  if (error != nullptr) *error = e;
  return e == ERROR_SUCCESS ? pavo::WideString(text, length) : pavo::WideString();
}

// On Windows the loader and LoadStringW are the system's: what they make of a
// damaged file is not the library's to promise (Windows documents none of
// it). The stand-ins' answers are checked on Linux; the library's reader on
// both.
#ifdef _WIN32
constexpr bool kStandInLoader = false;
#else
constexpr bool kStandInLoader = true;
#endif

test::StringTable OurStrings(const pavo::PeImage& image) {
  test::StringTable table;
  image.ForEachString([&](UINT id, WORD lang, const BYTE* bytes, size_t units) {
    pavo::WideString s;
    for (size_t i = 0; i < units; ++i) s.push_back(static_cast<WCHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    table[{lang, id}] = s;
  });
  return table;
}

// File offset of the resource directory, read from the headers here rather
// than through the code under test.
size_t ResourceDirectoryOffset(const std::vector<unsigned char>& f) {
  auto rd16 = [&](size_t at) { return static_cast<size_t>(f[at] | (f[at + 1] << 8)); };
  auto rd32 = [&](size_t at) { return rd16(at) | (rd16(at + 2) << 16); };
  const size_t pe = rd32(0x3C);
  const size_t optional = pe + 24;
  const bool plus = rd16(optional) == 0x20B;
  const size_t rva = rd32(optional + (plus ? 112 : 96) + 16);
  const size_t sections = optional + rd16(pe + 20);
  for (size_t i = 0; i < rd16(pe + 6); ++i) {
    const size_t s = sections + 40 * i;
    if (rva >= rd32(s + 12) && rva < rd32(s + 12) + rd32(s + 16)) return rd32(s + 20) + (rva - rd32(s + 12));
  }
  return 0;
}

}  // namespace

// Every string of every language, read by us and by llvm-readobj, for PE32+
// and PE32 test modules and the library's three language modules.
TEST(PeImage, StringsMatchLlvmReadobj) {
  const std::string modules[] = {test::TestModule("strings.dll"), test::TestModule("strings32.dll"),
                                 test::LanguageModule("PavoRmenu.dll"), test::LanguageModule("PavoRmdeu.dll"),
                                 test::LanguageModule("PavoRmfra.dll")};
  for (const std::string& path : modules) {
    SCOPED_TRACE(path);
    PAVORM_NEED_READOBJ();
    const test::StringTable expected = test::ReadObjStrings(path);
    ASSERT_GE(expected.size(), 7u);
    Loaded m(path);
    ASSERT_NE(m.handle, nullptr) << GetLastError();
    ASSERT_NE(pavo::ModuleImage(m.handle), nullptr);
    EXPECT_EQ(OurStrings(*pavo::ModuleImage(m.handle)), expected);
  }
  // The loader's choice of language: LoadStringW in each language's own UI language.
  PAVORM_SKIP_UNDER_WINE(PAVORM_WINE_NEUTRAL_FIRST);
  for (const std::string& path : modules) {
    SCOPED_TRACE(path);
    const test::StringTable expected = test::ReadObjStrings(path);
    Loaded m(path);
    ASSERT_NE(m.handle, nullptr) << GetLastError();
    for (const auto& [key, text] : expected) {
      // Neutral strings are what a UI language without strings of its own gets.
      UiLanguage ui(static_cast<LANGID>(key.first != 0 ? key.first : 1040));
      EXPECT_EQ(Load(m.handle, key.second), text) << "language " << key.first << " id " << key.second;
    }
  }
}

TEST(PeImage, LanguageChoiceFollowsWindows) {
  PAVORM_SKIP_UNDER_WINE(PAVORM_WINE_NEUTRAL_FIRST);
  Loaded m(test::TestModule("strings.dll"));
  ASSERT_NE(m.handle, nullptr);
  {
    UiLanguage ui(1033);
    EXPECT_EQ(Load(m.handle, 0), WTEXT("zero"));  // id 0 is an id like any other
    EXPECT_EQ(Load(m.handle, 0x10001), WTEXT("one"));  // ids are 16 bits wide
  }
  {
    UiLanguage ui(1031);
    EXPECT_EQ(Load(m.handle, 1), WTEXT("eins"));
    // The language is chosen per block of 16: German has block 1 without id 15.
    EXPECT_EQ(Load(m.handle, 15), WTEXT(""));
    EXPECT_EQ(Load(m.handle, 100), WTEXT("English only"));      // no German, no neutral: 1033
    EXPECT_EQ(Load(m.handle, 300), WTEXT("neutral only \U0001D11E"));  // neutral before 1033
    EXPECT_EQ(Load(m.handle, 400), WTEXT("seulement en fran\u00E7ais"));  // only French: the first present
  }
  {
    UiLanguage ui(1040);
    EXPECT_EQ(Load(m.handle, 1), WTEXT("neutral one"));
    EXPECT_EQ(Load(m.handle, 16), WTEXT("sixteen"));
  }
}

TEST(PeImage, ResourceNamesAndTheirErrors) {
  Loaded m(test::TestModule("strings.dll"));
  ASSERT_NE(m.handle, nullptr);
  // Names are found without regard to case; "#7" is the id 7.
  HRSRC config = FindResourceExW(m.handle, RT_RCDATA, WTEXT("config"), 1031);
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(SizeofResource(m.handle, config), 4u);
  EXPECT_EQ(std::memcmp(LockResource(LoadResource(m.handle, config)), "abcd", 4), 0);
  HRSRC custom = FindResourceW(m.handle, WTEXT("#7"), WTEXT("MyType"));
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(SizeofResource(m.handle, custom), 3u);

  EXPECT_EQ(FindResourceExW(m.handle, RT_RCDATA, WTEXT("CONFIG"), 0x0C0C), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(FindResourceW(m.handle, WTEXT("CONFIG"), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(FindResourceW(m.handle, WTEXT("OTHER"), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(SizeofResource(m.handle, reinterpret_cast<HRSRC>(&config)), 0u);
}

TEST(PeImage, LoadStringBufferRules) {
  Loaded m(test::TestModule("strings.dll"));
  ASSERT_NE(m.handle, nullptr);
  UiLanguage ui(1033);
  WCHAR small[4] = {WTEXT('x'), WTEXT('x'), WTEXT('x'), WTEXT('x')};
  EXPECT_EQ(LoadStringW(m.handle, 16, small, 4), 3);
  EXPECT_EQ(pavo::WideString(small), WTEXT("six"));

  const WCHAR* text = nullptr;
  EXPECT_EQ(LoadStringW(m.handle, 65535, reinterpret_cast<LPWSTR>(&text), 0), 7);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(pavo::WideString(text, 7), WTEXT("last id"));

  EXPECT_EQ(Load(m.handle, 0x10001), Load(m.handle, 1));  // ids are 16 bits wide
  EXPECT_NE(Load(m.handle, 1), WTEXT(""));
  EXPECT_EQ(Load(m.handle, 4095), WTEXT("end of block 256"));
  small[0] = WTEXT('x');
  EXPECT_EQ(LoadStringW(m.handle, 17, small, 4), 0);
  EXPECT_EQ(small[0], 0);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadStringW(m.handle, 1, nullptr, 4), 0);
  // Windows documents only the 0 (its LoadStringW leaves the last error); the
  // stand-in says why.
  if (kStandInLoader) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // A handle of no module is an image without resources to Windows.
  EXPECT_EQ(LoadStringW(reinterpret_cast<HINSTANCE>(0x1234), 1, small, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

// Every prefix of a module either fails to open or yields only strings the
// whole module has, with the same text (ASan checks that nothing is read past
// the prefix, which is copied to a heap block of exactly its size).
TEST(PeImage, TruncatedModulesNeverInventStrings) {
  const std::vector<unsigned char> whole = test::ReadFile(test::TestModule("strings.dll"));
  ASSERT_GT(whole.size(), 1024u);
  pavo::PeImage full;
  ASSERT_EQ(full.Open(whole.data(), whole.size()), static_cast<DWORD>(ERROR_SUCCESS));
  const test::StringTable all = OurStrings(full);
  for (size_t len = 0; len < whole.size(); len += (len < 1200 ? 1 : 7)) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[len + 1]);
    std::memcpy(copy.get(), whole.data(), len);
    pavo::PeImage image;
    if (image.Open(copy.get(), len) != ERROR_SUCCESS) continue;
    for (const auto& [key, text] : OurStrings(image)) {
      ASSERT_EQ(all.count(key), 1u) << len;
      EXPECT_EQ(all.at(key), text) << len;
    }
    DWORD error = 0;
    const uint32_t e = image.FindDefault(pavo::ResourceKey::FromId(10), pavo::ResourceKey::FromId(1), 1033, &error);
    pavo::ResourceData data;
    if (e != 0 && image.DataOf(e, &data)) {
      EXPECT_LE(data.bytes + data.size, copy.get() + len);
    }
  }
}

// A block's first lookup reads its string from the directory, later ones
// from the tables kept for it: both must give the same text and the same
// error for every id, on intact, cut and damaged modules, also when one
// object is opened again on another file (what is kept must not outlive it).
TEST(PeImage, FirstAndLaterLookupsAgree) {
  const std::vector<unsigned char> whole = test::ReadFile(test::TestModule("strings.dll"));
  const size_t root = ResourceDirectoryOffset(whole);
  ASSERT_GT(root, 0u);
  std::vector<std::vector<unsigned char>> variants{whole};
  for (size_t len = 1200; len < whole.size(); len += 13) variants.emplace_back(whole.begin(), whole.begin() + len);
  for (size_t at = root; at < whole.size(); at += 5) {
    variants.push_back(whole);
    variants.back()[at] ^= 0x81;
  }
  std::vector<UINT> ids;
  for (UINT id = 0; id < 520; ++id) ids.push_back(id);
  for (UINT id = 4080; id < 4100; ++id) ids.push_back(id);
  for (UINT id = 65500; id < 65536; ++id) ids.push_back(id);
  struct Result {
    DWORD error;
    std::basic_string<WCHAR> text;
    bool operator==(const Result& o) const { return error == o.error && text == o.text; }
  };
  auto find = [](const pavo::PeImage& image, UINT id, LANGID lang) {
    const WCHAR* text = nullptr;
    size_t length = 0;
    const DWORD error = image.FindString(id, lang, &text, &length);
    return Result{error, error == ERROR_SUCCESS ? std::basic_string<WCHAR>(text, length) : std::basic_string<WCHAR>()};
  };
  pavo::PeImage reused;
  size_t opened = 0;
  for (size_t v = 0; v < variants.size(); ++v) {
    const auto& f = variants[v];
    if (reused.Open(f.data(), f.size()) != ERROR_SUCCESS) continue;
    ++opened;
    for (LANGID lang : {LANGID{1031}, LANGID{1033}}) {
      std::vector<Result> first;  // each id as the first lookup of a new object
      for (UINT id : ids) {
        pavo::PeImage fresh;
        ASSERT_EQ(fresh.Open(f.data(), f.size()), static_cast<DWORD>(ERROR_SUCCESS));
        first.push_back(find(fresh, id, lang));
      }
      for (int pass = 0; pass < 3; ++pass) {
        for (size_t i = 0; i < ids.size(); ++i) {
          ASSERT_TRUE(find(reused, ids[i], lang) == first[i]) << "variant " << v << ", id " << ids[i] << ", pass " << pass;
        }
      }
    }
  }
  EXPECT_GT(opened, variants.size() / 2);
}

// Hostile directories: links back to the root or to themselves, absurd entry
// counts, data past the end, bad headers.
TEST(PeImage, HostileFilesFailWithAnError) {
  const std::vector<unsigned char> whole = test::ReadFile(test::TestModule("strings.dll"));
  const size_t root = ResourceDirectoryOffset(whole);
  ASSERT_GT(root, 0u);
  auto entryOf = [&](size_t dir, unsigned id) -> size_t {
    const size_t count = whole[dir + 12] + whole[dir + 14] + 256u * (whole[dir + 13] + whole[dir + 15]);
    for (size_t i = 0; i < count; ++i) {
      const size_t e = dir + 16 + 8 * i;
      if (whole[e] + 256u * whole[e + 1] == id && whole[e + 3] == 0) return e;
    }
    return 0;
  };
  const size_t stringType = entryOf(root, 6);
  ASSERT_NE(stringType, 0u);
  const size_t nameDir = root + (whole[stringType + 4] | (whole[stringType + 5] << 8));
  const size_t block1 = entryOf(nameDir, 1);
  ASSERT_NE(block1, 0u);
  const std::string path = testing::TempDir() + "pavorm_hostile.dll";

  struct Case {
    const char* what;
    std::function<void(std::vector<unsigned char>&)> change;
    bool loads;
    bool othersReadable;
  };
  auto put32 = [](std::vector<unsigned char>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  const Case cases[] = {
      {"string type links to the root", [&](auto& f) { put32(f, stringType + 4, 0x80000000u); }, true, false},
      {"block links to its own directory",
       [&](auto& f) { put32(f, block1 + 4, 0x80000000u | static_cast<uint32_t>(nameDir - root)); }, true, true},
      {"block links to a data entry as a directory", [&](auto& f) { f[block1 + 7] &= 0x7F; }, true, true},
      {"absurd root count", [&](auto& f) { f[root + 14] = 0xFF, f[root + 15] = 0xFF; }, false, false},
      {"directory past the end", [&](auto& f) { put32(f, stringType + 4, 0xFFFFFFF0u); }, true, false},
      {"not MZ", [](auto& f) { f[0] = 'X'; }, false, false},
      {"PE header past the end", [&](auto& f) { put32(f, 0x3C, 0x7FFFFFF0u); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> f = whole;
    c.change(f);
    test::WriteFile(path, f);
    Loaded m(path);
    if (!c.loads) {
      // Windows' loader maps some of these as data files; the library's reader refuses them all.
      if (kStandInLoader || m.handle == nullptr) {
        EXPECT_EQ(m.handle, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
      } else {
        EXPECT_EQ(pavo::ModuleImage(m.handle), nullptr);
      }
      continue;
    }
    ASSERT_NE(m.handle, nullptr);
    ASSERT_NE(pavo::ModuleImage(m.handle), nullptr);
    std::vector<pavo::ResourceDamage> damage;
    EXPECT_FALSE(pavo::ModuleImage(m.handle)->CheckResources(&damage, 10));  // told, not hidden
    DWORD error = ERROR_SUCCESS;
    EXPECT_EQ(ReaderText(m.handle, 1, 1033, &error), WTEXT(""));
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    if (c.othersReadable) {
      EXPECT_EQ(ReaderText(m.handle, 100, 1033), WTEXT("English only"));  // other blocks stay readable
    }
    if (kStandInLoader) {
      UiLanguage ui(1033);
      EXPECT_EQ(Load(m.handle, 1), WTEXT(""));
      EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
      if (c.othersReadable) {
        EXPECT_EQ(Load(m.handle, 100), WTEXT("English only"));
      }
    }
  }

  // A data entry whose bytes lie past the end of the file.
  std::vector<unsigned char> f = whole;
  {
    // A data-file view is the file as it is: an address in it less the view's
    // start (the handle without its low bits) is a file offset.
    Loaded m(test::TestModule("strings.dll"));
    HRSRC r = FindResourceExW(m.handle, RT_STRING, MAKEINTRESOURCEW(1), 1033);
    ASSERT_NE(r, nullptr);
    const uintptr_t view = reinterpret_cast<uintptr_t>(m.handle) & ~uintptr_t{3};
    put32(f, static_cast<size_t>(reinterpret_cast<uintptr_t>(r) - view) + 4, 0x7FFFFFFF);
  }
  test::WriteFile(path, f);
  Loaded m(path);
  ASSERT_NE(m.handle, nullptr);
  // The size lies, the strings inside the file are intact: they stay readable.
  EXPECT_EQ(ReaderText(m.handle, 1, 1033), WTEXT("one"));
  if (kStandInLoader) {
    UiLanguage ui(1033);
    EXPECT_EQ(Load(m.handle, 1), WTEXT("one"));
  }
  std::vector<pavo::ResourceDamage> damage;
  EXPECT_FALSE(pavo::ModuleImage(m.handle)->CheckResources(&damage, 10));
  ASSERT_EQ(damage.size(), 1u);
  EXPECT_EQ(damage[0].kind, pavo::ResourceDamageKind::kDataOutside);
  EXPECT_EQ(damage[0].name, 1u);
  EXPECT_EQ(damage[0].language, 1033u);
  std::remove(path.c_str());
}

namespace {

struct StringAt {
  size_t begin, end;  // file offsets of the text
  pavo::WideString text;
  LANGID language;
};

// Every string of the intact module with where its text lies in the file.
std::map<UINT, StringAt> StringsWithPlaces(const std::vector<unsigned char>& whole, LANGID* onlyLanguage) {
  pavo::PeImage image;
  std::map<UINT, StringAt> out;
  if (image.Open(whole.data(), whole.size()) != ERROR_SUCCESS) return out;
  image.ForEachString([&](UINT id, WORD lang, const BYTE* bytes, size_t units) {
    pavo::WideString s;
    for (size_t i = 0; i < units; ++i) s.push_back(static_cast<WCHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    const size_t begin = static_cast<size_t>(bytes - whole.data());
    out[id] = {begin, begin + 2 * units, s, lang};
    *onlyLanguage = lang;
  });
  return out;
}

bool Damaged(HMODULE h, std::vector<pavo::ResourceDamage>* damage = nullptr) {
  std::vector<pavo::ResourceDamage> local;
  const pavo::PeImage* image = pavo::ModuleImage(h);
  if (image == nullptr) {
    ADD_FAILURE() << "the library's reader cannot read the module";
    return true;
  }
  return !image->CheckResources(damage ? damage : &local, 50);
}

}  // namespace

// A language module cut at every 64th byte: refused (ERROR_BAD_EXE_FORMAT)
// when its headers are gone, else loaded as a data file with the damage told,
// every string whose text lies inside the cut readable and none invented.
// The stand-in's image loads refuse every cut.
TEST(PeImage, ModuleCutAnywhereIsRefusedOrToldDamaged) {
  const std::vector<unsigned char> whole = test::ReadFile(test::LanguageModule("PavoRmdeu.dll"));
  LANGID language = 0;
  const std::map<UINT, StringAt> strings = StringsWithPlaces(whole, &language);
  ASSERT_GE(strings.size(), 7u);
  size_t dataStart = whole.size();
  for (const auto& entry : strings) dataStart = std::min(dataStart, entry.second.begin);
  const std::string path = testing::TempDir() + "pavorm_cut.dll";
  UiLanguage ui(language);
  size_t loaded = 0, readable = 0;
  for (size_t cut = 0; cut < whole.size(); cut += 64) {
    SCOPED_TRACE(cut);
    test::WriteFile(path, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<long>(cut)));
    if (kStandInLoader) {
      Loaded image(path, 0);
      EXPECT_EQ(image.handle, nullptr);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    }
    Loaded m(path);
    if (m.handle == nullptr) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(cut == 0 ? ERROR_FILE_INVALID : ERROR_BAD_EXE_FORMAT));
      continue;
    }
    // Windows maps a file whose headers are cut as data; the library's reader refuses it.
    if (!kStandInLoader && pavo::ModuleImage(m.handle) == nullptr) continue;
    ++loaded;
    std::vector<pavo::ResourceDamage> damage;
    EXPECT_TRUE(Damaged(m.handle, &damage));
    ASSERT_FALSE(damage.empty());
    EXPECT_EQ(damage[0].kind, pavo::ResourceDamageKind::kSectionCut);
    for (const auto& [id, at] : strings) {
      const pavo::WideString got = ReaderText(m.handle, id, language);
      if (kStandInLoader) {
        EXPECT_EQ(Load(m.handle, id), got) << id;
      }
      if (cut >= dataStart && at.end <= cut) {
        EXPECT_EQ(got, at.text) << id;
        ++readable;
      } else if (!got.empty()) {
        EXPECT_EQ(got, at.text) << id;
      }
    }
  }
  EXPECT_GT(loaded, 0u);  // some cuts fall inside the resource data
  EXPECT_GT(readable, 0u);
  std::remove(path.c_str());
}

// One spot damaged at a time: the directory link of a block, a data entry's
// offset, a string's length. Only what the damage touches is lost, and
// CheckResources tells what and where.
TEST(PeImage, DamageCostsOnlyWhatItTouchesAndIsTold) {
  const std::vector<unsigned char> whole = test::ReadFile(test::TestModule("strings.dll"));
  const size_t root = ResourceDirectoryOffset(whole);
  ASSERT_GT(root, 0u);
  auto rd32 = [](const std::vector<unsigned char>& f, size_t at) {
    return static_cast<uint32_t>(f[at] | (f[at + 1] << 8) | (f[at + 2] << 16)) | (static_cast<uint32_t>(f[at + 3]) << 24);
  };
  auto put32 = [](std::vector<unsigned char>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  auto entryOf = [&](size_t dir, unsigned id) -> size_t {
    const size_t count = whole[dir + 12] + whole[dir + 14] + 256u * (whole[dir + 13] + whole[dir + 15]);
    for (size_t i = 0; i < count; ++i) {
      const size_t e = dir + 16 + 8 * i;
      if (rd32(whole, e) == id) return e;
    }
    return 0;
  };
  const size_t stringType = entryOf(root, 6);
  const size_t nameDir = root + (rd32(whole, stringType + 4) & 0x7FFFFFFFu);
  const size_t block7 = entryOf(nameDir, 7);  // ids 96-111, English only
  ASSERT_NE(block7, 0u);
  const size_t langDir7 = root + (rd32(whole, block7 + 4) & 0x7FFFFFFFu);
  const size_t data7 = root + rd32(whole, langDir7 + 20);  // its one data entry
  // File offset of block 7's bytes: through the RVA of its data entry.
  pavo::PeImage intact;
  ASSERT_EQ(intact.Open(whole.data(), whole.size()), static_cast<DWORD>(ERROR_SUCCESS));
  const WCHAR* text = nullptr;
  size_t length = 0;
  ASSERT_EQ(intact.FindString(100, 1033, &text, &length), static_cast<DWORD>(ERROR_SUCCESS));
  const size_t string100 = static_cast<size_t>(reinterpret_cast<const unsigned char*>(text) - whole.data()) - 2;

  struct Case {
    const char* what;
    std::function<void(std::vector<unsigned char>&)> change;
    pavo::ResourceDamageKind kind;
  };
  const Case cases[] = {
      {"block's directory link past the end", [&](auto& f) { put32(f, block7 + 4, 0xFFFFFF00u); },
       pavo::ResourceDamageKind::kDirectoryOutside},
      {"data entry link past the end", [&](auto& f) { put32(f, langDir7 + 20, 0x7FFFFF00u); },
       pavo::ResourceDamageKind::kDataEntryOutside},
      {"data offset past the end", [&](auto& f) { put32(f, data7, 0x7FFFFF00u); },
       pavo::ResourceDamageKind::kDataOutside},
      {"string length past the end", [&](auto& f) { f[string100] = 0xFF, f[string100 + 1] = 0x7F; },
       pavo::ResourceDamageKind::kStringPastBlock},
  };
  const std::string path = testing::TempDir() + "pavorm_damaged.dll";
  UiLanguage ui(1033);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> f = whole;
    c.change(f);
    test::WriteFile(path, f);
    Loaded m(path);
    ASSERT_NE(m.handle, nullptr);
    DWORD error = ERROR_SUCCESS;
    EXPECT_EQ(ReaderText(m.handle, 100, 1033, &error), WTEXT(""));  // the damaged string is missing
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReaderText(m.handle, 1, 1033), WTEXT("one"));  // other blocks stay readable
    EXPECT_EQ(ReaderText(m.handle, 16, 1033), WTEXT("sixteen"));
    if (kStandInLoader) {
      EXPECT_EQ(Load(m.handle, 100), WTEXT(""));
      EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
      EXPECT_EQ(Load(m.handle, 1), WTEXT("one"));
      EXPECT_EQ(Load(m.handle, 16), WTEXT("sixteen"));
    }
    std::vector<pavo::ResourceDamage> damage;
    ASSERT_TRUE(Damaged(m.handle, &damage));
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0].kind, c.kind);
    EXPECT_EQ(damage[0].type, 6u);
    EXPECT_EQ(damage[0].name, 7u);
    if (c.kind != pavo::ResourceDamageKind::kDirectoryOutside) {
      EXPECT_EQ(damage[0].language, 1033u);
    }
    if (c.kind == pavo::ResourceDamageKind::kStringPastBlock) {
      EXPECT_EQ(damage[0].detail, 100u - 96u);
    }
  }
  // The intact module is told intact.
  Loaded m(test::TestModule("strings.dll"));
  EXPECT_FALSE(Damaged(m.handle));
  std::remove(path.c_str());
}

// A file whose headers lie outside it is refused with ERROR_BAD_EXE_FORMAT
// whatever the flags by the stand-in; Windows' loader is the system's, and
// the library's reader refuses what it maps.
TEST(PeImage, DamagedHeadersAreRefused) {
  const std::vector<unsigned char> whole = test::ReadFile(test::TestModule("strings.dll"));
  auto rd16 = [&](size_t at) { return static_cast<size_t>(whole[at] | (whole[at + 1] << 8)); };
  const size_t pe = rd16(0x3C) | (rd16(0x3E) << 16);
  const size_t optional = pe + 24;
  const size_t rsrcField = optional + (rd16(optional) == 0x20B ? 112 : 96) + 16;
  const size_t table = optional + rd16(pe + 20);
  auto put32 = [](std::vector<unsigned char>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  const std::pair<const char*, std::function<void(std::vector<unsigned char>&)>> cases[] = {
      {"resource directory in no section", [&](auto& f) { put32(f, rsrcField, 0x7FFF0000u); }},
      {"section table past the end", [&](auto& f) { f[pe + 6] = 0x60, f[pe + 7] = 0; }},
      {"resource section's data past the end", [&](auto& f) {
         for (size_t s = 0; s < rd16(pe + 6); ++s) put32(f, table + 40 * s + 20, 0x7FFF0000u);
       }},
  };
  const std::string path = testing::TempDir() + "pavorm_headers.dll";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    std::vector<unsigned char> f = whole;
    c.second(f);
    test::WriteFile(path, f);
    for (DWORD flags : {DWORD{0}, DWORD{LOAD_LIBRARY_AS_DATAFILE}, DWORD{LOAD_LIBRARY_AS_IMAGE_RESOURCE}}) {
      Loaded m(path, flags);
      if (!kStandInLoader && m.handle != nullptr) {
        // Wine's loader maps such files; the library's reader refuses them.
        if ((reinterpret_cast<uintptr_t>(m.handle) & 2) == 0) {
          EXPECT_EQ(pavo::ModuleImage(m.handle), nullptr) << flags;
        }
        continue;
      }
      EXPECT_EQ(m.handle, nullptr) << flags;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << flags;
    }
  }
  std::remove(path.c_str());
}
