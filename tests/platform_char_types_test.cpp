#include <gtest/gtest.h>

#include "platform/win/char_types.h"
#include "platform/win/last_error.h"
#include "platform/win/wide_text.h"
#include "portable_test_support.h"

namespace {

WORD CType1(WCHAR unit) {
  WORD word = 0xFFFF;
  EXPECT_TRUE(GetStringTypeExW(GetUserDefaultLCID(), CT_CTYPE1, &unit, 1, &word));
  return word;
}

}  // namespace

TEST(CharTypes, CType1BitsAcrossScripts) {
  const WORD kClass = 0x1FF;  // the class bits, without C1_DEFINED
  struct Case { WCHAR unit; WORD bits; } cases[] = {
      {WTEXT('A'), C1_UPPER | C1_XDIGIT | C1_ALPHA},  {WTEXT('g'), C1_LOWER | C1_ALPHA},
      {WTEXT('7'), C1_DIGIT | C1_XDIGIT},             {WTEXT(' '), C1_SPACE | C1_BLANK},
      {WTEXT('\t'), C1_SPACE | C1_BLANK | C1_CNTRL},  {WTEXT('\n'), C1_SPACE | C1_CNTRL},
      {WTEXT('!'), C1_PUNCT},                         {WTEXT('+'), C1_PUNCT},
      {0x01, C1_CNTRL},                         {0x00A0, C1_SPACE | C1_BLANK},
      {0x00C9, C1_UPPER | C1_ALPHA},            {0x03B1, C1_LOWER | C1_ALPHA},   // É, α
      {0x0416, C1_UPPER | C1_ALPHA},            {0x05D0, C1_ALPHA},              // Ж, א
      {0x0663, C1_DIGIT},                       {0x3042, C1_ALPHA},              // Arabic-Indic 3, あ
      {0x4E00, C1_ALPHA},                       {0x3000, C1_SPACE | C1_BLANK},   // 一, ideographic space
      {0x3002, C1_PUNCT},                       {0xFF10, C1_DIGIT | C1_XDIGIT},  // 。, fullwidth 0
      {0xD83D, 0},                              {0xDE00, 0},                     // lone surrogates
  };
  for (const Case& c : cases) EXPECT_EQ(CType1(c.unit) & kClass, c.bits) << std::hex << unsigned(c.unit);
  EXPECT_NE(CType1(WTEXT('A')) & C1_DEFINED, 0);
  EXPECT_EQ(CType1(0x0378) & C1_DEFINED, 0);  // unassigned
}

TEST(CharTypes, StringTypeCountsAndOtherTables) {
  const WCHAR text[] = WTEXT("a1\u05D0");
  WORD words[4] = {};
  // A count of -1 includes the terminator.
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE1, text, -1, words));
  EXPECT_EQ(words[3] & C1_CNTRL, C1_CNTRL);
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE2, text, 3, words));
  EXPECT_EQ(words[0], C2_LEFTTORIGHT);
  EXPECT_EQ(words[1], C2_EUROPENUMBER);
  EXPECT_EQ(words[2], C2_RIGHTTOLEFT);
  const WCHAR kana[] = {0x30A2, 0x3042, 0xFF71, 0xD800};
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE3, kana, 4, words));
  EXPECT_NE(words[0] & C3_KATAKANA, 0);
  EXPECT_NE(words[1] & C3_HIRAGANA, 0);
  EXPECT_NE(words[2] & C3_HALFWIDTH, 0);
  EXPECT_EQ(words[3], C3_HIGHSURROGATE);
  SetLastError(0);
  EXPECT_FALSE(GetStringTypeExW(0, CT_CTYPE1, nullptr, 1, words));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_NE(GetUserDefaultLCID(), 0u);
}

// Windows documents every negative count as "through the terminator".
TEST(CharTypes, AnyNegativeCountReadsThroughTheTerminator) {
  PAVORM_SKIP_UNDER_WINE("GetStringTypeExW crashes on a negative count other than -1");
  const WCHAR text[] = WTEXT("a1\u05D0");
  WORD words[4] = {};
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE1, text, -5, words));
  EXPECT_EQ(words[0] & C1_LOWER, C1_LOWER);
  EXPECT_EQ(words[3] & C1_CNTRL, C1_CNTRL);
}

