#include <gtest/gtest.h>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "platform/afx/module_state.h"
#include "platform/win/modules.h"
#include "platform/win/module_table.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectFile.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/identity.h"
#include "resource_test_support.h"
#include "platform/win/wide_text.h"

namespace {

// Records the resource module current while it is told; may leave its owner then.
class Child : public PavoRmObject {
 public:
  Child(int* deleted, bool leave) : deleted_(deleted), leave_(leave) {}
  ~Child() override { ++*deleted_; }
  void SwitchLanguage() override {
    ++switches;
    seen = AfxGetResourceHandle();
    if (leave_) m_Owner->byeBye(this);
  }
  int switches = 0;
  HINSTANCE seen = nullptr;

 private:
  int* deleted_;
  bool leave_;
};

class Pokable : public PavoRmResourceObjectResourceDll {
 public:
  using PavoRmResourceObjectResourceDll::PavoRmResourceObjectResourceDll;
  void SetHandle(HINSTANCE module) { m_ResourceHandle = module; }
};

class ResourceObjects : public ::testing::Test {
 protected:
  ResourceObjects() { manager.AttachInformation(new rtest::MemoryInformation(PAVORM_LANGUAGE_DIR, WTEXT("deu"))); }
  PavoRmResourceManager manager;
  test::BoxCapture boxes;
};

TEST_F(ResourceObjects, NormalDllKeepsItsOwnModuleAndReleasesLanguageModules) {
  HINSTANCE own = pavoRmDllInstance();
  auto* object = new PavoRmResourceObjectNormalDll(WTEXT("PavoRm"), own, own);
  ASSERT_EQ(1, manager.AttachResourceObject(object, 1));
  HINSTANCE deu = object->GetResourceHandle();
  ASSERT_NE(own, deu);
  PAVORM_EXPECT_REFERENCES(deu, 1);

  ASSERT_EQ(1, object->TryLoad(WTEXT("PavoRm")));  // its own name: the own module, the language module released
  EXPECT_EQ(1, object->FinishLoad());
  EXPECT_EQ(own, object->GetResourceHandle());
  PAVORM_EXPECT_REFERENCES(deu, 0);
  EXPECT_EQ(1, object->FinishLoad());

  EXPECT_EQ(0, object->TryLoad(WTEXT("PavoRmita.dll")));  // missing: silent, module kept
  EXPECT_EQ(0, object->FinishLoad());
  EXPECT_EQ(1, object->CatchLoad());
  EXPECT_EQ(own, object->GetResourceHandle());
  manager.Information()->SetCurrentLanguageName(WTEXT("ita"));
  EXPECT_EQ(1, object->Init());
  EXPECT_EQ(test::LanguageModule("PavoRmenu.dll"), rtest::Path(object->GetFileName()));
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ResourceObjects, ResourceDllCommitsEvenWhenReleasingTheOldModuleFails) {
  auto* object = new Pokable(WTEXT("PavoRm"));
  ASSERT_EQ(1, object->TryLoad(WTEXT("PavoRmdeu.dll")));
  EXPECT_EQ(nullptr, object->GetResourceHandle());
  ASSERT_EQ(1, manager.AttachResourceObject(object, 1));  // Init replaces the pending candidate
  HINSTANCE first = object->GetResourceHandle();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(test::LanguageModule("PavoRmdeu.dll"), rtest::Path(object->GetFileName()));

  ASSERT_TRUE(FreeLibrary(first));
  object->SetHandle(reinterpret_cast<HINSTANCE>(16));  // a handle FreeLibrary refuses
  ASSERT_EQ(1, object->TryLoad(WTEXT("PavoRmfra.dll")));
  EXPECT_EQ(0, object->FinishLoad());
  EXPECT_NE(nullptr, object->GetResourceHandle());
  EXPECT_NE(reinterpret_cast<HINSTANCE>(16), object->GetResourceHandle());
  EXPECT_EQ(0, object->FinishLoad());  // state stays failed

  // A missing file is reported through the object's own (French) message 28505.
  EXPECT_EQ(0, object->TryLoad(WTEXT("missing.dll")));
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_NE(pavo::WideString::npos, boxes.boxes[0].text.find(WTEXT("missing.dll")));
  EXPECT_NE(pavo::WideString::npos, boxes.boxes[0].text.find(WTEXT("Fichier")));
  EXPECT_EQ(1, object->CatchLoad());

  PavoRmResourceObjectFile file(WTEXT("Help"), WTEXT("initial.txt"));  // records the path, on commit only
  ASSERT_EQ(1, file.TryLoad(WTEXT("PavoRmfra.dll")));
  EXPECT_EQ(WTEXT("initial.txt"), rtest::U(file.GetFileName()));
  EXPECT_EQ(1, file.FinishLoad());
  EXPECT_EQ(test::LanguageModule("PavoRmfra.dll"), rtest::Path(file.GetFileName()));
}

TEST_F(ResourceObjects, ChildrenAreToldInsideAScopeAndOwnedOnesDeleted) {
  HINSTANCE before = AfxGetResourceHandle();
  int deleted = 0;
  auto* object = new PavoRmResourceObjectResourceDll(WTEXT("PavoRm"));
  auto* owned = new Child(&deleted, false);
  auto* leaving = new Child(&deleted, true);
  Child kept(&deleted, false);
  object->AddChildren(leaving, 1);
  object->AddChildren(owned, 1);
  object->AddChildren(owned, 0);  // twice: ignored
  object->AddChildren(&kept, 0);
  ASSERT_EQ(1, manager.AttachResourceObject(object, 1));
  EXPECT_EQ(object->GetResourceHandle(), owned->seen);
  EXPECT_EQ((std::vector<int>{1, 1, 1}), (std::vector<int>{owned->switches, leaving->switches, kept.switches}));
  EXPECT_EQ(before, AfxGetResourceHandle());

  EXPECT_EQ(1, object->Init());  // the leaving child is no longer told
  EXPECT_EQ(1, leaving->switches);
  EXPECT_EQ(2, owned->switches);
  FreeLibrary(object->GetResourceHandle());
  delete object;
  EXPECT_EQ(1, deleted);  // owned only
  delete leaving;
}

}  // namespace

