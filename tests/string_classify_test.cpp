#include <gtest/gtest.h>

#include "string/PavoRmCString.h"

TEST(StringClassify, BitsReturnedPerClass) {
  // 0:A 1:z 2:7 3:space 4:tab 5:! 6:ж 7:٣ 8:一 9,10: a pair 11:lone high 12:control
  const WCHAR units[] = {WTEXT('A'), WTEXT('z'), WTEXT('7'), WTEXT(' '), WTEXT('\t'), WTEXT('!'), 0x0436, 0x0663, 0x4E00, 0xD83D, 0xDE00, 0xD800, 0x07};
  const PavoRmCString s(CStringW(units, 13));
  EXPECT_EQ(s.bIsUpper(0), 1);
  EXPECT_EQ(s.bIsLower(1), 2);
  EXPECT_EQ(s.bIsDigit(2), 4);
  EXPECT_EQ(s.bIsAlnum(2), 1);
  EXPECT_EQ(s.bIsXDigit(0), 128);
  EXPECT_EQ(s.bIsXDigit(1), 0);
  EXPECT_EQ(s.bIsWhiteSpace(3), 8);
  EXPECT_EQ(s.bIsBlank(4), 64);
  EXPECT_EQ(s.bIsControl(4), 32);
  EXPECT_EQ(s.bIsPrintable(4), 0);
  EXPECT_EQ(s.bIsPrintable(3), 1);
  EXPECT_EQ(s.bIsPunct(5), 16);
  EXPECT_EQ(s.bIsAlpha(6), 256);
  EXPECT_EQ(s.bIsLower(6), 2);
  EXPECT_EQ(s.bIsDigit(7), 4);
  EXPECT_EQ(s.bIsAlpha(8), 256);
  EXPECT_EQ(s.bIsUpper(8), 0);
  EXPECT_EQ(s.bIsControl(12), 32);
  // Surrogate halves, paired or not, have no class and count as printable.
  for (int p : {9, 10, 11}) {
    EXPECT_EQ(s.bIsAlpha(p) | s.bIsPunct(p) | s.bIsControl(p) | s.bIsDigit(p) | s.bIsWhiteSpace(p), 0);
    EXPECT_EQ(s.bIsPrintable(p), 1);
  }
}

TEST(StringClassify, OutOfRangeAndCharacterPositions) {
  const PavoRmCString s(WTEXT("a1"));
  for (int p : {-1, 2}) {
    EXPECT_EQ(s.bIsAlpha(p), 0);
    EXPECT_EQ(s.bIsPrintable(p), 0);
    EXPECT_EQ(s.bIsAlnum(p), 0);
  }
  EXPECT_EQ(s.cIsDigit(1), 4);
  EXPECT_EQ(s.cIsUpper(7), 0);
  EXPECT_EQ(s.cIsAlnum(0), 1);
  const WCHAR units[] = {WTEXT('a'), 0, WTEXT('B')};
  const PavoRmCString z(CStringW(units, 3));
  EXPECT_EQ(z.bIsUpper(2), 1);
  EXPECT_EQ(z.cIsUpper(2), 0);  // clamps to the length
}
