#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/win/last_error.h"

// Each thread has its own last error. Checked while both threads live and
// with no call between setting and reading: on Windows starting and joining
// a thread are system calls that may set the caller's last error.
TEST(LastError, IsKeptPerThread) {
  std::atomic<int> step{0};
  DWORD seenByOther = 1234, otherAfter = 0;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(ERROR_MORE_DATA);
    step = 1;
    while (step.load() != 2) {
    }
    otherAfter = GetLastError();
  });
  while (step.load() != 1) {
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  const DWORD mine = GetLastError();
  step = 2;
  other.join();
  EXPECT_EQ(seenByOther, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(mine, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(otherAfter, static_cast<DWORD>(ERROR_MORE_DATA));
}