namespace {

// A child that, when first told or else when deleted, adds a new owned child
// to its owner (up to a depth), counting switches and deletions.
class Spawning : public PavoRmObject {
 public:
  Spawning(PavoRmResourceObject* owner, int depth, int* told, int* deleted)
      : owner_(owner), depth_(depth), told_(told), deleted_(deleted) {}
  ~Spawning() override {
    ++*deleted_;
    if (!spawned_) Spawn();
  }
  void SwitchLanguage() override {
    ++switches;
    ++*told_;
    if (!spawned_) Spawn();
  }
  int switches = 0;

 private:
  void Spawn() {
    spawned_ = true;
    if (depth_ > 0) owner_->AddChildren(new Spawning(owner_, depth_ - 1, told_, deleted_), 1);
  }
  PavoRmResourceObject* owner_;
  int depth_;
  int* told_;
  int* deleted_;
  bool spawned_ = false;
};

}  // namespace

// Children that other children add while being told are told as well, each
// once; children added by a child's destructor are deleted too (no leak:
// ASan's leak check runs over the sanitizer build).
TEST_F(ResourceObjects, ChildrenAddedDuringAWalkAreToldAndReleased) {
  int told = 0, deleted = 0;
  {
    rtest::Probe object(WTEXT("P"));
    object.AddChildren(new Spawning(&object, 3, &told, &deleted), 1);
    object.AddChildren(new Spawning(&object, 0, &told, &deleted), 1);
    EXPECT_EQ(1, object.SwitchChildren());
    EXPECT_EQ(5, told);  // the two added first and the chain of three the first one adds
    EXPECT_EQ(1, object.SwitchChildren());
    EXPECT_EQ(10, told);  // every child once more: none twice in a walk, none added now
    EXPECT_EQ(0, deleted);
  }
  // Five children, none of which spawns again (each spawned once already).
  EXPECT_EQ(5, deleted);

  told = deleted = 0;
  {
    rtest::Probe object(WTEXT("Q"));
    object.AddChildren(new Spawning(&object, 2, &told, &deleted), 1);
  }
  EXPECT_EQ(3, deleted);  // the one and the two its destructor chain added
}
