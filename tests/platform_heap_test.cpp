#include <gtest/gtest.h>

#include "platform/win/heap.h"
#include "platform/win/last_error.h"

TEST(ProcessHeap, AllocatesZeroedBlocksAndRejectsOtherHeaps) {
  HANDLE heap = GetProcessHeap();
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  void* none = HeapAlloc(heap, 0, 0);
  EXPECT_NE(none, nullptr);
  EXPECT_TRUE(HeapFree(heap, 0, p));
  EXPECT_TRUE(HeapFree(heap, 0, none));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  int other;
  EXPECT_EQ(HeapAlloc(&other, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
