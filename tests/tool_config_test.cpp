// pavorm config and languages on the hive that the registry information reads.
#include "tool_test_support.h"

namespace {

using ToolConfig = ToolTest;

TEST_F(ToolConfig, FirstRunSeedsTheLanguagesThatHaveModules) {
  const ToolRun r = Run({"languages"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* lang : {"enu", "deu", "fra"}) {
    EXPECT_NE(r.out.find(std::string("PavoRm") + lang + ".dll"), std::string::npos) << r.out;
  }
  ASSERT_EQ(Run({"languages", "add", "ita"}).status, 0);
  EXPECT_NE(Run({"languages"}).out.find("ita  Italian"), std::string::npos);
  EXPECT_NE(Run({"languages"}).out.find("(no module: English is used)"), std::string::npos);
  ASSERT_EQ(Run({"languages", "remove", "ita"}).status, 0);
  EXPECT_EQ(Run({"languages"}).out.find("ita"), std::string::npos);
  EXPECT_EQ(Run({"languages", "remove", "ita"}).status, 1);
}

TEST_F(ToolConfig, ValuesAndSectionsRoundTripThroughSetGetListDelete) {
  ASSERT_EQ(Run({"config", "set", "Theme", "dunkel \"grün\"", "--section", "Settings"}).status, 0);
  ASSERT_EQ(Run({"config", "set", "Viewer", "viewer.dll"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "theme", "--section", "settings"}).out, "dunkel \"grün\"\n");
  EXPECT_EQ(Run({"config", "get", "Viewer"}).out, "viewer.dll\n");
  const std::string list = Run({"config", "list"}).out;
  EXPECT_NE(list.find("  Viewer = viewer.dll\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  Settings\\\n    Theme = dunkel \"grün\"\n"), std::string::npos) << list;
  // A section key is a sub-key, so the library counts it as a language.
  EXPECT_NE(Run({"languages"}).out.find("Settings"), std::string::npos);

  ASSERT_EQ(Run({"config", "delete", "Viewer"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Viewer"}).status, 1);
  ASSERT_EQ(Run({"config", "delete", "--section", "Settings"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Theme", "--section", "Settings"}).status, 1);
}

TEST_F(ToolConfig, AConfiguredFileIsWhatTheManagerLoads) {
  // The resource object "PavoRm" takes its file from the hive before the
  // name-and-language rule: English configured, German asked for.
  ASSERT_EQ(Run({"config", "set", "PavoRm", Lang("PavoRmenu.dll")}).status, 0);
  EXPECT_EQ(Run({"strings", "PavoRm", "--lang", "deu", "28510"}).out, "28510\tCancel\n");
}

TEST_F(ToolConfig, ExportImportReproducesTheKeyInAnotherHive) {
  ASSERT_EQ(Run({"config", "set", "Name", "Wert äöü €"}).status, 0);
  ASSERT_EQ(Run({"config", "set", "Mode", "x", "--section", "Opts"}).status, 0);
  for (const char* format : {"--regedit4", ""}) {
    const std::string file = Path(std::string("out") + format + ".reg");
    std::vector<std::string> args = {"config", "export", file};
    if (*format) args.push_back(format);
    ASSERT_EQ(Run(args).status, 0);
    const std::string other = Path(std::string("other") + format + ".hive");
    const ToolRun imported = Run({"config", "import", file, "--hive", other});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::string original = Run({"config", "list"}).out;
    const std::string copy = Run({"config", "list", "--hive", other}).out;
    // REGEDIT4 is Windows-1252, which holds every character used here.
    EXPECT_EQ(copy, original) << format;
  }
  Write("broken.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\PavoRm51]\r\n\"a\"=nonsense\r\n");
  const ToolRun bad = Run({"config", "import", Path("broken.reg")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(Path("broken.reg") + ":4:"), std::string::npos) << bad.err;
  Write("plain.txt", "hello\n");
  EXPECT_NE(Run({"config", "import", Path("plain.txt")}).err.find("not a .reg file"), std::string::npos);
}

}  // namespace
