// pavorm as a host of the library: the demo, string tables by file and by
// resource-object name, and the error lines and exit statuses of every command.
#include "tool_test_support.h"

namespace {

using Tool = ToolTest;

TEST_F(Tool, DemoRegistersSwitchesFallsBackAndRoundTripsAReference) {
  const ToolRun first = Run({"demo"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  const std::string& o = first.out;
  EXPECT_NE(o.find("created now: first run"), std::string::npos);
  // The same message in the three languages, in that order, from the modules.
  const size_t en = o.find("28510  Cancel"), de = o.find("28510  Abbrechen"), fr = o.find("28510  Annuler");
  ASSERT_NE(en, std::string::npos);
  ASSERT_NE(de, std::string::npos);
  ASSERT_NE(fr, std::string::npos);
  EXPECT_LT(en, de);
  EXPECT_LT(de, fr);
  // Inserts are filled: no %1!s! left in any printed message.
  EXPECT_EQ(o.find("!s!"), std::string::npos);
  EXPECT_NE(o.find("Datei „scans/page1.tif“ nicht gefunden!"), std::string::npos);
  // Italian has no module: the object falls back to the English one.
  const size_t ita = o.find("Italian (ita)");
  ASSERT_NE(ita, std::string::npos);
  EXPECT_NE(o.find("now uses " + Lang("PavoRmenu.dll"), ita), std::string::npos);
  EXPECT_NE(o.find("28510  Cancel", ita), std::string::npos);
  EXPECT_NE(o.find("the round trip kept every component"), std::string::npos);

  const ToolRun second = Run({"demo"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out.find("first run"), std::string::npos);
}

TEST_F(Tool, StringsByNameMatchTheModuleFileOfThatLanguage) {
  for (const char* lang : {"enu", "deu", "fra"}) {
    const ToolRun byName = Run({"strings", "PavoRm", "--lang", lang});
    const ToolRun byFile = Run({"strings", Lang(std::string("PavoRm") + lang + ".dll")});
    ASSERT_EQ(byName.status, 0) << byName.err;
    ASSERT_EQ(byFile.status, 0) << byFile.err;
    EXPECT_EQ(byName.out, byFile.out) << lang;
    EXPECT_EQ(std::count(byFile.out.begin(), byFile.out.end(), '\n'), 16) << lang;
  }
  // A language without a module: the English module, as the manager chooses.
  EXPECT_EQ(Run({"strings", "PavoRm", "--lang", "ita"}).out, Run({"strings", Lang("PavoRmenu.dll")}).out);

  const ToolRun some = Run({"strings", Lang("PavoRmdeu.dll"), "28515", "28510"});
  EXPECT_EQ(some.out, "28515\tInterner Fehler: Ressourcen-Manager nicht gefunden!!!\n28510\tAbbrechen\n");
  // A module with several languages: --lang picks the table.
  EXPECT_NE(Run({"strings", TestModule("strings.dll"), "--lang", "deu", "1"}).out.find("1\teins"), std::string::npos);

  const ToolRun json = Run({"strings", "PavoRm", "--json", "28505"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("{\"id\": 28505, \"text\": \"File \\\"%1!s!\\\" not found!\"}"), std::string::npos);
  EXPECT_NE(json.out.find("\"file\": \"" + Lang("PavoRmenu.dll") + "\""), std::string::npos);
}

TEST_F(Tool, FailuresAreOneLineNamingTheFileOrKeyWithStatus1) {
  struct Case {
    std::vector<std::string> args;
    std::string mention;
  };
  const char corrupt[] = "MZ\x90\0\3\0\0\0garbage that is no PE image";
  Write("corrupt.dll", std::string(corrupt, sizeof corrupt - 1));
  Write("notxml.xml", "<a><b></a>");
  const std::vector<Case> cases = {
      {{"strings", Path("missing.dll")}, Path("missing.dll")},
      {{"strings", Path("corrupt.dll")}, "not a valid module"},
      {{"check", Lang("PavoRmenu.dll"), Path("corrupt.dll")}, Path("corrupt.dll")},
      {{"strings", "NoSuchObject"}, "NoSuchObject"},
      {{"strings", Lang("PavoRmenu.dll"), "4242"}, "no string 4242"},
      {{"config", "get", "NoSuchValue"}, "Software\\PavoRm51: no value 'NoSuchValue'"},
      {{"config", "get", "x", "--section", "NoSection"}, "Software\\PavoRm51\\NoSection: no such key"},
      {{"config", "delete", "NoSuchValue"}, "NoSuchValue"},
      {{"config", "import", Path("missing.reg")}, Path("missing.reg")},
      {{"xml", "check", Path("notxml.xml")}, Path("notxml.xml") + ":1:7: end tag 'a' does not match 'b'"},
      {{"ref", "show", Path("notxml.xml")}, "not a reference document"},
      {{"config", "list", "--hive", home_}, "is a directory"},
  };
  for (const Case& c : cases) {
    const ToolRun r = Run(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0] << ' ' << c.args[1];
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("pavorm: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
  }
}

TEST_F(Tool, UsageErrorsExitWith2AndEveryCommandHasHelp) {
  const std::vector<std::vector<std::string>> bad = {
      {"frobnicate"},
      {"strings"},
      {"strings", "PavoRm", "--bogus"},
      {"strings", "PavoRm", "notanumber"},
      {"strings", "PavoRm", "70000"},
      {"strings", "PavoRm", "--lang"},
      {"config", "rename", "a"},
      {"config", "set", "onlyname"},
      {"languages", "add", "toolong"},
      {"check", Lang("PavoRmenu.dll")},
      {"ref", "new", "out.xml", "--file", "a.tif", "--inet", "http://x"},
      {"ref", "new", "out.xml", "--file", "a.tif", "--frame", "-1"},
      {"xml", "check"},
      {"demo", "extra"},
      {"export", Lang("PavoRmenu.dll")},
      {"export", Lang("PavoRmenu.dll"), "-o", "x.po", "--lang", "xx-QQ-1"},
      {"pseudo", Lang("PavoRmenu.dll"), "-o", "x.bin"},
      {"build", "x.po", "--format", "rc", "-o", "x.dll"},
  };
  for (const auto& args : bad) {
    const ToolRun r = Run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_EQ(r.out, "");
  }
  for (const char* cmd : {"demo", "strings", "languages", "config", "check", "ref", "xml", "export", "build", "pseudo"}) {
    const ToolRun r = Run({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_EQ(r.out.rfind(std::string("usage: pavorm ") + cmd, 0), 0u) << r.out;
  }
  EXPECT_EQ(Run({"--help"}).status, 0);
  // A bare call shows the usage (on standard error: it is still a usage error).
  const ToolRun bare = Run({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.out, "");
  EXPECT_EQ(bare.err.rfind("usage: pavorm ", 0), 0u) << bare.err;
  EXPECT_NE(bare.err.find("  config get|set"), std::string::npos) << bare.err;
}

TEST_F(Tool, ConventionsOfTheShell) {
  const ToolRun version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("pavorm (PavoRm51) ", 0), 0u) << version.out;
  // Global options before the command are the command's own.
  ASSERT_EQ(Run({"config", "set", "Where", "here", "--hive", Path("other.hive")}).status, 0);
  const ToolRun before = Run({"--hive", Path("other.hive"), "config", "get", "Where"});
  EXPECT_EQ(before.out, "here\n") << before.err;
  EXPECT_EQ(Run({"--hive=" + Path("other.hive"), "--json", "languages"}).out.rfind("{\"languages\": [", 0), 0u);
  // Each sub-command has a help of its own.
  const std::string get = Run({"config", "get", "--help"}).out;
  EXPECT_EQ(get.rfind("usage: pavorm config get NAME", 0), 0u) << get;
  EXPECT_NE(get, Run({"config", "--help"}).out);
  const ToolRun frob = Run({"languages", "frobnicate"});
  EXPECT_EQ(frob.status, 2);
  EXPECT_NE(frob.err.find("unknown command 'frobnicate'"), std::string::npos) << frob.err;
  // Options that cannot apply are refused, not ignored.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"ref", "new", "o.xml", "--inet", "http://x/a", "--frame", "2"},
        {"ref", "new", "o.xml", "--inet", "not a url"}, {"ref", "new", "o.xml", "--inet", "://x"}}) {
    EXPECT_EQ(Run(args).status, 2) << args.back();
  }
  EXPECT_EQ(Run({"ref", "new", "-", "--inet", "https://example.org/a.tif"}).status, 0);
}

TEST_F(Tool, CheckGoesOnAfterAnUnreadableModuleAndSumsUp) {
  const ToolRun r = Run({"check", Lang("PavoRmenu.dll"), Path("missing.dll"), Lang("PavoRmdeu.dll")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pavorm: " + Path("missing.dll") + ": No such file or directory"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find(Lang("PavoRmdeu.dll") + ": 1 problem(s) (16 strings"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 modules: 0 ok, 1 with problems, 1 unreadable\n"), std::string::npos) << r.out;
  const ToolRun json = Run({"check", Lang("PavoRmenu.dll"), Path("missing.dll"), "--json"});
  EXPECT_NE(json.out.find("\"readable\": false"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"summary\": {\"modules\": 1, \"ok\": 0, \"with_problems\": 0, \"unreadable\": 1}"),
            std::string::npos) << json.out;
}

TEST_F(Tool, ALargeFileThatIsNoReferenceDocumentIsRefusedInLittleMemory) {
#ifdef PAVORM_TOOL_TEST_ASAN
  GTEST_SKIP() << "address-space limits do not apply under AddressSanitizer";
#else
  std::string big = "<doc>";
  while (big.size() < 40u << 20) big += "<item a=\"1\">some text</item>\n";
  Write("big.xml", big + "</doc>");
  addressLimit_ = 400u << 20;  // ten times the file; it used to take eighteen
  const ToolRun r = Run({"ref", "show", Path("big.xml")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a reference document"), std::string::npos) << r.err;
#endif
}

}  // namespace
