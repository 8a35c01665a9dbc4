// The stand-in's own FormatMessageW internals: the output cap, checked
// before an insert grows the text. Linux only (Windows has the real API).
#include <gtest/gtest.h>

#include "platform/win/format_message.h"
#include "platform/win/format_message_text.h"
#include "platform/win/last_error.h"
#include "platform/win/wide_text.h"

namespace {
constexpr DWORD kAlloc = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;
}  // namespace

// The output cap is checked before an insert grows the text, and a failed
// message leaves nothing behind: not in the internal text, not in the
// caller's pointer. Small caps stand in for the real one (2^28 units).
TEST(FormatMessage, OutputCapCheckedBeforeGrowingAndNothingLeftOnFailure) {
  const ULONG_PTR word[] = {reinterpret_cast<ULONG_PTR>(WTEXT("abc"))};
  pavo::WideString text;
  // Inserts that each fit but together do not: the second fails.
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1!600s!%1!600s!"), 16, word, 1, &text, 1000),
            static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(text.capacity(), pavo::WideString().capacity());  // its memory is given back too
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1!600s!%1!300s!"), 16, word, 1, &text, 1000),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(text.size(), 900u);
  // A width far past the cap fails before the padding is built (were it
  // built, this would take 32 MB).
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("x%1!16777215s!"), 14, word, 1, &text, 1000),
            static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(text.empty());
  // Line breaks that a width adds count as well.
  EXPECT_EQ(pavo::FormatMessageText(1, WTEXT("%1!900s!"), 8, word, 1, &text, 1000),
            static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(text.empty());

  // Through FormatMessageW: the allocated pointer is null after a failure.
  LPWSTR out = reinterpret_cast<LPWSTR>(&text);  // a stale value the call must not leave
  EXPECT_EQ(FormatMessageW(kAlloc | FORMAT_MESSAGE_IGNORE_INSERTS, WTEXT("abc%"), 0, 0,
                           reinterpret_cast<LPWSTR>(&out), 0, nullptr),
            0u);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Inserts past the arguments counted are refused, a '*' width included.
TEST(FormatMessage, InsertsPastTheCountedArgumentsAreRefused) {
  pavo::WideString text;
  const ULONG_PTR one[] = {reinterpret_cast<ULONG_PTR>(WTEXT("a"))};
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1%2"), 4, one, 1, &text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1!*s!"), 6, one, 1, &text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
