// The stand-in's switch for the ANSI code page (PAVORM_ACP). Linux only:
// Windows takes the ANSI code page from the system locale (Wine: LC_ALL).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win/code_pages.h"

namespace {

std::string ToNarrow(UINT cp, const WCHAR* text) {
  char out[16] = {};
  const int n = WideCharToMultiByte(cp, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out) : std::string("(failed)");
}

}  // namespace

TEST(CodePages, AnsiCodePageFollowsTheEnvironment) {
  const char* old = std::getenv("PAVORM_ACP");
  const std::string saved = old != nullptr ? old : "";
  setenv("PAVORM_ACP", "932", 1);
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(ToNarrow(CP_ACP, WTEXT("\u65e5")), "\x93\xFA");
  setenv("PAVORM_ACP", "1252", 1);
  EXPECT_EQ(ToNarrow(CP_ACP, WTEXT("\u00fc")), "\xFC");
  setenv("PAVORM_ACP", "bogus", 1);
  EXPECT_NE(GetACP(), 0u);  // falls back to the locale's code page
  if (old != nullptr)
    setenv("PAVORM_ACP", saved.c_str(), 1);
  else
    unsetenv("PAVORM_ACP");
}
