#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "platform/afx/afx_message_box.h"
#include "platform/afx/module_state.h"

TEST(MessageBox, DefaultHandlerWritesToStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("Datei \u00FCber"), WTEXT("Caption"), MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("t"), nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("t"), WTEXT("c"), MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: Datei \xC3\xBC" "ber\nError: t\nc: t\n");

  test::BoxCapture capture;
  AfxGetModuleState()->m_lpszCurrentAppName = WTEXT("Host");
  AfxMessageBox(WTEXT("hello"), 0, 0);
  AfxGetModuleState()->m_lpszCurrentAppName = nullptr;
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0].caption, WTEXT("Host"));
  EXPECT_EQ(capture.boxes[0].type, 0u);
}
