// Which module a resource object of the tool uses: the fallbacks of the
// library told on standard error, --strict refusing them, and module files
// whatever their names.
#include <filesystem>

#include "tool_test_support.h"

namespace {

using ToolModules = ToolTest;

TEST_F(ToolModules, FallbacksSayWhichModuleIsUsedAndWhy) {
  ASSERT_TRUE(std::filesystem::create_directory(Path("lang")));
  Write("lang/PavoRmenu.dll", Slurp(Lang("PavoRmenu.dll")));
  Write("lang/PavoRmdeu.dll", "junk that is no module");
  Write("lang/PavoRmfra.dll", Slurp(Lang("PavoRmfra.dll")));
  const std::string dir = Path("lang");
  const struct {
    std::vector<std::string> args;
    std::string told;  // "" when no fallback happens
  } cases[] = {
      {{"--lang", "deu"}, "PavoRmdeu.dll is damaged: not a valid module (corrupt or not a PE file); using PavoRmenu.dll"},
#ifndef _WIN32
      // Linux file names have case; Windows finds PavoRmfra.dll by this name.
      {{"--lang", "FRA"}, "PavoRmFRA.dll not found in " + dir + " (there is PavoRmfra.dll"},
#endif
      {{"--lang", "ita"}, "PavoRmita.dll not found in " + dir + "; using PavoRmenu.dll"},
      {{"--lang", "fra"}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"strings", "PavoRm", "28510", "--lang-dir", dir};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun r = Run(args);
    EXPECT_EQ(r.status, 0) << c.args[1] << ": " << r.err;
    if (c.told.empty()) {
      EXPECT_EQ(r.err, "") << c.args[1];
      EXPECT_EQ(r.out, "28510\tAnnuler\n");
      continue;
    }
    EXPECT_EQ(r.out, "28510\tCancel\n") << c.args[1];
    EXPECT_EQ(r.err.rfind("pavorm: PavoRm: " + c.told, 0), 0u) << r.err;
    args.push_back("--strict");
    const ToolRun strict = Run(args);
    EXPECT_EQ(strict.status, 1) << c.args[1];
    EXPECT_EQ(strict.out, "");
    EXPECT_NE(strict.err.find(c.told), std::string::npos) << strict.err;
  }

  // No language directory at all: the built-in English strings, and the JSON says so.
  const ToolRun none = Run({"strings", "PavoRm", "28510", "--lang-dir", Path("nowhere"), "--json"});
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_NE(none.err.find("the language directory " + Path("nowhere") + " does not exist; using the library's built-in"),
            std::string::npos) << none.err;
  EXPECT_NE(none.out.find("\"file\": null, \"requested\": \"" + Path("nowhere") + "/PavoRmenu.dll\", \"fallback\": \""),
            std::string::npos) << none.out;
  const ToolRun json = Run({"strings", "PavoRm", "28510", "--lang", "deu", "--lang-dir", dir, "--json"});
  EXPECT_NE(json.out.find("\"file\": \"" + dir + "/PavoRmenu.dll\", \"requested\": \"" + dir + "/PavoRmdeu.dll\""),
            std::string::npos) << json.out;
}

TEST_F(ToolModules, ModuleFilesAreReadByAnyNameAndOtherFilesAreNamedForWhatTheyAre) {
  Write("mydeu", Slurp(Lang("PavoRmdeu.dll")));
  EXPECT_EQ(Run({"strings", "./mydeu", "28510"}).out, "28510\tAbbrechen\n");
  EXPECT_EQ(Run({"strings", "mydeu", "28510"}).out, "28510\tAbbrechen\n");
  // Standard input, through a private copy that is gone afterwards.
  EXPECT_EQ(Run({"strings", "-", "28510"}, "mydeu").out, "28510\tAbbrechen\n");
  const ToolRun checked = Run({"check", Lang("PavoRmenu.dll"), "-", "--allow", "28500"}, "mydeu");
  EXPECT_NE(checked.out.find("-: "), std::string::npos) << checked.out << checked.err;
  EXPECT_EQ(Run({"check", Lang("PavoRmenu.dll"), "-", "-"}).status, 2);
  Write("empty.dll", "");
  EXPECT_EQ(Run({"strings", "-"}, "empty.dll").err, "pavorm: standard input: an empty file, not a module\n");
  EXPECT_EQ(Run({"strings", "empty.dll"}).err, "pavorm: empty.dll: an empty file, not a module\n");
  ASSERT_TRUE(std::filesystem::create_directory(Path("modules")));
  const ToolRun folder = Run({"strings", "modules"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err.rfind("pavorm: modules: is a directory, not a module", 0), 0u) << folder.err;
}

}  // namespace
