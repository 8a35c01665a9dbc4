#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "PavoRm51.h"
#include "platform/win/wide_text.h"
#include "portable_test_support.h"

namespace {

pavo::WideString Units(const CStringW& s) { return pavo::WideString(s.GetString(), static_cast<size_t>(s.GetLength())); }

}  // namespace

TEST(StringCore, ConstructionAssignmentAndCounts) {
  EXPECT_TRUE(PavoRmCString(WTEXT('-'), 0).IsEmpty());
  EXPECT_TRUE(PavoRmCString(WTEXT('-'), -3).IsEmpty());
  EXPECT_EQ(Units(PavoRmCString(WTEXT('-'), 4)), WTEXT("----"));
  EXPECT_TRUE(PavoRmCString(static_cast<const WCHAR*>(nullptr)).IsEmpty());
  PavoRmCString s(WTEXT("text"));
  s = static_cast<const WCHAR*>(nullptr);
  EXPECT_TRUE(s.IsEmpty());
  const WCHAR inner[] = {WTEXT('a'), WTEXT('b'), 0, WTEXT('c')};
  PavoRmCString z(CStringW(inner, 4));
  EXPECT_EQ(z.GetCharNum(), 2);
  EXPECT_EQ(z.GetLength(), 4);
  EXPECT_EQ(PavoRmCString::charCompare(WTEXT("bx"), WTEXT("ay")), 1);
  EXPECT_EQ(PavoRmCString::charCompare(WTEXT("ax"), WTEXT("ay")), 0);
  EXPECT_EQ(PavoRmCString::charCompare(WTEXT("\uFFFF"), WTEXT("a")), 0xFFFF - 'a');
  EXPECT_EQ(&PavoRmCString::getEmptyString(), &PavoRmCString::getEmptyString());
  EXPECT_EQ(PavoRmCString::getEmptyString().GetLength(), 0);
  s.Format(WTEXT("%s=%d (%hs)"), WTEXT("n"), 42, "narrow");
  EXPECT_EQ(Units(s), WTEXT("n=42 (narrow)"));
  s.Format(s.GetString());  // a format from its own text
  EXPECT_EQ(Units(s), WTEXT("n=42 (narrow)"));
  s.Format(WTEXT("[%s]"), s.GetString());
  EXPECT_EQ(Units(s), WTEXT("[n=42 (narrow)]"));
  // A surrogate pair is two units, two positions.
  EXPECT_EQ(PavoRmCString(WTEXT("\U0001F600")).GetLength(), 2);
}

TEST(StringCore, NarrowTextUsesTheAnsiCodePage) {
  {
    portable::AnsiCodePageScope acp(1252);
    PAVORM_NEED_ANSI_CODE_PAGE(acp);
    EXPECT_EQ(Units(PavoRmCString("caf\xE9 \x80")), WTEXT("caf\u00e9 \u20ac"));
    PavoRmCString s;
    const unsigned char bytes[] = {'o', 0xFC, 0, 'X', 'X'};  // nothing after the 0 byte is read
    s = bytes;
    EXPECT_EQ(Units(s), WTEXT("o\u00fc"));
    char buffer[8];
    std::memset(buffer, 'Q', sizeof buffer);
    EXPECT_EQ(PavoRmCString(WTEXT("\u00e9\u0101")).ansi(buffer), buffer);
    EXPECT_STREQ(buffer, "\xE9" "a");
    EXPECT_EQ(PavoRmCString().ansi(buffer), buffer);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 'a');  // the empty text writes one byte only
  }
}

TEST(StringCore, NarrowTextInADoubleByteAnsiCodePage) {
  {
    portable::AnsiCodePageScope acp(932);
    PAVORM_NEED_ANSI_CODE_PAGE(acp);
    EXPECT_EQ(Units(PavoRmCString("\x93\xFA\x96\x7B")), WTEXT("\u65e5\u672c"));
    // Three characters, six bytes: only GetLength() + 1 = 4 bytes may be
    // written, so the text is cut after the first character and terminated.
    char buffer[8];
    std::memset(buffer, 'Q', sizeof buffer);
    PavoRmCString(WTEXT("\u65e5\u672c\u8a9e")).ansi(buffer);
    EXPECT_STREQ(buffer, "\x93\xFA");
    EXPECT_EQ(buffer[4], 'Q');
    PavoRmCString(WTEXT("a\u65e5")).ansi(buffer);
    EXPECT_STREQ(buffer, "a");
  }
}
