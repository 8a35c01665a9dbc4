#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <initializer_list>

#include "portable_test_support.h"
#include "platform/win/format_message.h"
#include "module_test_support.h"
#include "platform/win/last_error.h"
#include "platform/win/modules.h"
#include "platform/win/wide_text.h"

#ifndef ERROR_NO_WORK_DONE  // absent from some Windows SDK headers
#define ERROR_NO_WORK_DONE 235L
#endif

namespace {

constexpr DWORD kAlloc = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;

// FormatMessageW over an argument array; "<error N>" on failure.
pavo::WideString WithArray(const WCHAR* format, std::vector<ULONG_PTR> args, DWORD extra = 0) {
  LPWSTR out = nullptr;
  const DWORD n = FormatMessageW(kAlloc | FORMAT_MESSAGE_ARGUMENT_ARRAY | extra, format, 0, 0,
                                 reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data()));
  if (out == nullptr) return WTEXT("<error ") + pavo::WideString(1, static_cast<WCHAR>(WTEXT('0') + GetLastError() % 100)) + WTEXT(">");
  pavo::WideString s(out, n);
  LocalFree(out);
  return s;
}

pavo::WideString WithVaList(DWORD flags, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  LPWSTR out = nullptr;
  const DWORD n = FormatMessageW(kAlloc | flags, format, 0, 0, reinterpret_cast<LPWSTR>(&out), 0, &args);
  va_end(args);
  if (out == nullptr) return WTEXT("<failed>");
  pavo::WideString s(out, n);
  LocalFree(out);
  return s;
}

ULONG_PTR Str(const WCHAR* s) { return reinterpret_cast<ULONG_PTR>(s); }

}  // namespace

TEST(FormatMessageW, InsertsAndEscapes) {
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

static void ExpectRefused(std::initializer_list<const WCHAR*> bad) {
  for (const WCHAR* format : bad) {
    SCOPED_TRACE(std::string(format, format + std::char_traits<WCHAR>::length(format)));
    LPWSTR out = nullptr;
    std::vector<ULONG_PTR> args = {5};
    SetLastError(0);
    const DWORD n = FormatMessageW(kAlloc | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0,
                                   reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data()));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

// An empty or unknown printf conversion in an insert is refused here.
TEST(FormatMessageW, EmptyAndUnknownConversionsFail) {
  PAVORM_SKIP_UNDER_WINE("FormatMessageW prints an unknown conversion as its letter and an empty one as nothing");
  ExpectRefused({WTEXT("%1!!"), WTEXT("%1!q!")});
}

TEST(FormatMessageW, MalformedFormatsFail) {
  ExpectRefused({WTEXT("%1!d"), WTEXT("trailing %")});
  // Inserts without arguments, or past those counted.
  LPWSTR out = nullptr;
  EXPECT_EQ(FormatMessageW(kAlloc, WTEXT("%1"), 0, 0, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageW, BuffersWidthsAndIgnoredInserts) {
  WCHAR buffer[6];
  std::vector<ULONG_PTR> args = {Str(WTEXT("abc"))};
  auto* va = reinterpret_cast<va_list*>(args.data());
  const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  EXPECT_EQ(FormatMessageW(flags, WTEXT("[%1]"), 0, 0, buffer, 6, va), 5u);
  EXPECT_EQ(pavo::WideString(buffer), WTEXT("[abc]"));
  EXPECT_EQ(FormatMessageW(flags, WTEXT("[%1]!"), 0, 0, buffer, 6, va), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_EQ(WithArray(WTEXT("%1!d! and %2 %n"), {}, FORMAT_MESSAGE_IGNORE_INSERTS), WTEXT("%1!d! and %2 \r\n"));
  EXPECT_EQ(WithArray(WTEXT("a\r\nb\nc%nd"), {}, FORMAT_MESSAGE_MAX_WIDTH_MASK), WTEXT("a b c\r\nd"));
  EXPECT_EQ(WithArray(WTEXT("aaaa bbbb cccc dddd"), {}, 10), WTEXT("aaaa bbbb\r\ncccc dddd"));
  EXPECT_EQ(WithArray(WTEXT("abcdefghijkl"), {}, 5), WTEXT("abcde\r\nfghij\r\nkl"));

  // The system's message table: Windows has one, the stand-in none.
  LPWSTR system = nullptr;
  const DWORD systemLength = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 2, 0,
                                            reinterpret_cast<LPWSTR>(&system), 0, nullptr);
#ifdef _WIN32
  EXPECT_GT(systemLength, 0u);
  EXPECT_NE(system, nullptr);
#else
  EXPECT_EQ(systemLength, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
#endif
  EXPECT_EQ(LocalFree(system), nullptr);
}

TEST(FormatMessageW, MessageTableOfAModule) {
  HMODULE m = LoadLibraryExW(test::Wide(test::TestModule("messages.dll")).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(m, nullptr);
  std::vector<ULONG_PTR> args = {Str(WTEXT("world"))};
  LPWSTR out = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  ASSERT_EQ(FormatMessageW(flags, m, 1, 0, reinterpret_cast<LPWSTR>(&out), 0, reinterpret_cast<va_list*>(args.data())),
            13u);
  EXPECT_EQ(pavo::WideString(out), WTEXT("Hello world\r\n"));
  LocalFree(out);
  EXPECT_EQ(FormatMessageW(flags, m, 3, 0, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  {
    portable::AnsiCodePageScope acp(1252);  // ANSI entries are read in the ANSI code page
    PAVORM_NEED_ANSI_CODE_PAGE(acp);
    ASSERT_NE(FormatMessageW(flags, m, 2, 1033, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
    EXPECT_EQ(pavo::WideString(out), WTEXT("Zweite Meldung \u00FC\r\n"));
    LocalFree(out);
  }
  FreeLibrary(m);
}

// An empty message stores nothing: 0 with ERROR_NO_WORK_DONE, no block, and a
// fixed buffer gets just the terminator.
TEST(FormatMessageW, EmptyMessageStoresNothing) {
  LPWSTR out = reinterpret_cast<LPWSTR>(&out);
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kAlloc, WTEXT(""), 0, 0, reinterpret_cast<LPWSTR>(&out), 0, nullptr), 0u);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE));
  WCHAR fixed[4] = {WTEXT('x'), WTEXT('x'), WTEXT('x'), WTEXT('x')};
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, WTEXT("%0tail"), 0, 0, fixed, 4, nullptr), 0u);
  EXPECT_EQ(fixed[0], 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE));
}
