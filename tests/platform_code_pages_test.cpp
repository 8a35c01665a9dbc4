#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/code_pages.h"
#include "platform/win/last_error.h"
#include "portable_test_support.h"

namespace {

using WideText = std::basic_string<WCHAR>;

std::string ToNarrow(UINT cp, const WideText& text, DWORD flags = 0,
                     const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
  const int size = static_cast<int>(text.size());
  const int n =
      WideCharToMultiByte(cp, flags, text.c_str(), size, nullptr, 0, defaultChar, usedDefault);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0 &&
      WideCharToMultiByte(cp, flags, text.c_str(), size, &out[0], n, defaultChar, usedDefault) != n)
    return "(size query and conversion disagree)";
  return out;
}

WideText ToWide(UINT cp, const std::string& text, DWORD flags = 0) {
  const int n =
      MultiByteToWideChar(cp, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  WideText out(static_cast<size_t>(n > 0 ? n : 0), WTEXT('\0'));
  if (n > 0 &&
      MultiByteToWideChar(cp, flags, text.data(), static_cast<int>(text.size()), &out[0], n) != n)
    return WTEXT("(size query and conversion disagree)");
  return out;
}

}  // namespace

TEST(CodePages, Utf8RoundTripsAndReplacesBadInput) {
  const WideText text = WTEXT("a\u00fc\u20ac\U0001F600");
  const std::string utf8 = ToNarrow(CP_UTF8, text);
  EXPECT_EQ(utf8, "a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(ToWide(CP_UTF8, utf8), text);
  // A lone surrogate becomes U+FFFD; strict mode refuses it.
  EXPECT_EQ(ToNarrow(CP_UTF8, WideText(1, WTEXT('\xD800')) + WTEXT("x")), "\xEF\xBF\xBDx");
  const WCHAR lone[] = {0xDC00, 0};
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr),
      0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  // Overlong and truncated encodings: one U+FFFD per maximal bad subsequence.
  EXPECT_EQ(ToWide(CP_UTF8,
                   "\xC0\xAF"
                   "a"
                   "\xE2\x82"
                   "b"
                   "\x80\xBF"),
            WTEXT("\uFFFD\uFFFDa\uFFFDb\uFFFD\uFFFD"));
  EXPECT_EQ(ToWide(CP_UTF8, "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
            WTEXT("a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xE2\x82", 2, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// A lead byte whose second byte is outside its allowed range (surrogates,
// overlong three- and four-byte forms, beyond U+10FFFF) is a bad sequence of
// one byte: every byte of such a sequence becomes its own U+FFFD.
TEST(CodePages, Utf8SecondByteOutOfRangeIsOneReplacementPerByte) {
  PAVORM_SKIP_UNDER_WINE("MultiByteToWideChar folds the lead byte and the out-of-range byte into one U+FFFD");
  EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80"), WTEXT("\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(ToWide(CP_UTF8, "\xE0\x80\x80"), WTEXT("\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(ToWide(CP_UTF8, "\xF4\x90\x80\x80"), WTEXT("\uFFFD\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x80\x80"), WTEXT("\uFFFD\uFFFD\uFFFD"));
}

// UTF-8 takes no flags but the invalid-character one, and no default
// character: Windows refuses the rest.
TEST(CodePages, Utf8RefusesFlagsAndDefaultCharacters) {
  PAVORM_SKIP_UNDER_WINE("the UTF-8 conversions accept any flags and a default character");
  const WCHAR text[] = WTEXT("abc");
  char buf[8];
  WCHAR wbuf[8];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wbuf, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, text, 3, buf, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, BufferRulesFollowWindows) {
  const WCHAR text[] = WTEXT("abc");
  char buf[8];
  std::memset(buf, 'X', sizeof buf);
  // -1 counts the terminator; 0 is a size query.
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, 3, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "a\x93\xFA", -1, nullptr, 0), 3);
  // Too small: 0, ERROR_INSUFFICIENT_BUFFER, and nothing written past the size given.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, buf, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buf[3], 'X');
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, buf, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(buf, "abc");
  WCHAR wbuf[4] = {WTEXT('Z'), WTEXT('Z'), WTEXT('Z'), WTEXT('Z')};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE2\x82\xAC\xE2\x82\xAC", 6, wbuf, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(wbuf[1], WTEXT('Z'));
  // Invalid arguments.
  const struct {
    const WCHAR* src;
    int n;
    char* dst;
    int size;
  } bad[] = {{nullptr, -1, buf, 8},
             {text, 0, buf, 8},
             {text, -1, nullptr, 8},
             {text, -1, buf, -1}};
  for (const auto& b : bad) {
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, b.src, b.n, b.dst, b.size, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // Any negative count, not only -1, reads through the terminator.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -2, buf, 8, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -100, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -2, wbuf, 4), 3);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "ab", -7, nullptr, 0), 3);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", 2, wbuf, -1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(12345, 0, text, -1, buf, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(1200, 0, "ab", 2, nullptr, 0), 0);
}

TEST(CodePages, Windows1252BestFitAndDefaultChar) {
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u00fc\u20ac")), "\xFC\x80");
  // Characters 1252 lacks: best fit to the base letter where there is one, else '?'.
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u0101\uFF21\u4E00\u0141\u2212")), "aA?L-");
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u0101"), WC_NO_BEST_FIT_CHARS), "?");
  const WCHAR text[] = WTEXT("x\u4E00");
  char buf[8] = {};
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, buf, 8, "#", &used), 3);
  EXPECT_STREQ(buf, "x#");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, WTEXT("\u0101"), -1, buf, 8, nullptr, &used), 2);
  EXPECT_FALSE(used);  // a best fit is not the default character
  EXPECT_EQ(ToWide(1252, "\x80\xFC\x81"), WTEXT("\u20ac\u00fc\u0081"));
}

TEST(CodePages, ShiftJisDoubleByteText) {
  const WideText text = WTEXT("\u65e5\u672c\u8a9e\uff71a");  // 日本語, half-width ｱ, a
  const std::string sjis = ToNarrow(932, text);
  EXPECT_EQ(sjis,
            "\x93\xFA\x96\x7B\x8C\xEA\xB1"
            "a");
  EXPECT_EQ(ToWide(932, sjis), text);
  EXPECT_EQ(ToNarrow(932, WTEXT("\u00fc")), std::string(1, 'u'));  // best fit
  // A lead byte without its trail byte.
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "\x93", 1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(ToWide(932, "\x93"), WTEXT("\u30fb"));
}

TEST(CodePages, ConvertersAreSafeFromManyThreads) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 300; ++i) {
        const UINT cp = (i + t) % 2 == 0 ? 932 : 1252;
        const WideText text = cp == 932 ? WTEXT("\u65e5\u672c") : WTEXT("\u00e9t\u00e9");
        if (ToWide(cp, ToNarrow(cp, text)) != text) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// Windows' own values for units and bytes where other tables disagree with
// them (ICU's, or a best fit by decomposition).
TEST(CodePages, Windows1252MatchesWindowsTables) {
  BOOL used = TRUE;
  // Best fits from Windows' table, none of them reported as the default.
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u212B\u0110\u0131\u2212"), 0, nullptr, &used), "\xC5\xD0i-");
  EXPECT_FALSE(used);
  // Characters Windows' table has no best fit for, though they decompose.
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u017F"), 0, nullptr, &used), "?");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u01E0"), 0, "#", &used), "#");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToNarrow(1252, WTEXT("\u212B\u20AC"), WC_NO_BEST_FIT_CHARS, "#", &used), "#\x80");
  EXPECT_TRUE(used);
  // The five bytes 1252 leaves undefined are the C1 controls, both ways and
  // even under MB_ERR_INVALID_CHARS.
  const std::string undefined = "\x81\x8D\x8F\x90\x9D";
  const WideText controls = WTEXT("\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(ToWide(1252, undefined, MB_ERR_INVALID_CHARS), controls);
  EXPECT_EQ(ToNarrow(1252, controls, WC_NO_BEST_FIT_CHARS, nullptr, &used), undefined);
  EXPECT_FALSE(used);
}

