// The stand-in's per-thread lookup cache and kept module records. On
// Windows the module table is the system's: this file is built on Linux only.
#include <gtest/gtest.h>

#include <thread>

#include "module_test_support.h"
#include "platform/win/last_error.h"
#include "platform/win/modules.h"
#include "platform/win/resources.h"
#include "platform/win/ui_language.h"

// A load fills its thread's lookup cache; a release by another thread must
// still make the handle unknown here at once, and a thread that ends with a
// released record kept for its next load frees it.
TEST(Modules, HandleReleasedByAnotherThreadIsUnknown) {
  const pavo::WideString path = test::Wide(test::TestModule("strings.dll"));
  SetThreadUILanguage(1033);
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(h, nullptr);
  std::thread([h] { EXPECT_TRUE(FreeLibrary(h)); }).join();
  WCHAR text[16];
  EXPECT_EQ(LoadStringW(h, 16, text, 16), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  HMODULE again = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ(LoadStringW(again, 16, text, 16), 7);
  EXPECT_TRUE(FreeLibrary(again));
}
