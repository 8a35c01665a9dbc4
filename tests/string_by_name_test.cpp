#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/identity.h"
#include "resource_test_support.h"

namespace {

const std::u16string kMissing7 = u"Can not find the resource string \nnumber 7 in resource Nope.";

TEST(StringByName, FailuresKeepTheTextAndReportOnceWithANoticeForNestedOnes) {
  test::BoxCapture boxes;
  PavoRmResourceManager manager;
  manager.AttachResourceObject(new PavoRmResourceObjectResourceDll(u"Empty"), 1);  // no module
  PavoRmCString text(u"before");
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(u"Nope"), 7, 0));
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(u"Empty"), 7, 0));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(u"Nope"), 7));
  EXPECT_EQ(u"before", rtest::U(text));
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_EQ(kMissing7, boxes.boxes[0].text);
  EXPECT_EQ(u"Resource Manager Error", boxes.boxes[0].caption);
  EXPECT_EQ(0x30u, boxes.boxes[0].type);

  // Failures while the box is open: one notice for the whole process, no second box.
  boxes.whileOpen = [](const test::Box&) { PavoRmCString(u"Nope", 8, 1); };
  EXPECT_TRUE(PavoRmCString(u"Empty", 7, 1).IsEmpty());
  EXPECT_TRUE(PavoRmCString(u"Nope", 7, 1).IsEmpty());
  ASSERT_EQ(4u, boxes.boxes.size());
  EXPECT_NE(std::u16string::npos, boxes.boxes[1].text.find(u"in resource Empty."));
  EXPECT_EQ(kMissing7, boxes.boxes[3].text);
}

TEST(StringByName, FormatsMessagesOfTheNamedObject) {
  test::BoxCapture boxes;
  PavoRmResourceManager manager;
  manager.AttachInformation(new rtest::MemoryInformation(u"/nonexistent", u"enu"));
  manager.AttachResourceObject(new PavoRmResourceObjectNormalDll(u"PavoRm", pavoRmDllInstance(), pavoRmDllInstance()), 1);
  const auto table = test::ReadObjStrings(test::LanguageModule("PavoRmenu.dll"));
  std::u16string expected = table.at({1033, 28505});
  expected.replace(expected.find(u"%1!s!"), 5, u"a.txt");

  PavoRmCString text;
  text.FormatMessageW(u"PavoRm", 28505, u"a.txt");
  EXPECT_EQ(expected, rtest::U(text));
  EXPECT_EQ(rtest::U(PavoRmCString(table.at({1033, 28504}).c_str())), rtest::U(PavoRmCString(u"PavoRm", 28504, 1)));
  EXPECT_TRUE(boxes.boxes.empty());

  EXPECT_NO_THROW(text.FormatMessageW(u"PavoRm", 9, 1));  // no string 9: unchanged, reported
  EXPECT_EQ(expected, rtest::U(text));
  EXPECT_EQ(1u, boxes.boxes.size());
}

}  // namespace