// An unknown information type is a flags error; a count of 0 is no string.
TEST(CharTypes, StringTypeRefusesUnknownTypesAndEmptyCounts) {
  PAVORM_SKIP_UNDER_WINE("GetStringTypeExW reports error 87 for an unknown type and accepts a count of 0");
  const WCHAR text[] = WTEXT("a");
  WORD words[2] = {};
  for (DWORD type : {DWORD{3}, DWORD{8}}) {
    SetLastError(0);
    EXPECT_FALSE(GetStringTypeExW(0, type, text, 1, words)) << type;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS)) << type;
  }
  SetLastError(0);
  EXPECT_FALSE(GetStringTypeExW(0, CT_CTYPE1, text, 0, words));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Windows' default casing follows file-system rules: one to one, so a unit
// maps only where the mapping leads back to it.
TEST(CharTypes, CaseMappingIsOneToOneAndPerUnit) {
  WCHAR text[] = WTEXT("a\u00df\u00ff\u0131Z\xD801\xDC00\u01C5\u01C6\u017F\u00B5");
  EXPECT_EQ(CharUpperBuffW(text, 11), 11u);
  // ß has no one-unit upper case; ı, ǅ, ſ and µ have no upper case that
  // lowers back to them; surrogate halves are left alone.
  EXPECT_EQ(pavo::WideString(text), WTEXT("A\u00df\u0178\u0131Z\xD801\xDC00\u01C5\u01C4\u017F\u00B5"));
  WCHAR upper[] = WTEXT("\u0130\u212A\u2126\u1E9E\u01C5\u01C4AZ");
  EXPECT_EQ(CharLowerBuffW(upper, 8), 8u);
  EXPECT_EQ(pavo::WideString(upper), WTEXT("\u0130\u212A\u2126\u1E9E\u01C5\u01C6az"));
  EXPECT_EQ(CharLowerBuffW(text, 2), 2u);
  EXPECT_EQ(text[0], WTEXT('a'));
  EXPECT_EQ(text[2], WTEXT('\u0178'));  // beyond the count: untouched
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
  // Over the whole BMP: what upper-casing changes, lower-casing takes back.
  int broken = 0;
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    WCHAR unit = static_cast<WCHAR>(u);
    CharUpperBuffW(&unit, 1);
    if (unit == static_cast<WCHAR>(u)) continue;
    CharLowerBuffW(&unit, 1);
    if (unit != static_cast<WCHAR>(u)) ++broken;
  }
  EXPECT_EQ(broken, 0);
}

// Windows' CharNextW and CharPrevW move by characters as a user sees them: a
// base with its combining marks, and a surrogate pair, are one character.
TEST(CharTypes, CharPrevAndNextStepOverPairsAndMarks) {
  PAVORM_SKIP_UNDER_WINE("CharNextW and CharPrevW step one unit at a time, over pairs and marks alike");
  const WCHAR text[] = WTEXT("ae\u0301\U0001F600\\");
  const WCHAR* end = text + 6;
  EXPECT_EQ(CharPrevW(text, end), text + 5);       // the backslash
  EXPECT_EQ(CharPrevW(text, text + 5), text + 3);  // the surrogate pair
  EXPECT_EQ(CharPrevW(text, text + 3), text + 1);  // e and its accent
  EXPECT_EQ(CharNextW(text + 1), text + 3);
  EXPECT_EQ(CharNextW(text + 3), text + 5);
}

TEST(CharTypes, CharPrevAndNextStayInsideTheText) {
  const WCHAR text[] = WTEXT("ab");
  EXPECT_EQ(CharPrevW(text, text), text);
  EXPECT_EQ(CharPrevW(text, text + 1), text);
  EXPECT_EQ(CharNextW(text + 2), text + 2);
  const WCHAR lone[] = {0xD800, 0};
  EXPECT_EQ(CharNextW(lone), lone + 1);
}
