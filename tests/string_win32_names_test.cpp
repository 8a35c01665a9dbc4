// The library's names next to <windows.h>'s A/W macros. <windows.h> (in a
// UNICODE build) defines LoadString as LoadStringW; on Linux the same macro
// is defined here by hand. Once it was in force, CStringW::LoadString became
// CStringW::LoadStringW, PavoRmCString's own LoadStringW(module, id) answered
// the call made inside PavoRmCString::LoadStringW, and every load recursed
// until the stack overflowed.
#if defined(_WIN32)
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#else
#define LoadString LoadStringW
#endif

#include <gtest/gtest.h>

#include "PavoRm51.h"

namespace {

TEST(StringWin32Names, LoadsByModuleHandleEndWhenTheMacroWasDefinedFirst) {
  const HINSTANCE own = pavoRmDllInstance();
  ASSERT_NE(own, nullptr);

  PavoRmCString text(WTEXT("kept"));
  EXPECT_EQ(text.LoadStringW(own, IDS_PAVORM_CANCEL, 0), 1);
  EXPECT_EQ(text, WTEXT("Cancel"));
  // A missing string returns (no box asked for) and leaves the text alone.
  EXPECT_EQ(text.LoadStringW(own, 9, 0), 0);
  EXPECT_EQ(text, WTEXT("Cancel"));

  // The framework's name is what it says, whatever <windows.h> defined.
  CStringW base;
  EXPECT_NE(base.LoadString(own, IDS_PAVORM_FILE_NOT_FOUND), 0);
  EXPECT_EQ(PavoRmCString(base), WTEXT("File \"%1!s!\" not found!"));
}

TEST(StringWin32Names, FormattingAStringOfTheModuleLoadsItOnce) {
  PavoRmCString text;
  text.Format(pavoRmDllInstance(), IDS_PAVORM_CANCEL);
  EXPECT_EQ(text, WTEXT("Cancel"));
}

}  // namespace
