#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "platform/afx/afx_message_box.h"
#include "platform/afx/module_state.h"

// AfxMessageBox goes through the installed handler with the host's name as
// its caption, on both platforms.
TEST(MessageBoxes, AfxMessageBoxTakesTheAppNameAsCaption) {
  test::BoxCapture capture;
  AfxGetModuleState()->m_lpszCurrentAppName = WTEXT("Host");
  AfxMessageBox(WTEXT("hello"), 0, 0);
  AfxGetModuleState()->m_lpszCurrentAppName = nullptr;
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0].caption, WTEXT("Host"));
  EXPECT_EQ(capture.boxes[0].type, 0u);
}
