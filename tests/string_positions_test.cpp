#include <gtest/gtest.h>

#include <string>

#include "string/PavoRmCString.h"
#include "platform/win/wide_text.h"

namespace {

pavo::WideString Units(const CStringW& s) { return pavo::WideString(s.GetString(), static_cast<size_t>(s.GetLength())); }

PavoRmCString WithInnerZero() {
  const WCHAR units[] = {WTEXT('a'), WTEXT('b'), 0, WTEXT('c'), WTEXT('d')};
  return PavoRmCString(CStringW(units, 5));
}

}  // namespace

TEST(StringPositions, IndexConversionsAndNeighbours) {
  const PavoRmCString s(WTEXT("ab\U0001F600c"));  // five units
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
  EXPECT_EQ(Units(z.cLeft(1)), WTEXT("a"));
}

TEST(StringPositions, ComparisonsAndSearches) {
  const PavoRmCString s(WTEXT("a\tbcab"));
  EXPECT_EQ(s.bCompare(-1, WTEXT('a')), 255);
  EXPECT_EQ(s.bCompare(6, WTEXT('a')), 255);
  EXPECT_EQ(s.bCompare(2, WTEXT('a')), 1);
  EXPECT_EQ(s.bCompare(2, WTEXT("bc")), 0);
  EXPECT_EQ(s.bCompare(4, WTEXT("abc")), -WTEXT('c'));  // the text ends first
  EXPECT_EQ(s.bCompare(2, WTEXT("bcx")), WTEXT('a') - WTEXT('x'));
  EXPECT_EQ(PavoRmCString(WTEXT("\uFFFF")).bCompare(0, WTEXT("a")), 0xFFFF - WTEXT('a'));
  EXPECT_EQ(s.bIsTab(1), 1);
  EXPECT_EQ(s.cIsTab(9), 0);
  EXPECT_EQ(s.bFind(WTEXT('b'), -5), 2);
  EXPECT_EQ(s.bFind(WTEXT('b'), 3), 5);
  EXPECT_EQ(s.bFind(WTEXT('b'), 6), -1);
  EXPECT_EQ(s.cFind(WTEXT("ab"), -1), 4);
  EXPECT_EQ(s.cFind(WTEXT("zz"), 0), -1);
  EXPECT_EQ(s.cReverseFind(WTEXT('a')), 4);
  EXPECT_EQ(s.cReverseFind(WTEXT('q')), -1);
}

TEST(StringPositions, Substrings) {
  const PavoRmCString s(WTEXT("hello"));
  EXPECT_EQ(Units(s.cRight(0)), WTEXT("hello"));
  EXPECT_EQ(Units(s.bRight(0)), WTEXT(""));
  EXPECT_EQ(Units(s.cRight(2)), WTEXT("lo"));
  EXPECT_EQ(Units(s.cRight(9)), WTEXT("hello"));
  EXPECT_EQ(Units(s.cMid(-2)), WTEXT("hello"));
  EXPECT_EQ(Units(s.cMid(1, 3)), WTEXT("ell"));
  EXPECT_EQ(Units(s.cMid(3, 9)), WTEXT("lo"));
  EXPECT_EQ(Units(s.cLeft(0)), WTEXT(""));
  EXPECT_EQ(Units(s.bMid(1, 2)), WTEXT("el"));
}

TEST(StringPositions, InsertDeleteAndSetAt) {
  PavoRmCString s(WTEXT("abcde"));
  EXPECT_EQ(s.bDelete(-1, 5), 5);
  EXPECT_EQ(Units(s), WTEXT("abcde"));
  EXPECT_EQ(s.bDelete(0, 0), 0);
  EXPECT_EQ(s.bDelete(2, 100), 3);
  EXPECT_EQ(Units(s), WTEXT("ab"));
  s.bInsert(2, WTEXT('c'));
  s.bInsert(4, WTEXT('x'));  // beyond the length + 0: nothing
  s.bInsert(0, WTEXT("<<"));
  EXPECT_EQ(Units(s), WTEXT("<<abc"));
  s.bSetAt(2, WTEXT("xyz"));
  EXPECT_EQ(Units(s), WTEXT("<<xyzbc"));
  s.bSetAt(1, WTEXT('['));
  s.bSetAt(7, WTEXT('!'));
  EXPECT_EQ(Units(s), WTEXT("<[xyzbc"));
  s.bSetAt(0, s.GetString() + 5);  // s from its own text
  EXPECT_EQ(Units(s), WTEXT("bc[xyzbc"));
  s.cMakeUpper(0);
  s.bMakeUpper(2);
  s.bMakeLower(0);
  EXPECT_EQ(Units(s), WTEXT("bc[xyzbc"));
  s.bMakeUpper(3);
  EXPECT_EQ(Units(s), WTEXT("bc[Xyzbc"));
  EXPECT_EQ(s.cDelete(6, 5), 2);
  EXPECT_EQ(Units(s), WTEXT("bc[Xyz"));
  EXPECT_EQ(s.cDelete(1, 0), 0);
  EXPECT_EQ(s.multibyteToSinglebyte(), 1);
  // Edits of this family end the text at its first 0 unit.
  PavoRmCString z = WithInnerZero();
  z.bDelete(4);
  EXPECT_EQ(Units(z), WTEXT("ab"));
  z = WithInnerZero();
  z.bInsert(0, WTEXT('x'));
  EXPECT_EQ(Units(z), WTEXT("xab"));
}

TEST(StringPositions, BufferSetLength) {
  PavoRmCString s(WTEXT("hello"));
  s.cGetBufferSetLength(10);
  EXPECT_EQ(s.GetLength(), 5);
  WCHAR* buffer = s.bGetBufferSetLength(10);
  EXPECT_EQ(s.GetLength(), 10);
  EXPECT_EQ(buffer[10], 0);
  s.bGetBufferSetLength(-2);
  EXPECT_TRUE(s.IsEmpty());
}
