// The hook through which loads by resource-object name find their module.
#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/identity.h"
#include "resource_test_support.h"
#include "string/resource_module_lookup.h"
#include "platform/win/wide_text.h"

namespace {

const pavo::WideString kManagerMissing = WTEXT("Internal Error: Resource-Manager not found!!!");

// Takes whatever lookup is installed out for one test and puts it back.
class LookupRemoved {
 public:
  LookupRemoved() : saved_(pavo::SetResourceModuleLookup(nullptr)) {}
  ~LookupRemoved() { pavo::SetResourceModuleLookup(saved_); }
  LookupRemoved(const LookupRemoved&) = delete;
  LookupRemoved& operator=(const LookupRemoved&) = delete;
  pavo::ResourceModuleLookup saved() const { return saved_; }

 private:
  pavo::ResourceModuleLookup saved_;
};

HINSTANCE OnlyMine(const PavoRmCString& name) {
  return name == PavoRmCString(WTEXT("Mine")) ? pavoRmDllInstance() : nullptr;
}
HINSTANCE Nothing(const PavoRmCString&) { return nullptr; }

PavoRmResourceObject* TheLibrarysObject() {
  return new PavoRmResourceObjectNormalDll(WTEXT("PavoRm"), pavoRmDllInstance(), pavoRmDllInstance());
}

TEST(StringModuleLookup, WithoutALookupEveryNameIsUnknownAsWithoutAManager) {
  test::BoxCapture boxes;
  PavoRmResourceManager manager;
  manager.AttachResourceObject(TheLibrarysObject(), 1);
  LookupRemoved removed;
  EXPECT_NE(nullptr, removed.saved());  // the manager (and the entry routine) installed one

  PavoRmCString text(WTEXT("keep"));
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("PavoRm")), 28504, 0));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("PavoRm")), 28504));
  text.FormatMessageW(WTEXT("PavoRm"), 28505, WTEXT("a.txt"));
  EXPECT_EQ(WTEXT("keep"), rtest::U(text));
  // The load's own report each time; no manager was asked, so no 28515.
  ASSERT_EQ(2u, boxes.boxes.size());
  for (const test::Box& box : boxes.boxes) {
    EXPECT_EQ(WTEXT("Resource Manager Error"), box.caption);
    EXPECT_NE(pavo::WideString::npos, box.text.find(WTEXT("in resource PavoRm.")));
  }
}

TEST(StringModuleLookup, TheInstalledLookupIsWhatTheLoadersAsk) {
  test::BoxCapture boxes;
  LookupRemoved removed;
  EXPECT_EQ(nullptr, pavo::SetResourceModuleLookup(&OnlyMine));
  PAVORM_NEED_READOBJ();
  const auto table = test::ReadObjStrings(test::LanguageModule("PavoRmenu.dll"));
  // No manager exists here: only the lookup turns the name into a module.
  EXPECT_EQ(table.at({1033, 28504}), rtest::U(PavoRmCString(WTEXT("Mine"), 28504, 1)));
  EXPECT_TRUE(PavoRmCString(WTEXT("PavoRm"), 28504, 0).IsEmpty());
  EXPECT_TRUE(boxes.boxes.empty());

  // Removing another lookup leaves this one; removing this one takes it out.
  pavo::RemoveResourceModuleLookup(&Nothing);
  EXPECT_FALSE(PavoRmCString(WTEXT("Mine"), 28504, 0).IsEmpty());
  pavo::RemoveResourceModuleLookup(&OnlyMine);
  EXPECT_TRUE(PavoRmCString(WTEXT("Mine"), 28504, 0).IsEmpty());
  EXPECT_EQ(nullptr, pavo::SetResourceModuleLookup(nullptr));
}

TEST(StringModuleLookup, TheResourceLayerInstallsItsLookupWithoutPavoRmInit) {
  test::BoxCapture boxes;
  {
    // Loaded library, no manager: the load goes through the manager's lookup,
    // which reports the missing manager before the load reports the string.
    PavoRmCString text;
    EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("PavoRm")), 28504));
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(kManagerMissing, boxes.boxes[0].text);
  }
  LookupRemoved removed;
  PavoRmResourceManager manager;  // installs the lookup again
  manager.AttachResourceObject(TheLibrarysObject(), 1);
  PAVORM_NEED_READOBJ();
  const auto table = test::ReadObjStrings(test::LanguageModule("PavoRmenu.dll"));
  EXPECT_EQ(table.at({1033, 28504}), rtest::U(PavoRmCString(WTEXT("PavoRm"), 28504, 1)));
  EXPECT_EQ(2u, boxes.boxes.size());
}

}  // namespace
