// The stand-in's MessageBoxW without a window system: the box as lines on
// standard error, answered with its default button. On Windows MessageBoxW
// is the system's dialog.
#include <gtest/gtest.h>

#include "platform/win/message_box.h"

TEST(StandInMessageBox, DefaultHandlerWritesToStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("Datei \u00FCber"), WTEXT("Caption"), MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("t"), nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, WTEXT("t"), WTEXT("c"), MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: Datei \xC3\xBC" "ber\nError: t\nc: t\n");
}
