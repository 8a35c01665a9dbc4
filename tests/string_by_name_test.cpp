#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/identity.h"
#include "resource_test_support.h"
#include "platform/win/wide_text.h"

namespace {

const pavo::WideString kMissing7 = WTEXT("Can not find the resource string \nnumber 7 in resource Nope.");

TEST(StringByName, FailuresKeepTheTextAndReportOnceWithANoticeForNestedOnes) {
  test::BoxCapture boxes;
  PavoRmResourceManager manager;
  manager.AttachResourceObject(new PavoRmResourceObjectResourceDll(WTEXT("Empty")), 1);  // no module
  PavoRmCString text(WTEXT("before"));
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("Nope")), 7, 0));
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("Empty")), 7, 0));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("Nope")), 7));
  EXPECT_EQ(WTEXT("before"), rtest::U(text));
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_EQ(kMissing7, boxes.boxes[0].text);
  EXPECT_EQ(WTEXT("Resource Manager Error"), boxes.boxes[0].caption);
  EXPECT_EQ(0x30u, boxes.boxes[0].type);

  // Failures while the box is open: one notice for the whole process, no second box.
  boxes.whileOpen = [](const test::Box&) { PavoRmCString(WTEXT("Nope"), 8, 1); };
  EXPECT_TRUE(PavoRmCString(WTEXT("Empty"), 7, 1).IsEmpty());
  EXPECT_TRUE(PavoRmCString(WTEXT("Nope"), 7, 1).IsEmpty());
  ASSERT_EQ(4u, boxes.boxes.size());
  EXPECT_NE(pavo::WideString::npos, boxes.boxes[1].text.find(WTEXT("in resource Empty.")));
  EXPECT_EQ(kMissing7, boxes.boxes[3].text);
}

TEST(StringByName, FormatsMessagesOfTheNamedObject) {
  test::BoxCapture boxes;
  PavoRmResourceManager manager;
  manager.AttachInformation(new rtest::MemoryInformation(WTEXT("/nonexistent"), WTEXT("enu")));
  manager.AttachResourceObject(new PavoRmResourceObjectNormalDll(WTEXT("PavoRm"), pavoRmDllInstance(), pavoRmDllInstance()), 1);
  PAVORM_NEED_READOBJ();
  const auto table = test::ReadObjStrings(test::LanguageModule("PavoRmenu.dll"));
  pavo::WideString expected = table.at({1033, 28505});
  expected.replace(expected.find(WTEXT("%1!s!")), 5, WTEXT("a.txt"));

  PavoRmCString text;
  text.FormatMessageW(WTEXT("PavoRm"), 28505, WTEXT("a.txt"));
  EXPECT_EQ(expected, rtest::U(text));
  EXPECT_EQ(rtest::U(PavoRmCString(table.at({1033, 28504}).c_str())), rtest::U(PavoRmCString(WTEXT("PavoRm"), 28504, 1)));
  EXPECT_TRUE(boxes.boxes.empty());

  EXPECT_NO_THROW(text.FormatMessageW(WTEXT("PavoRm"), 9, 1));  // no string 9: unchanged, reported
  EXPECT_EQ(expected, rtest::U(text));
  EXPECT_EQ(1u, boxes.boxes.size());
}

}  // namespace
