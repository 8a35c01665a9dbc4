#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "portable_test_support.h"
#include "platform/gral/FileSpecifier.h"
#include "platform/gral/StringBuffer.h"
#include "platform/win/win_types.h"
#include "platform/win/wide_text.h"

using Gral::StringBuffer;

namespace {

std::string Bytes(const StringBuffer& b) { return std::string(b.data(), static_cast<size_t>(b.size())); }

StringBuffer Wide(const pavo::WideString& s) {
  return StringBuffer(static_cast<int>(2 * s.size() + 2), s.c_str(), StringBuffer::nativeEncoding());
}

pavo::WideString WideText(const StringBuffer& b) {
  return pavo::WideString(reinterpret_cast<const WCHAR*>(b.data()), static_cast<size_t>(b.textBytes() / 2));
}

}  // namespace

TEST(GralStringBuffer, HoldsBytesTerminatedEvenWhenTheCountLeavesTheTerminatorOut) {
  const StringBuffer b(3, "abcdef", 1);
  EXPECT_EQ(b.size(), 3);
  EXPECT_STREQ(b.data(), "abc");
  EXPECT_TRUE(StringBuffer(2, WTEXT(""), 2).isEmpty());
  EXPECT_TRUE(StringBuffer(5, nullptr, 1).isEmpty());
  EXPECT_EQ(StringBuffer(-4, "x", 0).size(), 0);
}

TEST(GralStringBuffer, ConvertRoundTripsTextOutsideAsciiAndTheBmp) {
  const pavo::WideString text = WTEXT("Grüße Ωμέγα 日本語 \U0001F600 &<\"\t\n");
  StringBuffer utf8, back;
  Wide(text).convert(utf8, 1);
  EXPECT_EQ(utf8.encoding(), 1);
  EXPECT_EQ(Bytes(utf8), std::string(u8"Grüße Ωμέγα 日本語 \U0001F600 &<\"\t\n") + '\0');
  utf8.convert(back, 2);
  EXPECT_EQ(back.size(), static_cast<int>(2 * text.size() + 2));
  EXPECT_EQ(WideText(back), text);
}

TEST(GralStringBuffer, ConvertStopsAtTheTerminatorAndSurvivesBadInput) {
  StringBuffer out;
  StringBuffer(6, "ab\0cd", 1).convert(out, 1);
  EXPECT_EQ(Bytes(out), std::string("ab\0", 3));
  StringBuffer self(4, "xyz", 1);
  self.convert(self, 2);  // into itself
  EXPECT_EQ(WideText(self), WTEXT("xyz"));
  StringBuffer(4, "\xff\xfe\xc3", 1).convert(out, 2);
  EXPECT_EQ(WideText(out).substr(0, 1), WTEXT("\uFFFD"));
  StringBuffer(3, "ab", 7).convert(out, 1);  // unknown source code: no text
  EXPECT_EQ(Bytes(out), std::string("\0", 1));
  StringBuffer(3, "ab", 1).convert(out, 9);  // unknown target code: empty
  EXPECT_EQ(out.size(), 0);
  EXPECT_EQ(out.encoding(), 9);
}

TEST(GralStringBuffer, AnsiCodePageTakesItsOwnBytes) {
  portable::AnsiCodePageScope acp(1252);
  PAVORM_NEED_ANSI_CODE_PAGE(acp);
  StringBuffer narrow, back;
  Wide(WTEXT("Grüße 日")).convert(narrow, 0);
  EXPECT_EQ(Bytes(narrow), std::string("Gr\xfc\xdf" "e ?\0", 8));
  narrow.convert(back, 2);
  EXPECT_EQ(WideText(back), WTEXT("Grüße ?"));
}

TEST(GralFileSpecifier, AssignFromItsOwnText) {
  Gral::FileSpecifier held(Wide(WTEXT("a long enough file name.tif")), 2);
  held.assign(held.text(), 0);
  EXPECT_EQ(held.kind(), 0);
  EXPECT_EQ(WideText(held.text()), WTEXT("a long enough file name.tif"));
}
