#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "portable_test_support.h"
#include "PavoRm51.h"

namespace {

std::string Bytes(const Gral::StringBuffer& b) { return std::string(b.data(), static_cast<size_t>(b.size())); }

}  // namespace

TEST(StringBuffers, CnvtToSBCountsTextAndTerminator) {
  const Gral::StringBuffer empty = PavoRmCString::cnvtToSB(PavoRmCString());
  EXPECT_EQ(Bytes(empty), std::string(2, '\0'));
  EXPECT_EQ(empty.encoding(), Gral::StringBuffer::nativeEncoding());
  EXPECT_EQ(PavoRmCString(WTEXT("a\U0001F600")).cnvtToSB().size(), 8);
  EXPECT_EQ(Bytes(PavoRmCString::cnvtToSB(static_cast<const WCHAR*>(nullptr))), std::string(2, '\0'));
}

TEST(StringBuffers, CnvtToAsciiSB) {
  const Gral::StringBuffer abc = PavoRmCString(WTEXT("abc")).cnvtToAsciiSB();
  EXPECT_EQ(Bytes(abc), std::string("abc\0", 4));
  EXPECT_EQ(abc.encoding(), 0);
  EXPECT_EQ(Bytes(PavoRmCString::cnvtToAsciiSB(nullptr)), std::string(1, '\0'));
}

// In a UTF-8 ANSI code page a unit can take three bytes: the whole text must come out.
TEST(StringBuffers, CnvtToAsciiSBInAUtf8AnsiCodePage) {
  portable::AnsiCodePageScope acp(65001);
  PAVORM_NEED_ANSI_CODE_PAGE(acp);
  const Gral::StringBuffer jp = PavoRmCString::cnvtToAsciiSB(WTEXT("日本語"));
  EXPECT_EQ(Bytes(jp), std::string(u8"日本語") + '\0');
}

TEST(StringBuffers, TakesTextFromBuffersOfEveryEncoding) {
  const std::string utf8 = u8"Ωμέγα \U0001F600";
  EXPECT_EQ(PavoRmCString(Gral::StringBuffer(static_cast<int>(utf8.size() + 1), utf8.c_str(), 1)),
            PavoRmCString(WTEXT("Ωμέγα \U0001F600")));
  EXPECT_TRUE(PavoRmCString(Gral::StringBuffer()).IsEmpty());
  PavoRmCString s(WTEXT("old"));
  Gral::StringBuffer narrow(4, "abc", 0);
  s = &narrow;
  EXPECT_EQ(s, PavoRmCString(WTEXT("abc")));
  Gral::StringBuffer empty(0, 1);
  s = &empty;
  EXPECT_TRUE(s.IsEmpty());
  Gral::StringBuffer unterminated(4, WTEXT("xy"), 2);  // no terminator within its bytes
  s = &unterminated;
  EXPECT_EQ(s, PavoRmCString(WTEXT("xy")));
}

TEST(StringBuffers, NullBufferPointerThrowsAndLeavesTheText) {
  PavoRmCString s(WTEXT("kept"));
  try {
    s = static_cast<Gral::StringBuffer*>(nullptr);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Null pointer argument");
  }
  EXPECT_EQ(s, PavoRmCString(WTEXT("kept")));
}
