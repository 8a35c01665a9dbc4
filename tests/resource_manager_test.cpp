#include <gtest/gtest.h>

#include <memory>

#include "message_box_capture.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/registration.h"
#include "resource_test_support.h"
#include "platform/win/wide_text.h"

using rtest::Log;
using rtest::MemoryInformation;
using rtest::Probe;

namespace {

TEST(ResourceManager, AttachesOnceKeepsFailedObjectsAndNeedsInformation) {
  PavoRmResourceManager manager;
  auto* a = new Probe(WTEXT("A"));
  EXPECT_EQ(0, manager.AttachResourceObject(a, 1));  // no information anywhere: Init fails, nothing read
  EXPECT_TRUE(a->tried.empty());
  EXPECT_EQ(0, PavoRmInit(nullptr));
  EXPECT_EQ(WTEXT(""), rtest::U(manager.CurrentLanguage()));

  manager.AttachInformation(new MemoryInformation(nullptr, WTEXT("deu")));
  EXPECT_EQ(0, manager.AttachResourceObject(a, 1));  // already attached: no second Init
  EXPECT_EQ(1, a->inits);
  auto* b = new Probe(WTEXT("B"));
  EXPECT_EQ(1, manager.AttachResourceObject(b, 1));
  EXPECT_EQ(std::vector<pavo::WideString>{WTEXT("Bdeu.dll")}, b->tried);
  b->finishResult = 0;
  EXPECT_EQ(0, b->Init());
  EXPECT_EQ(0, manager.ChangeLanguage(WTEXT("fra")));
  EXPECT_EQ(WTEXT("deu"), rtest::U(manager.CurrentLanguage()));
  EXPECT_EQ(a, manager.GetResourceObject(WTEXT("A")));
}

TEST(ResourceManager, SameNamesAreFoundOldestFirstAndLeaveByPointer) {
  PavoRmResourceManager manager;
  manager.AttachInformation(new MemoryInformation(nullptr, WTEXT("enu")));
  auto* older = new Probe(WTEXT("A"));
  auto* newer = new Probe(WTEXT("A"));
  for (Probe* p : {older, newer, new Probe(WTEXT(""))}) manager.AttachResourceObject(p, 1);
  EXPECT_EQ(older, manager.GetResourceObject(WTEXT("A")));
  EXPECT_EQ(nullptr, manager.GetResourceObject(WTEXT("a")));
  EXPECT_EQ(nullptr, manager.DetachResourceObject(WTEXT("")));

  delete newer;  // must take itself out, not the older one
  EXPECT_EQ(older, manager.DetachResourceObject(WTEXT("A")));
  EXPECT_EQ(nullptr, manager.GetResourceObject(WTEXT("A")));
  delete older;  // the caller's now

  auto* again = new Probe(WTEXT("A"));  // the name index follows detach and re-attach
  manager.AttachResourceObject(again, 1);
  EXPECT_EQ(again, manager.GetResourceObject(WTEXT("A")));
}

namespace {

// A subclass that renames itself, as hosts may (the name is protected).
class Renaming : public Probe {
 public:
  using Probe::Probe;
  void Rename(const WCHAR* name) { m_Name = name; }
};

}  // namespace

// Lookups by name see the names as they are at lookup time: an older object
// renamed to a name a newer one holds is the one found, as the walk finds it.
TEST(ResourceManager, RenamedObjectsAreFoundUnderTheirNameNow) {
  PavoRmResourceManager manager;
  manager.AttachInformation(new MemoryInformation(nullptr, WTEXT("enu")));
  auto* older = new Renaming(WTEXT("Old"));
  auto* newer = new Renaming(WTEXT("Name"));
  manager.AttachResourceObject(older, 1);
  manager.AttachResourceObject(newer, 1);
  EXPECT_EQ(newer, manager.GetResourceObject(WTEXT("Name")));
  older->Rename(WTEXT("Name"));
  EXPECT_EQ(older, manager.GetResourceObject(WTEXT("Name")));
  EXPECT_EQ(nullptr, manager.GetResourceObject(WTEXT("Old")));
  older->Rename(WTEXT("Other"));
  EXPECT_EQ(newer, manager.GetResourceObject(WTEXT("Name")));
  EXPECT_EQ(older, manager.GetResourceObject(WTEXT("Other")));
  EXPECT_EQ(older, manager.DetachResourceObject(WTEXT("Other")));
  delete older;
  EXPECT_EQ(newer, manager.GetResourceObject(WTEXT("Name")));
}

TEST(ResourceManager, DestructionDeletesNewestFirstThenReleasesInformation) {
  Log log;
  auto* information = new MemoryInformation(nullptr, WTEXT("enu"), &log);
  {
    PavoRmResourceManager manager;
    manager.AttachInformation(information);
    manager.AttachInformation(information);  // again: must not destroy it
    manager.AttachInformation(nullptr);
    EXPECT_EQ(1, information->RefCount());
    for (const WCHAR* name : {WTEXT("A"), WTEXT("B"), WTEXT("C")}) manager.AttachResourceObject(new Probe(name, &log), 1);
    manager.GetResourceObject(WTEXT("B"))->AttachInformation(information);
    EXPECT_EQ(4, information->RefCount());  // manager + three objects
  }
  EXPECT_EQ((Log{WTEXT("~C"), WTEXT("~B"), WTEXT("~A"), WTEXT("info")}), log);
}

TEST(ResourceManager, CallersCopeWithAMissingManager) {
  test::BoxCapture boxes;
  auto first = std::make_unique<PavoRmResourceManager>();
  delete new PavoRmResourceManager;  // not the singleton, yet clears it
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(nullptr, PavoRmResourceManager::Instance());
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_EQ(WTEXT("Internal Error: Resource-Manager not found!!!"), boxes.boxes[0].text);

  EXPECT_EQ(0, PavoRmInit(nullptr));
  PavoRmExit();
  Probe probe(WTEXT("A"));
  EXPECT_EQ(0, probe.Init());
  PavoRmCString text(WTEXT("keep"));
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(WTEXT("A")), 1, 0));
  EXPECT_EQ(WTEXT("keep"), rtest::U(text));
  PavoRmResource scope(PavoRmCString(WTEXT("A")));
  EXPECT_EQ(nullptr, scope.handle());
}

}  // namespace
