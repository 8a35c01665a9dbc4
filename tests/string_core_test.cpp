#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "PavoRm51.h"

namespace {

std::u16string Units(const CStringW& s) { return std::u16string(s.GetString(), static_cast<size_t>(s.GetLength())); }

// Sets PAVORM_ACP for one test and restores it afterwards.
class AnsiCodePage {
 public:
  explicit AnsiCodePage(const char* cp) {
    const char* old = std::getenv("PAVORM_ACP");
    m_had = old != nullptr;
    if (m_had) m_old = old;
    setenv("PAVORM_ACP", cp, 1);
  }
  ~AnsiCodePage() {
    if (m_had) setenv("PAVORM_ACP", m_old.c_str(), 1); else unsetenv("PAVORM_ACP");
  }

 private:
  bool m_had = false;
  std::string m_old;
};

}  // namespace

TEST(BaseString, BufferProtocolAndInnerZeroUnits) {
  CStringW s(u"abc");
  WCHAR* buf = s.GetBuffer(10);
  EXPECT_EQ(s.GetLength(), 3);
  buf[3] = u'd';
  buf[4] = 0;
  s.ReleaseBuffer();
  EXPECT_EQ(Units(s), u"abcd");
  s.GetBufferSetLength(6);
  EXPECT_EQ(s.GetLength(), 6);
  EXPECT_EQ(s.GetString()[6], 0);
  s.SetAt(5, u'z');
  s.SetAt(9, u'y');  // outside: ignored
  const WCHAR inner[] = {u'x', 0, u'y'};
  CStringW z(inner, 3);
  EXPECT_EQ(z.GetLength(), 3);
  EXPECT_EQ(z.Find(u'y'), 2);
  EXPECT_EQ(z.Find(WCHAR(0)), 1);
  EXPECT_EQ(z.GetAt(7), 0);
  z += z;  // appending itself
  EXPECT_EQ(z.GetLength(), 6);
  z.SetString(z.GetString() + 3, 3);  // from its own storage
  EXPECT_EQ(Units(z), std::u16string(inner, 3));
  CStringW moved(std::move(z));
  EXPECT_EQ(moved.GetLength(), 3);
  EXPECT_TRUE(z.IsEmpty());
}

TEST(BaseString, SearchesSubstringsAndComparisons) {
  const CStringW s(u"abcabc");
  EXPECT_EQ(s.Find(u'c', 3), 5);
  EXPECT_EQ(s.Find(u'c', 6), -1);
  EXPECT_EQ(s.Find(u'c', -1), -1);
  EXPECT_EQ(s.Find(u"bc", 2), 4);
  EXPECT_EQ(s.Find(u"", 6), 6);
  EXPECT_EQ(s.Find(u"", 7), -1);
  EXPECT_EQ(s.ReverseFind(u'a'), 3);
  EXPECT_EQ(Units(s.Left(-2)), u"");
  EXPECT_EQ(Units(s.Left(99)), u"abcabc");
  EXPECT_EQ(Units(s.Right(2)), u"bc");
  EXPECT_EQ(Units(s.Mid(-1, 2)), u"ab");
  EXPECT_EQ(Units(s.Mid(4, 10)), u"bc");
  EXPECT_EQ(Units(s.Mid(9)), u"");
  EXPECT_LT(s.Compare(u"abd"), 0);
  EXPECT_GT(CStringW(u"\u00e9").Compare(u"z"), 0);  // unsigned units
  EXPECT_EQ(s.Compare(u"abcabc"), 0);
  EXPECT_TRUE(s == u"abcabc");
  EXPECT_TRUE(CStringW(u"a") < CStringW(u"b"));
  EXPECT_EQ(Units(u"<" + s + u'>'), u"<abcabc>");
}

