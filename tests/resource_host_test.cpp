// A host as a real one runs the library: registry information over a hive of
// its own, the language modules built by the resource pipeline, PavoRmInit,
// language switches, PavoRmExit and the manager's destruction.
#include <gtest/gtest.h>
#include <filesystem>

#include <fstream>
#include <memory>

#include "info/PavoRmInformationRegistry.h"
#include "message_box_capture.h"
#include "module_test_support.h"
#include "registry_test_util.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectFile.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/registration.h"
#include "resource_test_support.h"
#include "platform/win/wide_text.h"

namespace {

class TrackedRegistry : public PavoRmInformationRegistry {
 public:
  TrackedRegistry(HKEY root, const PavoRmCString& dir, rtest::Log* log)
      : PavoRmInformationRegistry(root, WTEXT("Software\\PavoRm\\Test"), dir, WTEXT("deu")), log_(log) {}

 protected:
  ~TrackedRegistry() override { log_->push_back(WTEXT("info")); }

 private:
  rtest::Log* log_;
};

class Counter : public PavoRmObject {
 public:
  void SwitchLanguage() override { ++switches; }
  int switches = 0;
};

// Text of string id of a built module, read independently of the library.
pavo::WideString Expected(const char* dll, unsigned language, unsigned id) {
  const auto table = test::ReadObjStrings(dll);
  auto it = table.find({language, id});
  return it != table.end() ? it->second : WTEXT("<missing>");
}

pavo::WideString Insert(pavo::WideString text, const pavo::WideString& insert, const pavo::WideString& value) {
  const size_t at = text.find(insert);
  return at == pavo::WideString::npos ? text : text.replace(at, insert.size(), value);
}

pavo::WideString Load(const WCHAR* object, unsigned id) {
  PavoRmCString text;
  text.LoadStringW(PavoRmCString(object), id);
  return rtest::U(text);
}

TEST(ResourceHost, SwitchesLanguagesThroughRegistryInformation) {
  PAVORM_NEED_READOBJ();
  regtest::ScratchDir dir;
  const std::string lang = dir.File("lang");
  ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(lang)));
  for (const char* l : {"enu", "deu", "fra"}) {
    const std::string own = std::string("PavoRm") + l + ".dll", demo = std::string("Demo") + l + ".dll";
    std::filesystem::copy_file(std::filesystem::u8path(test::LanguageModule(own.c_str())), std::filesystem::u8path(lang + "/" + own));
    std::filesystem::copy_file(std::filesystem::u8path(test::TestModule(demo.c_str())), std::filesystem::u8path(lang + "/" + demo));
  }
  std::ofstream(lang + "/manual.txt") << "manual";
  const std::string enu = lang + "/PavoRmenu.dll", deu = lang + "/PavoRmdeu.dll", fra = lang + "/PavoRmfra.dll";
  const std::string demoDeu = lang + "/Demodeu.dll";

  HKEY hive = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, regtest::LoadHive(dir.File("user.hive"), &hive));
  rtest::Log log;
  auto* info = new TrackedRegistry(hive, regtest::W(lang).c_str(), &log);
  ASSERT_EQ(1, info->WriteValue(WTEXT(""), WTEXT("Help"), WTEXT("manual.txt")));
  test::BoxCapture boxes;
  auto manager = std::make_unique<PavoRmResourceManager>();

  ASSERT_EQ(1, PavoRmInit(info));
  EXPECT_EQ(Expected(deu.c_str(), 1031, 28504), Load(WTEXT("PavoRm"), 28504));
  Counter first, second;
  manager->GetResourceObject(WTEXT("PavoRm"))->AddChildren(&first, 0);
  manager->GetResourceObject(WTEXT("PavoRm"))->AddChildren(&second, 0);
  ASSERT_EQ(1, manager->AttachResourceObject(new PavoRmResourceObjectResourceDll(WTEXT("Demo")), 1));
  auto* help = new PavoRmResourceObjectFile(WTEXT("Help"));
  ASSERT_EQ(1, manager->AttachResourceObject(help, 1));
  EXPECT_EQ(lang + "/manual.txt", rtest::Path(help->GetFileName()));
  PavoRmCString files;
  files.FormatMessageW(WTEXT("Demo"), 2, 3, WTEXT("x"));
  EXPECT_EQ(Insert(Insert(Expected(demoDeu.c_str(), 1031, 2), WTEXT("%1!d!"), WTEXT("3")), WTEXT("%2!s!"), WTEXT("x")), rtest::U(files));
  EXPECT_TRUE(boxes.boxes.empty());

  info->SetCurrentLanguageName(WTEXT("fra"));
  for (const WCHAR* name : {WTEXT("PavoRm"), WTEXT("Demo"), WTEXT("Help")}) EXPECT_EQ(1, manager->GetResourceObject(name)->Init());
  EXPECT_EQ(Expected(fra.c_str(), 1036, 28504), Load(WTEXT("PavoRm"), 28504));
  EXPECT_EQ(Expected((lang + "/Demofra.dll").c_str(), 1036, 1), Load(WTEXT("Demo"), 1));
  EXPECT_EQ(1, first.switches);
  EXPECT_EQ(1, second.switches);

  // No module for ita: the English ones serve; the resource-only kind reports the file.
  info->SetCurrentLanguageName(WTEXT("ita"));
  for (const WCHAR* name : {WTEXT("PavoRm"), WTEXT("Demo")}) EXPECT_EQ(1, manager->GetResourceObject(name)->Init());
  EXPECT_EQ(Expected(enu.c_str(), 1033, 28504), Load(WTEXT("PavoRm"), 28504));
  EXPECT_EQ(Expected((lang + "/Demoenu.dll").c_str(), 1033, 1), Load(WTEXT("Demo"), 1));
  ASSERT_EQ(1u, boxes.boxes.size());
  EXPECT_EQ(Insert(Expected(enu.c_str(), 1033, 28505), WTEXT("%1!s!"), rtest::U(info->ExpandPath(WTEXT("Demoita.dll")))),
            boxes.boxes[0].text);
  { PavoRmResource scope(PavoRmCString(WTEXT("Help"))); EXPECT_EQ(nullptr, scope.handle()); }
  ASSERT_EQ(2u, boxes.boxes.size());
  EXPECT_EQ(Expected(enu.c_str(), 1033, 28506) + WTEXT(": Help"), boxes.boxes[1].text);

  manager->GetResourceObject(WTEXT("PavoRm"))->byeBye(&first);
  manager->GetResourceObject(WTEXT("PavoRm"))->byeBye(&second);
  PavoRmExit();
  EXPECT_EQ(nullptr, manager->GetResourceObject(WTEXT("PavoRm")));
  EXPECT_TRUE(log.empty());
  manager.reset();
  EXPECT_EQ(rtest::Log{WTEXT("info")}, log);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hive));
}

}  // namespace
