#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "module_test_support.h"
#include "platform/win/last_error.h"
#include "platform/win/modules.h"
#include "platform/win/module_table.h"
#include "platform/win/resources.h"
#include "platform/win/wide_text.h"

TEST(Modules, HandlesAndReferences) {
  const pavo::WideString path = test::Wide(test::TestModule("strings.dll"));
  // Data-file loads map anew: their own handles, the view's address with the low bit set.
  HMODULE d1 = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HMODULE d2 = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(d1, nullptr);
  ASSERT_NE(d2, nullptr);
  EXPECT_NE(d1, d2);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(d1) & 3, 1u);
  EXPECT_TRUE(FreeLibrary(d1));
  EXPECT_FALSE(FreeLibrary(d1));
  // Windows documents no code for a handle already freed (Wine gives
  // ERROR_BAD_EXE_FORMAT); the stand-in's says what is wrong.
#ifndef _WIN32
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
#endif
  EXPECT_TRUE(FreeLibrary(d2));

  HMODULE a = LoadLibraryExW(path.c_str(), nullptr, 0);
  ASSERT_NE(a, nullptr);
  // The same file by another name is the same module.
  HMODULE b = LoadLibraryExW(test::Wide(test::TestModule("../data/strings")).c_str(), nullptr, 0);
  EXPECT_EQ(a, b);
  PAVORM_EXPECT_REFERENCES(a, 2);
  // A data-file load of a file loaded as a module gets that module, counted.
  HMODULE d3 = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ(d3, a);
  PAVORM_EXPECT_REFERENCES(a, 3);
  EXPECT_TRUE(FreeLibrary(d3));
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_NE(pavo::ModuleImage(a), nullptr);
  EXPECT_TRUE(FreeLibrary(b));
  PAVORM_EXPECT_REFERENCES(a, 0);
  EXPECT_FALSE(FreeLibrary(a));
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Modules, LoadFailuresSetLastError) {
  const pavo::WideString missing = test::Wide(test::TestModule("no-such-module.dll"));
  EXPECT_EQ(LoadLibraryExW(missing.c_str(), nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryExW(missing.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const pavo::WideString module = test::Wide(test::TestModule("strings.dll"));
  // The search-path flags only say where dependencies are looked for.
  HMODULE searched = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(searched, nullptr);
  EXPECT_TRUE(FreeLibrary(searched));
#ifndef _WIN32
  // Windows defines no flag 0x4 (Wine takes any bit).
  EXPECT_EQ(LoadLibraryExW(module.c_str(), nullptr, 0x4), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
#endif
  EXPECT_EQ(LoadLibraryExW(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(LoadLibraryExW(test::Wide(PAVORM_TEST_MODULE_DIR "/.").c_str(), nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  const std::string path = testing::TempDir() + "pavorm_not_pe.dll";
  test::WriteFile(path, {});
  EXPECT_EQ(LoadLibraryExW(test::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));  // an empty file cannot be mapped
  for (const std::vector<unsigned char>& bytes :
       {std::vector<unsigned char>{}, std::vector<unsigned char>{'M', 'Z'}, std::vector<unsigned char>(4096, 'M')}) {
    test::WriteFile(path, bytes);
    EXPECT_EQ(LoadLibraryExW(test::Wide(path).c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  }
  std::remove(path.c_str());
}

// Loads, lookups and releases of one file from several threads: references
// stay balanced and every lookup sees a whole module.
TEST(Modules, ConcurrentLoadsShareOneModule) {
  const pavo::WideString path = test::Wide(test::TestModule("strings.dll"));
  HMODULE keep = LoadLibraryExW(path.c_str(), nullptr, 0);
  ASSERT_NE(keep, nullptr);
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      SetThreadUILanguage(1033);
      for (int i = 0; i < 300; ++i) {
        HMODULE h = LoadLibraryExW(path.c_str(), nullptr, (i + t) % 2 ? LOAD_LIBRARY_AS_DATAFILE : 0);
        WCHAR text[16];
        if (h == nullptr || LoadStringW(h, 16, text, 16) != 7 || !FreeLibrary(h)) ++bad;
        if ((i + t) % 2 == 0 && h != keep) ++bad;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(bad.load(), 0);
  PAVORM_EXPECT_REFERENCES(keep, 1);
  EXPECT_TRUE(FreeLibrary(keep));
}

// Many data-file loads released in a scrambled order: every handle still
// loaded stays found (the handle table moves entries when one leaves), and a
// reused record serves the new module's strings, not the old one's.
TEST(Modules, ManyHandlesReleasedOutOfOrder) {
  const pavo::WideString path = test::Wide(test::TestModule("strings.dll"));
  std::vector<HMODULE> handles;
  for (int i = 0; i < 300; ++i) {
    handles.push_back(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(handles.back(), nullptr);
  }
  for (size_t step = 0; !handles.empty(); ++step) {
    const size_t at = (step * 7919) % handles.size();
    ASSERT_TRUE(FreeLibrary(handles[at]));
    handles.erase(handles.begin() + static_cast<std::ptrdiff_t>(at));
    if (step % 37 == 0) {
      for (HMODULE h : handles) PAVORM_EXPECT_REFERENCES(h, 1);
    }
  }
  SetThreadUILanguage(1033);
  HMODULE again = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  WCHAR text[16];
  EXPECT_EQ(LoadStringW(again, 16, text, 16), 7);
  EXPECT_TRUE(FreeLibrary(again));
}

// The string index is built by the first lookup: threads racing to make it
// all get the same answers.
TEST(Modules, FirstLookupsFromSeveralThreads) {
  const pavo::WideString path = test::Wide(test::TestModule("strings.dll"));
  for (int round = 0; round < 20; ++round) {
    HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(h, nullptr);
    std::atomic<int> ready{0};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        SetThreadUILanguage(1033);
        ++ready;
        while (ready.load() < 4) {
        }
        WCHAR text[16];
        if (LoadStringW(h, 16, text, 16) != 7 || LoadStringW(h, 17, text, 16) != 0) ++bad;
      });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_TRUE(FreeLibrary(h));
  }
}

// Backslashes and non-ASCII names reach the file system as UTF-8 with '/'.
TEST(Modules, NonAsciiPathWithBackslashes) {
  const std::string dir = testing::TempDir();
  const std::string file = dir + "pavorm-\xC3\xBC\xE2\x82\xAC.dll";  // u-umlaut, euro sign
  test::WriteFile(file, test::ReadFile(test::TestModule("strings.dll")));
  pavo::WideString wide;
  for (char c : dir) wide.push_back(c == '/' ? WTEXT('\\') : static_cast<WCHAR>(static_cast<unsigned char>(c)));
  wide += WTEXT("pavorm-\u00FC\u20AC");  // no extension: ".dll" is added
  HMODULE h = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  const pavo::WideString lone = wide + WTEXT("\xD800");
  EXPECT_EQ(LoadLibraryExW(lone.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  // Windows names may hold a lone surrogate (there is no such file); a Linux
  // name in UTF-8 cannot, so the stand-in refuses the name.
#ifdef _WIN32
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
#else
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
#endif
  std::remove(file.c_str());
}
