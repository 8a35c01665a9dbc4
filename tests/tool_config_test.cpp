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
  EXPECT_NE(list.find("  Viewer  REG_SZ  viewer.dll\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  Settings\\\n    Theme  REG_SZ  dunkel \"grün\"\n"), std::string::npos) << list;
  // A section key is a sub-key, which the library counts as a language: it
  // is listed apart, not in the columns of the languages.
  const std::string languages = Run({"languages"}).out;
  EXPECT_NE(languages.find("sections (sub-keys the library also counts as languages): Settings\n"),
            std::string::npos) << languages;
  EXPECT_EQ(languages.find("(not a language name)"), std::string::npos) << languages;

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

TEST_F(ToolConfig, ValuesPrintAsStoredAndEveryTypeCanBeWritten) {
  ASSERT_EQ(Run({"config", "set", "Back", "C:\\dir\\file"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Back"}).out, "C:\\dir\\file\n");
  EXPECT_EQ(Run({"config", "get", "Back", "--type"}).out, "REG_SZ\nC:\\dir\\file\n");
  ASSERT_EQ(Run({"config", "set", "Count", "42", "--type", "dword"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Count"}).out, "42\n");
  ASSERT_EQ(Run({"config", "set", "Big", "0xFFFFFFFFFFFFFFFF", "--type", "qword"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Big", "--type"}).out, "REG_QWORD\n18446744073709551615\n");
  ASSERT_EQ(Run({"config", "set", "Dirs", "--type", "multi", "a b", "C:\\x"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Dirs"}).out, "a b\nC:\\x\n");
  ASSERT_EQ(Run({"config", "set", "Blob", "00 7f,AB", "--type", "binary"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Blob"}).out, "007FAB\n");
  ASSERT_EQ(Run({"config", "set", "Path", "%HOME%\\x", "--type", "expand"}).status, 0);
  EXPECT_EQ(Run({"config", "get", "Path", "--type"}).out, "REG_EXPAND_SZ\n%HOME%\\x\n");
  EXPECT_EQ(Run({"config", "get", "Count", "--json"}).out, "{\"name\": \"Count\", \"type\": \"REG_DWORD\", \"value\": 42}\n");

  const std::string list = Run({"config", "list"}).out;
  for (const char* line : {"  Back   REG_SZ         C:\\dir\\file\n", "  Count  REG_DWORD      42\n",
                           "  Dirs   REG_MULTI_SZ   a b\\0C:\\x\n", "  Blob   REG_BINARY     007FAB\n"}) {
    EXPECT_NE(list.find(line), std::string::npos) << line << " in\n" << list;
  }
  const std::string json = Run({"config", "list", "--json"}).out;
  EXPECT_NE(json.find("{\"name\": \"Dirs\", \"type\": \"REG_MULTI_SZ\", \"value\": [\"a b\", \"C:\\\\x\"]}"),
            std::string::npos) << json;

  // Values that do not fit the type are usage errors and change nothing.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"4294967296", "--type", "dword"}, {"12x", "--type", "dword"},
        {"abc", "--type", "binary"}, {"1", "--type", "float"}}) {
    std::vector<std::string> args = {"config", "set", "Count"};
    args.insert(args.end(), bad.begin(), bad.end());
    EXPECT_EQ(Run(args).status, 2) << bad[0];
  }
  EXPECT_EQ(Run({"config", "get", "Count"}).out, "42\n");
}

TEST_F(ToolConfig, ImportTakesWhatWindowsWritesAndSaysWhatItCannot) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  Write("classes.reg", header + "[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"txtfile\"\r\n");
  const ToolRun classes = Run({"config", "import", Path("classes.reg")});
  EXPECT_EQ(classes.status, 1);
  EXPECT_NE(classes.err.find("classes.reg:3: the root HKEY_CLASSES_ROOT is not supported"), std::string::npos)
      << classes.err;

  // UTF-16 as Notepad may save it: without a byte-order mark, or big-endian.
  const std::string text = header + "[HKEY_CURRENT_USER\\Software\\PavoRm51]\r\n\"Name\"=\"Wert\"\r\n";
  std::string little, big = "\xFE\xFF";
  for (const char c : text) {
    little += std::string{c, '\0'};
    big += std::string{'\0', c};
  }
  Write("little.reg", little);
  Write("big.reg", big);
  for (const char* file : {"little.reg", "big.reg"}) {
    ASSERT_EQ(Run({"config", "delete", "Name"}).status, file == std::string("little.reg") ? 1 : 0);
    const ToolRun r = Run({"config", "import", Path(file)});
    ASSERT_EQ(r.status, 0) << file << ": " << r.err;
    EXPECT_EQ(Run({"config", "get", "Name"}).out, "Wert\n") << file;
  }

  // Standard input, here a file that deletes the whole key: the listings are then empty.
  Write("delete.reg", header + "[-HKEY_CURRENT_USER\\Software\\PavoRm51]\r\n");
  ASSERT_EQ(Run({"config", "import", "-"}, "delete.reg").status, 0);
  const ToolRun list = Run({"config", "list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "");
  const ToolRun languages = Run({"languages"});
  EXPECT_EQ(languages.status, 0) << languages.err;
  EXPECT_EQ(languages.out.find("enu"), std::string::npos) << languages.out;
  EXPECT_NE(languages.err.find("note: no key Software\\PavoRm51"), std::string::npos) << languages.err;

  const ToolRun rooted = Run({"config", "list", "--key", "\\Software"});
  EXPECT_EQ(rooted.status, 2);
  EXPECT_NE(rooted.err.find("leading"), std::string::npos) << rooted.err;
}

TEST_F(ToolConfig, AnEmptyHiveFileIsSetUpLikeANewOne) {
  Write("empty.hive", "");
  const ToolRun r = Run({"--hive", Path("empty.hive"), "languages"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("enu  English (United States)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PavoRmdeu.dll"), std::string::npos) << r.out;
}

}  // namespace