TEST(StringCore, ConstructionAssignmentAndCounts) {
  EXPECT_TRUE(PavoRmCString(u'-', 0).IsEmpty());
  EXPECT_TRUE(PavoRmCString(u'-', -3).IsEmpty());
  EXPECT_EQ(Units(PavoRmCString(u'-', 4)), u"----");
  EXPECT_TRUE(PavoRmCString(static_cast<const WCHAR*>(nullptr)).IsEmpty());
  PavoRmCString s(u"text");
  s = static_cast<const WCHAR*>(nullptr);
  EXPECT_TRUE(s.IsEmpty());
  const WCHAR inner[] = {u'a', u'b', 0, u'c'};
  PavoRmCString z(CStringW(inner, 4));
  EXPECT_EQ(z.GetCharNum(), 2);
  EXPECT_EQ(z.GetLength(), 4);
  EXPECT_EQ(PavoRmCString::charCompare(u"bx", u"ay"), 1);
  EXPECT_EQ(PavoRmCString::charCompare(u"ax", u"ay"), 0);
  EXPECT_EQ(PavoRmCString::charCompare(u"\uFFFF", u"a"), 0xFFFF - 'a');
  EXPECT_EQ(&PavoRmCString::getEmptyString(), &PavoRmCString::getEmptyString());
  EXPECT_EQ(PavoRmCString::getEmptyString().GetLength(), 0);
  s.Format(u"%s=%d (%hs)", u"n", 42, "narrow");
  EXPECT_EQ(Units(s), u"n=42 (narrow)");
  s.Format(s.GetString());  // a format from its own text
  EXPECT_EQ(Units(s), u"n=42 (narrow)");
  s.Format(u"[%s]", s.GetString());
  EXPECT_EQ(Units(s), u"[n=42 (narrow)]");
  // A surrogate pair is two units, two positions.
  EXPECT_EQ(PavoRmCString(u"\U0001F600").GetLength(), 2);
}

TEST(StringCore, NarrowTextUsesTheAnsiCodePage) {
  {
    AnsiCodePage acp("1252");
    EXPECT_EQ(Units(PavoRmCString("caf\xE9 \x80")), u"caf\u00e9 \u20ac");
    PavoRmCString s;
    const unsigned char bytes[] = {'o', 0xFC, 0, 'X', 'X'};  // nothing after the 0 byte is read
    s = bytes;
    EXPECT_EQ(Units(s), u"o\u00fc");
    char buffer[8];
    std::memset(buffer, 'Q', sizeof buffer);
    EXPECT_EQ(PavoRmCString(u"\u00e9\u0101").ansi(buffer), buffer);
    EXPECT_STREQ(buffer, "\xE9" "a");
    EXPECT_EQ(PavoRmCString().ansi(buffer), buffer);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 'a');  // the empty text writes one byte only
  }
  {
    AnsiCodePage acp("932");
    EXPECT_EQ(Units(PavoRmCString("\x93\xFA\x96\x7B")), u"\u65e5\u672c");
    // Three characters, six bytes: only GetLength() + 1 = 4 bytes may be
    // written, so the text is cut after the first character and terminated.
    char buffer[8];
    std::memset(buffer, 'Q', sizeof buffer);
    PavoRmCString(u"\u65e5\u672c\u8a9e").ansi(buffer);
    EXPECT_STREQ(buffer, "\x93\xFA");
    EXPECT_EQ(buffer[4], 'Q');
    PavoRmCString(u"a\u65e5").ansi(buffer);
    EXPECT_STREQ(buffer, "a");
  }
}

TEST(BaseString, IndexingNeverLeavesTheText) {
  const CStringW s(u"ab");
  EXPECT_EQ(s[1], u'b');
  EXPECT_EQ(s[static_cast<size_t>(1)], u'b');
  EXPECT_EQ(s[2], 0);
  EXPECT_EQ(s[-1], 0);
  EXPECT_EQ(s[static_cast<size_t>(-1)], 0);
  EXPECT_EQ(s.GetAt(5), 0);
}