TEST(CodePages, ShiftJisMatchesWindowsTables) {
  // Windows maps these single bytes to U+0080 and the private-use units, and
  // back; the control codes keep their values.
  const std::string bytes = "\x80\xA0\xFD\xFE\xFF\x1A\x1C\x7F";
  const WideText units = WTEXT("\u0080\uF8F0\uF8F1\uF8F2\uF8F3\u001A\u001C\u007F");
  EXPECT_EQ(ToWide(932, bytes), units);
  EXPECT_EQ(ToNarrow(932, units, WC_NO_BEST_FIT_CHARS), bytes);
  // MB_ERR_INVALID_CHARS refuses a single byte that gives a private-use unit,
  // not the user-defined double-byte range.
  EXPECT_EQ(ToWide(932, "\x80\xF0\x40", MB_ERR_INVALID_CHARS), WTEXT("\u0080\uE000"));
  for (const char* refused : {"\xA0", "\xFD", "\xFE", "\xFF", "\x81\x7F", "\x81"}) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, refused, -1, nullptr, 0), 0)
        << refused;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
  // The one pair that really is U+30FB passes; an undefined pair is U+30FB
  // too, in one unit; a lead byte before a 0 byte leaves the 0 its own unit.
  EXPECT_EQ(ToWide(932, "\x81\x45", MB_ERR_INVALID_CHARS), WTEXT("\u30FB"));
  EXPECT_EQ(ToWide(932,
                   "\x81\x7F"
                   "a"),
            WTEXT("\u30FB"
                  "a"));
  EXPECT_EQ(ToWide(932, std::string("\x81\0a", 3)), WideText(WTEXT("\u30FB\0a"), 3));
  // Duplicate pairs decode alike; the unit goes back to Windows' choice.
  EXPECT_EQ(ToWide(932, "\x87\x90\x81\xE0\xEE\xF9\xFA\x54"), WTEXT("\u2252\u2252\uFFE2\uFFE2"));
  EXPECT_EQ(ToNarrow(932, WTEXT("\u2252\uFFE2\u2235\u212B")), "\x81\xE0\x81\xCA\x81\xE6\x81\xF0");
  // Best fit and the two-byte default character.
  BOOL used = TRUE;
  EXPECT_EQ(ToNarrow(932, WTEXT("\u00A5\u00FC"), 0, nullptr, &used), "\x5Cu");
  EXPECT_FALSE(used);
  EXPECT_EQ(ToNarrow(932, WTEXT("\u00A5\u2014"), WC_NO_BEST_FIT_CHARS, "\x81\x9A", &used),
            "\x81\x9A\x81\x9A");
  EXPECT_TRUE(used);
}

// Without best fit every unit that is not replaced decodes back to itself,
// and every defined byte sequence survives decoding and encoding.
TEST(CodePages, TableCodePagesRoundTripEveryUnit) {
  for (const UINT cp : {1252u, 932u}) {
    int mismatches = 0;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
      const WCHAR unit = static_cast<WCHAR>(u);
      BOOL used = FALSE;
      const std::string narrow =
          ToNarrow(cp, WideText(1, unit), WC_NO_BEST_FIT_CHARS, nullptr, &used);
      if (!used && ToWide(cp, narrow) != WideText(1, unit)) ++mismatches;
      if (used && narrow != "?") ++mismatches;
    }
    for (unsigned first = 0; first <= 0xFF; ++first) {
      for (unsigned second = 0; second <= 0xFF; ++second) {
        const std::string bytes = {static_cast<char>(first), static_cast<char>(second)};
        const WideText wide = ToWide(cp, bytes, MB_ERR_INVALID_CHARS);
        if (wide.empty()) continue;  // undefined: nothing to round-trip
        if (ToWide(cp, ToNarrow(cp, wide, WC_NO_BEST_FIT_CHARS)) != wide) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0) << "code page " << cp;
  }
}
