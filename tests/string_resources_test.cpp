#include <gtest/gtest.h>

#include <new>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "platform/win/modules.h"
#include "platform/win/ui_language.h"
#include "string/PavoRmCString.h"
#include "string/resource_report.h"
#include "platform/win/wide_text.h"

namespace {

class StringResources : public testing::Test {
 protected:
  void SetUp() override {
    SetThreadUILanguage(1033);
    module_ = LoadLibraryExW(test::Wide(test::TestModule("strings.dll")).c_str(), nullptr, 0);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    FreeLibrary(module_);
    SetThreadUILanguage(0);
  }
  pavo::WideString MissingText(unsigned id) const {
    PavoRmCString expected;
    expected.CStringW::Format(WTEXT("Can not find the resource string \nnumber %d in resource %d."), static_cast<int>(id),
                    static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module_))));
    return expected.GetString();
  }
  HMODULE module_ = nullptr;
};

}  // namespace

TEST_F(StringResources, LoadByHandleReportsMissingStrings) {
  test::BoxCapture capture;
  PavoRmCString s(WTEXT("before"));
  EXPECT_NE(s.LoadStringW(module_, 16, 0), 0);
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("sixteen"));

  EXPECT_EQ(s.LoadStringW(module_, 17, 0), 0);
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("sixteen"));
  EXPECT_TRUE(capture.boxes.empty());

  EXPECT_EQ(s.LoadStringW(module_, 17), 0);  // the two-argument form reports
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0].text, MissingText(17));
  EXPECT_EQ(capture.boxes[0].caption, WTEXT("Resource Manager Error"));
  EXPECT_EQ(capture.boxes[0].type, 0x30u);
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("sixteen"));
}

// Failures met while the box is open show the notice once per process and
// nothing else; the next failure after the box has closed is reported again.
TEST_F(StringResources, ReentrantFailuresShowOneNotice) {
  test::BoxCapture capture;
  int nested = 0;
  capture.whileOpen = [&](const test::Box&) {
    if (nested++ > 0) return;
    PavoRmCString t;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t.LoadStringW(module_, 18 + i, 1), 0);
  };
  PavoRmCString s;
  EXPECT_EQ(s.LoadStringW(module_, 17, 1), 0);
  ASSERT_EQ(capture.boxes.size(), 2u);
  EXPECT_EQ(capture.boxes[0].text, MissingText(17));
  EXPECT_EQ(capture.boxes[1].text, pavo::WideString(pavo::kResourceNotice));
  EXPECT_EQ(capture.boxes[1].text, WTEXT("Unable to locate resource string.  Resource Manager \nis not correctly installed."));
  EXPECT_EQ(capture.boxes[1].type, 0x30u);

  nested = 0;
  EXPECT_EQ(s.LoadStringW(module_, 21, 1), 0);
  ASSERT_EQ(capture.boxes.size(), 3u);  // no second notice
  EXPECT_EQ(capture.boxes[2].text, MissingText(21));
}

TEST_F(StringResources, FormatByIdAndMessageInserts) {
  test::BoxCapture capture;
  PavoRmCString s(WTEXT("old"));
  s.Format(module_, 500, 3, WTEXT("box"));
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("3 items in box"));
  s.Format(module_, 501, 3);
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT(""));
  EXPECT_EQ(capture.boxes.size(), 1u);

  s.FormatMessageL(WTEXT("%1!d!"), 5);
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("5"));
  s.FormatMessageL(WTEXT("%2 %1!s!%%"), WTEXT("b"), WTEXT("a"));
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("a b%"));
  // Messages that come out empty are the empty text, not a failure.
  s.FormatMessageL(WTEXT(""));
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT(""));
  s = WTEXT("old");
  s.FormatMessageL(WTEXT("%1"), WTEXT(""));
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT(""));
  s = WTEXT("old");
  s.FormatMessageL(WTEXT("%0 not this"));
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT(""));

  s = WTEXT("kept");
  try {
    s.FormatMessageL(WTEXT("%1!d"), 5);  // an insert cut short
    ADD_FAILURE() << "no throw";
  } catch (std::bad_alloc* e) {
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->what(), "bad allocation");
    delete e;
  }
  EXPECT_EQ(pavo::WideString(s.GetString()), WTEXT("kept"));
}
