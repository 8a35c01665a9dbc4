#include <gtest/gtest.h>

#include "platform/win/char_types.h"
#include "platform/win/last_error.h"

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

TEST(CharTypes, StringTypeArgumentsAndOtherTables) {
  const WCHAR text[] = WTEXT("a1\u05D0");
  WORD words[4] = {};
  // A negative count includes the terminator.
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE1, text, -1, words));
  EXPECT_EQ(words[3] & C1_CNTRL, C1_CNTRL);
  words[3] = 0;
  EXPECT_TRUE(GetStringTypeExW(0, CT_CTYPE1, text, -5, words));
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
  EXPECT_FALSE(GetStringTypeExW(0, 8, text, 1, words));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_FALSE(GetStringTypeExW(0, CT_CTYPE1, nullptr, 1, words));
  EXPECT_FALSE(GetStringTypeExW(0, CT_CTYPE1, text, 0, words));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_NE(GetUserDefaultLCID(), 0u);
}

TEST(CharTypes, CaseMappingIsSimpleAndPerUnit) {
  WCHAR text[] = WTEXT("a\u00df\u00ff\u0131Z\xD801\xDC00\u01C5");
  EXPECT_EQ(CharUpperBuffW(text, 8), 8u);
  // ß has no one-unit upper case; surrogate halves are left alone.
  EXPECT_EQ(std::u16string(text), WTEXT("A\u00df\u0178IZ\xD801\xDC00\u01C4"));
  EXPECT_EQ(CharLowerBuffW(text, 2), 2u);
  EXPECT_EQ(text[0], WTEXT('a'));
  EXPECT_EQ(text[2], WTEXT('\u0178'));  // beyond the count: untouched
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
}

TEST(CharTypes, CharPrevAndNextStepOverPairsAndMarks) {
  const WCHAR text[] = WTEXT("ae\u0301\U0001F600\\");
  const WCHAR* end = text + 6;
  EXPECT_EQ(CharPrevW(text, end), text + 5);       // the backslash
  EXPECT_EQ(CharPrevW(text, text + 5), text + 3);  // the surrogate pair
  EXPECT_EQ(CharPrevW(text, text + 3), text + 1);  // e and its accent
  EXPECT_EQ(CharPrevW(text, text), text);
  EXPECT_EQ(CharNextW(text + 1), text + 3);
  EXPECT_EQ(CharNextW(text + 3), text + 5);
  EXPECT_EQ(CharNextW(end), end);
  const WCHAR lone[] = {0xD800, 0};
  EXPECT_EQ(CharNextW(lone), lone + 1);
}
