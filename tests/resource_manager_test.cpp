#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/registration.h"
#include "resource_test_support.h"

using rtest::Log;
using rtest::MemoryInformation;
using rtest::Probe;

class PavoRmResourceManagerTestPeer {
 public:
  static int Lcd(PavoRmResourceManager& m, PavoRmLanguageList& a, PavoRmLanguageList& b) {
    return m.LeastCommonDenominator(a, b);
  }
  static int Installed(PavoRmResourceManager& m, PavoRmLanguageList& list) { return m.GetInstalledLanguageList(list); }
  static void Clear(PavoRmResourceManager& m, PavoRmLanguageList& list) { m.ClearStringList(list); }
};

namespace {

std::vector<std::u16string> Names(const PavoRmLanguageList& list) {
  std::vector<std::u16string> out;
  for (PavoRmCString* s : list) out.push_back(rtest::U(*s));
  return out;
}

TEST(ResourceManager, AttachOnceAndKeepObjectsWhoseInitFails) {
  PavoRmResourceManager manager;
  manager.AttachInformation(new MemoryInformation(nullptr, u"deu"));
  auto* a = new Probe(u"A");
  EXPECT_EQ(1, manager.AttachResourceObject(a, 1));
  EXPECT_EQ(0, manager.AttachResourceObject(a, 1));
  EXPECT_EQ(1, a->inits);
  EXPECT_EQ(std::vector<std::u16string>{u"Adeu.dll"}, a->tried);
  EXPECT_EQ(0, manager.AttachResourceObject(nullptr, 1));

  auto* failing = new Probe(u"F");
  failing->finishResult = 0;
  EXPECT_EQ(0, manager.AttachResourceObject(failing, 1));
  EXPECT_EQ(failing, manager.GetResourceObject(u"F"));
  EXPECT_EQ(0, manager.ChangeLanguage(u"fra"));
  EXPECT_EQ(u"deu", rtest::U(manager.CurrentLanguage()));
}

TEST(ResourceManager, SameNamesAreFoundOldestFirstAndLeaveByPointer) {
  PavoRmResourceManager manager;
  manager.AttachInformation(new MemoryInformation(nullptr, u"enu"));
  auto* older = new Probe(u"A");
  auto* newer = new Probe(u"A");
  auto* unnamed = new Probe(u"");
  manager.AttachResourceObject(older, 1);
  manager.AttachResourceObject(newer, 1);
  manager.AttachResourceObject(unnamed, 1);
  EXPECT_EQ(older, manager.GetResourceObject(u"A"));
  EXPECT_EQ(nullptr, manager.GetResourceObject(u"a"));
  EXPECT_EQ(nullptr, manager.DetachResourceObject(u""));

  delete newer;  // must take itself out, not the older one
  EXPECT_EQ(older, manager.GetResourceObject(u"A"));
  EXPECT_EQ(older, manager.DetachResourceObject(u"A"));
  EXPECT_EQ(nullptr, manager.GetResourceObject(u"A"));
  delete older;  // the caller's now
}

TEST(ResourceManager, DestructionDeletesNewestFirstThenReleasesInformation) {
  Log log;
  auto* information = new MemoryInformation(nullptr, u"enu", &log);
  {
    PavoRmResourceManager manager;
    manager.AttachInformation(information);
    manager.AttachInformation(information);  // again: must not destroy it
    EXPECT_EQ(1, information->RefCount());
    manager.AttachInformation(nullptr);
    EXPECT_EQ(information, manager.Information());
    for (const char16_t* name : {u"A", u"B", u"C"}) manager.AttachResourceObject(new Probe(name, &log), 1);
    Probe* b = static_cast<Probe*>(manager.GetResourceObject(u"B"));
    b->AttachInformation(information);
    b->AttachInformation(information);
    EXPECT_EQ(4, information->RefCount());  // manager + three objects
  }
  EXPECT_EQ((Log{u"~C", u"~B", u"~A", u"info"}), log);
}

TEST(ResourceManager, SecondManagerAndMissingManagerAreHandled) {
  test::BoxCapture boxes;
  auto first = std::make_unique<PavoRmResourceManager>();
  delete new PavoRmResourceManager;  // not the singleton, yet clears it
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(nullptr, PavoRmResourceManager::Instance());
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_EQ(u"Internal Error: Resource-Manager not found!!!", boxes.boxes[0].text);

  // Every caller of Instance copes with the missing manager.
  EXPECT_EQ(0, PavoRmInit(nullptr));
  PavoRmExit();
  Probe probe(u"A");
  EXPECT_EQ(0, probe.Init());
  PavoRmCString text(u"keep");
  EXPECT_EQ(0, text.LoadStringW(PavoRmCString(u"A"), 1, 0));
  EXPECT_EQ(u"keep", rtest::U(text));
  { PavoRmResource scope(PavoRmCString(u"A")); EXPECT_EQ(nullptr, scope.handle()); }
  EXPECT_GE(boxes.boxes.size(), 6u);
}

TEST(ResourceManager, InitWithoutInformationFails) {
  PavoRmResourceManager manager;
  auto* probe = new Probe(u"A");
  EXPECT_EQ(0, manager.AttachResourceObject(probe, 1));
  EXPECT_TRUE(probe->tried.empty());
  EXPECT_EQ(0, PavoRmInit(nullptr));
  EXPECT_EQ(u"", rtest::U(manager.CurrentLanguage()));
}

TEST(ResourceManager, LanguageListsKeepWhatEveryObjectOffers) {
  PavoRmResourceManager manager;
  PavoRmLanguageList first, second, installed;
  for (const char16_t* l : {u"enu", u"deu", u"fra"}) first.AddTail(new PavoRmCString(l));
  EXPECT_EQ(0, PavoRmResourceManagerTestPeer::Lcd(manager, first, second));
  EXPECT_EQ(3, first.GetCount());
  for (const char16_t* l : {u"fra", u"enu"}) second.AddTail(new PavoRmCString(l));
  EXPECT_EQ(1, PavoRmResourceManagerTestPeer::Lcd(manager, first, second));
  EXPECT_EQ((std::vector<std::u16string>{u"enu", u"fra"}), Names(first));

  EXPECT_EQ(0, PavoRmResourceManagerTestPeer::Installed(manager, installed));
  manager.AttachInformation(new MemoryInformation(nullptr, u"enu", nullptr, {u"enu", u"deu", u"fra", u"ita"}));
  manager.AttachResourceObject(new Probe(u"A"), 1);
  auto* b = new Probe(u"B");
  b->AttachInformation(new MemoryInformation(nullptr, u"enu", nullptr, {u"ita", u"enu", u"fra"}));
  manager.AttachResourceObject(b, 1);
  EXPECT_EQ(1, PavoRmResourceManagerTestPeer::Installed(manager, installed));
  EXPECT_EQ((std::vector<std::u16string>{u"enu", u"fra", u"ita"}), Names(installed));
  for (PavoRmLanguageList* list : {&first, &second, &installed}) PavoRmResourceManagerTestPeer::Clear(manager, *list);
}

}  // namespace
