// CStringW, the host framework's base string as the library relies on it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/afx/afx_string.h"
#include "platform/win/wide_text.h"

namespace {

pavo::WideString Units(const CStringW& s) {
  return pavo::WideString(s.GetString(), static_cast<size_t>(s.GetLength()));
}

}  // namespace

TEST(BaseString, BufferProtocolAndInnerZeroUnits) {
  CStringW s(WTEXT("abc"));
  WCHAR* buf = s.GetBuffer(10);
  EXPECT_EQ(s.GetLength(), 3);
  buf[3] = WTEXT('d');
  buf[4] = 0;
  s.ReleaseBuffer();
  EXPECT_EQ(Units(s), WTEXT("abcd"));
  s.GetBufferSetLength(6);
  EXPECT_EQ(s.GetLength(), 6);
  EXPECT_EQ(s.GetString()[6], 0);
  s.SetAt(5, WTEXT('z'));
  s.SetAt(9, WTEXT('y'));  // outside: ignored
  const WCHAR inner[] = {WTEXT('x'), 0, WTEXT('y')};
  CStringW z(inner, 3);
  EXPECT_EQ(z.GetLength(), 3);
  EXPECT_EQ(z.Find(WTEXT('y')), 2);
  EXPECT_EQ(z.Find(WCHAR(0)), 1);
  EXPECT_EQ(z.GetAt(7), 0);
  z += z;  // appending itself
  EXPECT_EQ(z.GetLength(), 6);
  z.SetString(z.GetString() + 3, 3);  // from its own storage
  EXPECT_EQ(Units(z), pavo::WideString(inner, 3));
  CStringW moved(std::move(z));
  EXPECT_EQ(moved.GetLength(), 3);
  EXPECT_TRUE(z.IsEmpty());
}

TEST(BaseString, SearchesSubstringsAndComparisons) {
  const CStringW s(WTEXT("abcabc"));
  EXPECT_EQ(s.Find(WTEXT('c'), 3), 5);
  EXPECT_EQ(s.Find(WTEXT('c'), 6), -1);
  EXPECT_EQ(s.Find(WTEXT('c'), -1), -1);
  EXPECT_EQ(s.Find(WTEXT("bc"), 2), 4);
  EXPECT_EQ(s.Find(WTEXT(""), 6), 6);
  EXPECT_EQ(s.Find(WTEXT(""), 7), -1);
  EXPECT_EQ(s.ReverseFind(WTEXT('a')), 3);
  EXPECT_EQ(Units(s.Left(-2)), WTEXT(""));
  EXPECT_EQ(Units(s.Left(99)), WTEXT("abcabc"));
  EXPECT_EQ(Units(s.Right(2)), WTEXT("bc"));
  EXPECT_EQ(Units(s.Mid(-1, 2)), WTEXT("ab"));
  EXPECT_EQ(Units(s.Mid(4, 10)), WTEXT("bc"));
  EXPECT_EQ(Units(s.Mid(9)), WTEXT(""));
  EXPECT_LT(s.Compare(WTEXT("abd")), 0);
  EXPECT_GT(CStringW(WTEXT("\u00e9")).Compare(WTEXT("z")), 0);  // unsigned units
  EXPECT_EQ(s.Compare(WTEXT("abcabc")), 0);
  EXPECT_TRUE(s == WTEXT("abcabc"));
  EXPECT_TRUE(CStringW(WTEXT("a")) < CStringW(WTEXT("b")));
  EXPECT_EQ(Units(WTEXT("<") + s + WTEXT('>')), WTEXT("<abcabc>"));
}

TEST(BaseString, IndexingNeverLeavesTheText) {
  const CStringW s(WTEXT("ab"));
  EXPECT_EQ(s[1], WTEXT('b'));
  EXPECT_EQ(s[static_cast<size_t>(1)], WTEXT('b'));
  EXPECT_EQ(s[2], 0);
  EXPECT_EQ(s[-1], 0);
  EXPECT_EQ(s[static_cast<size_t>(-1)], 0);
  EXPECT_EQ(s.GetAt(5), 0);
}

// Lengths handed back after writing through the buffer, and sources inside
// the string's own storage, never take a write past the storage.
TEST(BaseString, BufferLengthsAndOwnSourcesStayWithinTheStorage) {
  CStringW s(WTEXT("abcd"));
  WCHAR* buf = s.GetBuffer(4);
  buf[0] = WTEXT('x');
  s.ReleaseBuffer(100000);  // more than was asked for: clamped
  EXPECT_GE(s.GetLength(), 4);
  EXPECT_EQ(s.GetString()[s.GetLength()], 0);
  EXPECT_EQ(s.GetAt(0), WTEXT('x'));
  s.ReleaseBuffer(2);
  EXPECT_EQ(Units(s), WTEXT("xb"));

  CStringW t(WTEXT("0123456789"));
  const WCHAR* tail = t.GetString() + 8;
  t.SetString(tail, 50);  // a count past the end of its own text is cut to the storage
  EXPECT_LE(t.GetLength(), 10);
  EXPECT_EQ(t.GetAt(0), WTEXT('8'));
  EXPECT_EQ(t.GetAt(1), WTEXT('9'));
  EXPECT_EQ(t.GetString()[t.GetLength()], 0);

  CStringW u(WTEXT("abc"));
  u.Append(u.GetString() + 1, 40);  // likewise when appending
  EXPECT_EQ(Units(u).substr(0, 5), WTEXT("abcbc"));
  EXPECT_EQ(u.GetString()[u.GetLength()], 0);
  EXPECT_EQ(u.GetBufferSetLength(2), u.GetString());
  EXPECT_EQ(Units(u), WTEXT("ab"));
}
