#include <gtest/gtest.h>

#include <thread>

#include "platform/win/last_error.h"

TEST(LastError, IsKeptPerThread) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  DWORD seenByOther = 1234;
  std::thread other([&] { seenByOther = GetLastError(); SetLastError(ERROR_MORE_DATA); });
  other.join();
  EXPECT_EQ(seenByOther, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
