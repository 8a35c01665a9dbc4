#include <gtest/gtest.h>

#include <string>

#include "string/PavoRmCString.h"

namespace {

std::u16string Units(const CStringW& s) { return std::u16string(s.GetString(), static_cast<size_t>(s.GetLength())); }

PavoRmCString WithInnerZero() {
  const WCHAR units[] = {u'a', u'b', 0, u'c', u'd'};
  return PavoRmCString(CStringW(units, 5));
}

}  // namespace

TEST(StringPositions, IndexConversionsAndNeighbours) {
  const PavoRmCString s(u"ab\U0001F600c");  // five units
  EXPECT_EQ(s.GetByteNum(), 10);
  EXPECT_EQ(s.ByteToCharIndex(-1), -1);
  EXPECT_EQ(s.ByteToCharIndex(8), 5);
  EXPECT_EQ(s.ByteToCharIndex(3), 3);
  EXPECT_EQ(s.CharToByteIndex(5), 5);
  EXPECT_EQ(s.CharToByteIndex(-4), -4);
  EXPECT_EQ(s.bIsTrail(3), 0);  // second half of the pair is its own position
  EXPECT_EQ(s.bGetCharNext(4), -1);
  EXPECT_EQ(s.bGetCharNext(-1), -1);
  EXPECT_EQ(s.bGetCharNext(2), 3);
  EXPECT_EQ(s.bGetCharPrev(0), -1);
  EXPECT_EQ(s.bGetCharPrev(5), -1);
  EXPECT_EQ(s.bGetCharPrev(3), 2);
  // With an inner 0 unit the c family clamps at the units before it.
  const PavoRmCString z = WithInnerZero();
  EXPECT_EQ(z.CharToByteIndex(1), 1);
  EXPECT_EQ(z.CharToByteIndex(3), 5);
  EXPECT_EQ(Units(z.cLeft(3)), Units(z));
  EXPECT_EQ(Units(z.cLeft(1)), u"a");
}

TEST(StringPositions, ComparisonsAndSearches) {
  const PavoRmCString s(u"a\tbcab");
  EXPECT_EQ(s.bCompare(-1, u'a'), 255);
  EXPECT_EQ(s.bCompare(6, u'a'), 255);
  EXPECT_EQ(s.bCompare(2, u'a'), 1);
  EXPECT_EQ(s.bCompare(2, u"bc"), 0);
  EXPECT_EQ(s.bCompare(4, u"abc"), -u'c');  // the text ends first
  EXPECT_EQ(s.bCompare(2, u"bcx"), u'a' - u'x');
  EXPECT_EQ(PavoRmCString(u"\uFFFF").bCompare(0, u"a"), 0xFFFF - u'a');
  EXPECT_EQ(s.bIsTab(1), 1);
  EXPECT_EQ(s.cIsTab(9), 0);
  EXPECT_EQ(s.bFind(u'b', -5), 2);
  EXPECT_EQ(s.bFind(u'b', 3), 5);
  EXPECT_EQ(s.bFind(u'b', 6), -1);
  EXPECT_EQ(s.cFind(u"ab", -1), 4);
  EXPECT_EQ(s.cFind(u"zz", 0), -1);
  EXPECT_EQ(s.cReverseFind(u'a'), 4);
  EXPECT_EQ(s.cReverseFind(u'q'), -1);
}

TEST(StringPositions, Substrings) {
  const PavoRmCString s(u"hello");
  EXPECT_EQ(Units(s.cRight(0)), u"hello");
  EXPECT_EQ(Units(s.bRight(0)), u"");
  EXPECT_EQ(Units(s.cRight(2)), u"lo");
  EXPECT_EQ(Units(s.cRight(9)), u"hello");
  EXPECT_EQ(Units(s.cMid(-2)), u"hello");
  EXPECT_EQ(Units(s.cMid(1, 3)), u"ell");
  EXPECT_EQ(Units(s.cMid(3, 9)), u"lo");
  EXPECT_EQ(Units(s.cLeft(0)), u"");
  EXPECT_EQ(Units(s.bMid(1, 2)), u"el");
}

TEST(StringPositions, InsertDeleteAndSetAt) {
  PavoRmCString s(u"abcde");
  EXPECT_EQ(s.bDelete(-1, 5), 5);
  EXPECT_EQ(Units(s), u"abcde");
  EXPECT_EQ(s.bDelete(0, 0), 0);
  EXPECT_EQ(s.bDelete(2, 100), 3);
  EXPECT_EQ(Units(s), u"ab");
  s.bInsert(2, u'c');
  s.bInsert(4, u'x');  // beyond the length + 0: nothing
  s.bInsert(0, u"<<");
  EXPECT_EQ(Units(s), u"<<abc");
  s.bSetAt(2, u"xyz");
  EXPECT_EQ(Units(s), u"<<xyzbc");
  s.bSetAt(1, u'[');
  s.bSetAt(7, u'!');
  EXPECT_EQ(Units(s), u"<[xyzbc");
  s.bSetAt(0, s.GetString() + 5);  // s from its own text
  EXPECT_EQ(Units(s), u"bc[xyzbc");
  s.cMakeUpper(0);
  s.bMakeUpper(2);
  s.bMakeLower(0);
  EXPECT_EQ(Units(s), u"bc[xyzbc");
  s.bMakeUpper(3);
  EXPECT_EQ(Units(s), u"bc[Xyzbc");
  EXPECT_EQ(s.cDelete(6, 5), 2);
  EXPECT_EQ(Units(s), u"bc[Xyz");
  EXPECT_EQ(s.cDelete(1, 0), 0);
  EXPECT_EQ(s.multibyteToSinglebyte(), 1);
  // Edits of this family end the text at its first 0 unit.
  PavoRmCString z = WithInnerZero();
  z.bDelete(4);
  EXPECT_EQ(Units(z), u"ab");
  z = WithInnerZero();
  z.bInsert(0, u'x');
  EXPECT_EQ(Units(z), u"xab");
}

TEST(StringPositions, BufferSetLength) {
  PavoRmCString s(u"hello");
  s.cGetBufferSetLength(10);
  EXPECT_EQ(s.GetLength(), 5);
  WCHAR* buffer = s.bGetBufferSetLength(10);
  EXPECT_EQ(s.GetLength(), 10);
  EXPECT_EQ(buffer[10], 0);
  s.bGetBufferSetLength(-2);
  EXPECT_TRUE(s.IsEmpty());
}
