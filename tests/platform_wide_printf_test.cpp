#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "platform/win/wide_printf.h"

using pavo::PrintfStatus;
using pavo::WideString;

namespace {

WideString Fmt(const WCHAR* format, ...) {
  va_list ap;
  va_start(ap, format);
  pavo::PrintfVaListArgs args(ap);
  WideString out;
  pavo::AppendPrintf(out, format, pavo::WideLength(format), args);
  va_end(ap);
  return out;
}

}  // namespace

TEST(WidePrintf, IntegersWithFlagsWidthAndPrecision) {
  EXPECT_EQ(Fmt(WTEXT("%d|%5d|%-5d|%05d|%+d|% d"), 42, 42, 42, -42, 7, 7), WTEXT("42|   42|42   |-0042|+7| 7"));
  EXPECT_EQ(Fmt(WTEXT("%u|%x|%X|%#x|%o|%#o"), 4294967295u, 255, 255, 255, 8, 8), WTEXT("4294967295|ff|FF|0xff|10|010"));
  EXPECT_EQ(Fmt(WTEXT("%.3d|%.0d|%8.3d|%*d|%-*d|%.*d"), 5, 0, -5, 4, 1, -3, 2, 2, 9), WTEXT("005||    -005|   1|2  |09"));
  EXPECT_EQ(Fmt(WTEXT("%I64d|%lld|%I64x|%hd|%hhu|%ld|%zu"), -5000000000LL, 1LL << 40, 0xABCDEF012LL, 70000, 257, 123L,
                static_cast<size_t>(99)),
            WTEXT("-5000000000|1099511627776|abcdef012|4464|1|123|99"));
  EXPECT_EQ(Fmt(WTEXT("%d"), INT32_MIN), WTEXT("-2147483648"));
  EXPECT_EQ(Fmt(WTEXT("%I64d"), INT64_MIN), WTEXT("-9223372036854775808"));
  EXPECT_EQ(Fmt(WTEXT("%p"), reinterpret_cast<void*>(0xAB)), WTEXT("00000000000000AB"));
}

TEST(WidePrintf, StringsAndCharactersFollowTheWideRuntime) {
  const WCHAR* wide = WTEXT("w\u00e9");
  EXPECT_EQ(Fmt(WTEXT("%s|%ls|%ws|%hs|%S"), wide, wide, wide, "na", "rrow"), WTEXT("w\u00e9|w\u00e9|w\u00e9|na|rrow"));
  EXPECT_EQ(Fmt(WTEXT("%c%hc%C%lc"), WTEXT('\u00e9'), 'x', 'y', WTEXT('z')), WTEXT("\u00e9xyz"));
  EXPECT_EQ(Fmt(WTEXT("[%5s][%-4s][%.2s][%.1hs]"), WTEXT("ab"), WTEXT("ab"), WTEXT("abc"), "xyz"), WTEXT("[   ab][ab  ][ab][x]"));
  EXPECT_EQ(Fmt(WTEXT("%s|%hs|%.3s"), static_cast<const WCHAR*>(nullptr), static_cast<const char*>(nullptr),
                static_cast<const WCHAR*>(nullptr)),
            WTEXT("(null)|(null)|(nu"));
  // A precision stops the read, so unterminated text is fine.
  const WCHAR noTerminator[3] = {WTEXT('a'), WTEXT('b'), WTEXT('c')};
  EXPECT_EQ(Fmt(WTEXT("%.3s"), noTerminator), WTEXT("abc"));
}

TEST(WidePrintf, FloatsAndPercent) {
  EXPECT_EQ(Fmt(WTEXT("%f|%.2f|%8.3f|%-8.1f|%e|%g|%%"), 1.5, 3.14159, 2.5, 1.25, 12345.678, 0.0001), 
            WTEXT("1.500000|3.14|   2.500|1.2     |1.234568e+04|0.0001|%"));
}

TEST(WidePrintf, BadFormatsAreCopiedAndNeverRunAway) {
  WideString out;
  pavo::PrintfArrayArgs none(nullptr, 0);
  EXPECT_EQ(pavo::AppendPrintf(out, WTEXT("a%qb%"), 5, none), PrintfStatus::BadFormat);
  EXPECT_EQ(out, WTEXT("a%qb%"));
  out.clear();
  int target = 0;
  const ULONG_PTR slots[] = {reinterpret_cast<ULONG_PTR>(&target)};
  pavo::PrintfArrayArgs one(slots, 1);
  EXPECT_EQ(pavo::AppendPrintf(out, WTEXT("%n"), 2, one), PrintfStatus::BadFormat);
  EXPECT_EQ(target, 0);  // %n never writes
  out.clear();
  EXPECT_EQ(pavo::AppendPrintf(out, WTEXT("%999999999d"), 11, none), PrintfStatus::BadFormat);
  // Width beyond the limit given through '*'.
  const ULONG_PTR huge[] = {0x7FFFFFFF, 1};
  pavo::PrintfArrayArgs hugeArgs(huge, 2);
  out.clear();
  EXPECT_EQ(pavo::AppendPrintf(out, WTEXT("%*d"), 3, hugeArgs), PrintfStatus::BadFormat);
  // The format's length bounds the scan: no terminator is needed.
  const WCHAR cut[] = {WTEXT('%'), WTEXT('0'), WTEXT('5')};
  out.clear();
  EXPECT_EQ(pavo::AppendPrintf(out, cut, 3, none), PrintfStatus::BadFormat);
  EXPECT_EQ(out, WTEXT("%05"));
}

TEST(WidePrintf, ArrayArgumentsAreCountedAndSingleConversionsParse) {
  const ULONG_PTR args[] = {static_cast<ULONG_PTR>(-7), reinterpret_cast<ULONG_PTR>(WTEXT("txt")), 0x1F};
  pavo::PrintfArrayArgs source(args, 3);
  WideString out;
  size_t used = 0;
  // FormatMessageW hands over the text between the '!' of %1!08x!.
  EXPECT_EQ(pavo::AppendPrintfConversion(out, WTEXT("d"), 1, source, &used), PrintfStatus::Ok);
  EXPECT_EQ(pavo::AppendPrintfConversion(out, WTEXT("-5s!"), 4, source, &used), PrintfStatus::Ok);
  EXPECT_EQ(used, 3u);
  EXPECT_EQ(pavo::AppendPrintfConversion(out, WTEXT("08x"), 3, source, &used), PrintfStatus::Ok);
  EXPECT_EQ(out, WTEXT("-7txt  0000001f"));
  // Past the count: reported, nothing appended, nothing read.
  EXPECT_EQ(pavo::AppendPrintfConversion(out, WTEXT("d"), 1, source, &used), PrintfStatus::MissingArgument);
  EXPECT_EQ(out, WTEXT("-7txt  0000001f"));
  source.Seek(1);
  out.clear();
  EXPECT_EQ(pavo::AppendPrintfConversion(out, WTEXT("s"), 1, source, &used), PrintfStatus::Ok);
  EXPECT_EQ(out, WTEXT("txt"));
  pavo::PrintfDirective dir;
  EXPECT_EQ(pavo::ParsePrintfDirective(WTEXT("-+ #012.5I64x"), 13, dir), 13u);
  EXPECT_TRUE(dir.left && dir.plus && dir.space && dir.alternate && dir.zero);
  EXPECT_EQ(dir.width, 12);
  EXPECT_EQ(dir.precision, 5);
  EXPECT_EQ(pavo::ParsePrintfDirective(WTEXT("5"), 1, dir), 0u);
}
