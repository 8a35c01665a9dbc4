#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>

#include "platform/win/format_message.h"
#include "platform/win/format_message_text.h"
#include "module_test_support.h"
#include "platform/win/last_error.h"
#include "platform/win/modules.h"

namespace {

constexpr DWORD kAlloc = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;

// FormatMessageW over an argument array; "<error N>" on failure.
std::u16string WithArray(const char16_t* format, std::vector<ULONG_PTR> args, DWORD extra = 0) {
  LPWSTR out = nullptr;
  const DWORD n = FormatMessageW(kAlloc | FORMAT_MESSAGE_ARGUMENT_ARRAY | extra, format, 0, 0,
                                 reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data()));
  if (out == nullptr) return WTEXT("<error ") + std::u16string(1, static_cast<char16_t>(WTEXT('0') + GetLastError() % 100)) + WTEXT(">");
  std::u16string s(out, n);
  LocalFree(out);
  return s;
}

std::u16string WithVaList(DWORD flags, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  LPWSTR out = nullptr;
  const DWORD n = FormatMessageW(kAlloc | flags, format, 0, 0, reinterpret_cast<LPWSTR>(&out), 0, &args);
  va_end(args);
  if (out == nullptr) return WTEXT("<failed>");
  std::u16string s(out, n);
  LocalFree(out);
  return s;
}

ULONG_PTR Str(const char16_t* s) { return reinterpret_cast<ULONG_PTR>(s); }

}  // namespace

TEST(FormatMessage, InsertsAndEscapes) {
  EXPECT_EQ(WithArray(WTEXT("%1 and %2!d! [%3!5.2s!] [%4!-4x!] [%4!#X!]"), {Str(WTEXT("one")), 42, Str(WTEXT("abcdef")), 255}),
            WTEXT("one and 42 [   ab] [ff  ] [0XFF]"));
  EXPECT_EQ(WithArray(WTEXT("%% %. %! %t|%r|%n|end%0 not this"), {}), WTEXT("% . ! \t|\r|\r\n|end"));
  // A * takes the inserts after n: width, precision, then the value.
  EXPECT_EQ(WithArray(WTEXT("[%1!*.*s!]"), {6, 2, Str(WTEXT("abcdef"))}), WTEXT("[    ab]"));
  EXPECT_EQ(WithArray(WTEXT("%1!*.*s! %4 %5!*s!"), {4, 2, Str(WTEXT("Bill")), Str(WTEXT("Bob")), 6, Str(WTEXT("Bill"))}),
            WTEXT("  Bi Bob   Bill"));  // the example of Windows' documentation
  EXPECT_EQ(WithArray(WTEXT("%2%1%10"), {Str(WTEXT("a")), Str(WTEXT("b")), 0, 0, 0, 0, 0, 0, 0, Str(WTEXT("ten"))}), WTEXT("baten"));
  EXPECT_EQ(WithArray(WTEXT("%1!c!%1!I64u!"), {0x41}), WTEXT("A65"));
  EXPECT_EQ(WithArray(WTEXT("line\r\nnext"), {}), WTEXT("line\r\nnext"));

  // The va_list form reads the slots the inserts name, in any order.
  EXPECT_EQ(WithVaList(0, WTEXT("%2!d! %1 %2!u!"), WTEXT("x"), -1), WTEXT("-1 x 4294967295"));
  EXPECT_EQ(WithVaList(0, WTEXT("no inserts")), WTEXT("no inserts"));
}

TEST(FormatMessage, MalformedFormatsFail) {
  const char16_t* bad[] = {WTEXT("%1!d"), WTEXT("%1!!"), WTEXT("%1!q!"), WTEXT("trailing %")};
  for (const char16_t* format : bad) {
    SCOPED_TRACE(std::string(format, format + std::char_traits<char16_t>::length(format)));
    LPWSTR out = nullptr;
    std::vector<ULONG_PTR> args = {5};
    SetLastError(0);
    const DWORD n = FormatMessageW(kAlloc | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0,
                                   reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data()));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // Inserts without arguments, or past those counted.
  LPWSTR out = nullptr;
  EXPECT_EQ(FormatMessageW(kAlloc, WTEXT("%1"), 0, 0, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  pavo::WideString text;
  const ULONG_PTR one[] = {Str(WTEXT("a"))};
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1%2"), 4, one, 1, &text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(pavo::FormatMessageText(0, WTEXT("%1!*s!"), 6, one, 1, &text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessage, BuffersWidthsAndIgnoredInserts) {
  WCHAR buffer[6];
  std::vector<ULONG_PTR> args = {Str(WTEXT("abc"))};
  auto* va = reinterpret_cast<va_list*>(args.data());
  const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  EXPECT_EQ(FormatMessageW(flags, WTEXT("[%1]"), 0, 0, buffer, 6, va), 5u);
  EXPECT_EQ(std::u16string(buffer), WTEXT("[abc]"));
  EXPECT_EQ(FormatMessageW(flags, WTEXT("[%1]!"), 0, 0, buffer, 6, va), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_EQ(WithArray(WTEXT("%1!d! and %2 %n"), {}, FORMAT_MESSAGE_IGNORE_INSERTS), WTEXT("%1!d! and %2 \r\n"));
  EXPECT_EQ(WithArray(WTEXT("a\r\nb\nc%nd"), {}, FORMAT_MESSAGE_MAX_WIDTH_MASK), WTEXT("a b c\r\nd"));
  EXPECT_EQ(WithArray(WTEXT("aaaa bbbb cccc dddd"), {}, 10), WTEXT("aaaa bbbb\r\ncccc dddd"));
  EXPECT_EQ(WithArray(WTEXT("abcdefghijkl"), {}, 5), WTEXT("abcde\r\nfghij\r\nkl"));

  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 2, 0,
                           reinterpret_cast<LPWSTR>(&buffer), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(FormatMessage, MessageTableOfAModule) {
  HMODULE m = LoadLibraryExW(test::Wide(test::TestModule("messages.dll")).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(m, nullptr);
  std::vector<ULONG_PTR> args = {Str(WTEXT("world"))};
  LPWSTR out = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  ASSERT_EQ(FormatMessageW(flags, m, 1, 0, reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data())),
            13u);
  EXPECT_EQ(std::u16string(out), WTEXT("Hello world\r\n"));
  LocalFree(out);
  setenv("PAVORM_ACP", "1252", 1);  // ANSI entries are read in the ANSI code page
  ASSERT_NE(FormatMessageW(flags, m, 2, 1033, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  unsetenv("PAVORM_ACP");
  EXPECT_EQ(std::u16string(out), WTEXT("Zweite Meldung \u00FC\r\n"));
  LocalFree(out);
  EXPECT_EQ(FormatMessageW(flags, m, 3, 0, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  FreeLibrary(m);
}

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
