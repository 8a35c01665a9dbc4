// The writer of XML text that the serializer and the reference documents
// share: growth out of a caller's first buffer, bounded and NUL-ended
// escaping, and an allocation failure that is told, not hidden.
#include "ezxml_fault.h"
#include "ezxml_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct FailGuard {
  ~FailGuard() { ezxml_fail_allocation(0); }
};

// The pieces every writer below appends, whatever its first buffer.
void WritePieces(ezxml_writer* w) {
  ezxml_writer_start_tag(w, "e", 1, 0);
  ezxml_writer_attribute(w, "v", "\"\t\n&<>'\r\xC3\xA9");
  ezxml_writer_byte(w, '>');
  ezxml_writer_escaped_text(w, "\"\t\n&<>'\r");
  // Only the first 3 bytes, and a NUL ends a count early.
  EXPECT_EQ(ezxml_writer_text_n(w, "a&bc", 3), 3u);
  EXPECT_EQ(ezxml_writer_text_n(w, "x\0yz", 4), 1u);
  ezxml_writer_end_tag(w, "e", 1);
}

const char kPieces[] = "<e v=\"&quot;&#x9;&#xA;&amp;&lt;&gt;'&#xD;\xC3\xA9\">\"\t\n&amp;&lt;&gt;'&#xD;a&amp;bx</e>";

TEST(XmlWriter, SameBytesFromAnyFirstBuffer) {
  for (size_t first : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
    SCOPED_TRACE(first);
    std::string stack(first, '#');
    ezxml_writer on;
    ezxml_writer_init_on(&on, &stack[0], first);
    WritePieces(&on);
    ASSERT_NE(ezxml_writer_text(&on), nullptr);
    EXPECT_EQ(std::string(ezxml_writer_text(&on)), kPieces);
    EXPECT_EQ(ezxml_writer_length(&on), sizeof kPieces - 1);
    char* taken = ezxml_writer_take(&on);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(std::string(taken), kPieces);
    std::free(taken);
    ezxml_writer_release(&on);  // released already: harmless

    ezxml_writer heap;
    ASSERT_TRUE(ezxml_writer_init(&heap, first));
    WritePieces(&heap);
    taken = ezxml_writer_take(&heap);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(std::string(taken), kPieces);
    std::free(taken);
  }
}

TEST(XmlWriter, FailedGrowthIsToldAndLaterAppendsDoNothing) {
  FailGuard guard;
  char first[4];
  ezxml_writer w;
  ezxml_writer_init_on(&w, first, sizeof first);
  ezxml_writer_put(&w, "abc", 3);
  ezxml_fail_allocation(1);
  ezxml_writer_put(&w, "defgh", 5);  // needs the heap: fails
  ezxml_fail_allocation(0);
  ezxml_writer_put(&w, "i", 1);
  EXPECT_TRUE(w.failed);
  EXPECT_EQ(ezxml_writer_text(&w), nullptr);
  EXPECT_EQ(ezxml_writer_take(&w), nullptr);

  ezxml_fail_allocation(1);
  EXPECT_FALSE(ezxml_writer_init(&w, 16));
  ezxml_fail_allocation(0);
  ezxml_writer_put(&w, "x", 1);
  EXPECT_EQ(ezxml_writer_take(&w), nullptr);
}

}  // namespace
