// The tool's own file-system work: the default hive's folder, module files
// told from resource-object names, language modules found in a folder, and
// the system's reason in failures.
#include <sys/stat.h>

#include <filesystem>

#include "tool_test_support.h"

namespace {

using ToolPaths = ToolTest;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

TEST_F(ToolPaths, TheDefaultHiveFolderIsMadeForTheUserAlone) {
  ASSERT_EQ(Run({"languages"}).status, 0);
  EXPECT_EQ(ModeOf(Path("data")), 0700u);
  EXPECT_EQ(ModeOf(Path("data/pavorm")), 0700u);
  EXPECT_NE(ModeOf(Path("data/pavorm/config.hive")), 0u);

  // A folder that cannot be made: one line with the system's reason.
  std::error_code removed;
  ASSERT_GT(std::filesystem::remove_all(Path("data"), removed), 0u) << removed.message();
  Write("data", "a file where the folder should be");
  const ToolRun blocked = Run({"languages"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "pavorm: " + Path("data") + "/pavorm: cannot create the folder: Not a directory\n");
}

TEST_F(ToolPaths, ModuleFilesAreToldFromObjectNamesByExtensionOrFile) {
  const std::string english = Slurp(Lang("PavoRmenu.dll"));
  ASSERT_FALSE(english.empty());
  Write("COPY.DLL", english);    // an extension in any case makes a file
  Write("plainfile", english);   // a regular file by that name is one too
  ASSERT_EQ(::mkdir(Path("PavoRm").c_str(), 0700), 0);  // a folder is not: the object's name
  const std::string expected = Run({"strings", Lang("PavoRmenu.dll"), "28504"}).out;
  ASSERT_NE(expected, "");
  for (const char* module : {"COPY.DLL", "plainfile", "PavoRm"}) {
    const ToolRun r = Run({"strings", module, "28504", "--lang", "enu"});
    EXPECT_EQ(r.status, 0) << module << ": " << r.err;
    EXPECT_EQ(r.out, expected) << module;
  }
  const ToolRun json = Run({"strings", "PavoRm", "28504", "--json"});
  EXPECT_NE(json.out.find("\"file\": \"" + Lang("PavoRmenu.dll") + "\""), std::string::npos) << json.out;
}

TEST_F(ToolPaths, LanguageModulesAreStemThreeLettersAndDllInAnyCase) {
  const std::string english = Slurp(Lang("PavoRmenu.dll"));
  ASSERT_EQ(::mkdir(Path("lang").c_str(), 0700), 0);
  for (const char* name : {"PavoRmenu.dll", "PavoRmita.DLL", "PavoRmdeu.dll.bak", "PavoRmxx.dll", "pavormfra.dll"}) {
    Write(std::string("lang/") + name, english);
  }
  ASSERT_EQ(::mkdir(Path("lang/PavoRmnld.dll").c_str(), 0700), 0);  // named like one, listed like one
  const ToolRun r = Run({"languages", "--lang-dir", Path("lang")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "enu  English (United States)   PavoRmenu.dll\n"
            "ita  Italian                   PavoRmita.dll\n"
            "nld  Dutch                     PavoRmnld.dll\n"
            "language directory: " + Path("lang") + "\n");
}

TEST_F(ToolPaths, FailuresToReadAFileGiveTheSystemsReason) {
  ASSERT_EQ(::mkdir(Path("folder.dll").c_str(), 0700), 0);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"strings", Path("missing.dll")}, Path("missing.dll") + ": No such file or directory"},
      {{"strings", Path("folder.dll")}, Path("folder.dll") + ": is a directory, not a module"},
      {{"config", "import", Path("missing.reg")}, Path("missing.reg") + ": No such file or directory"},
      {{"xml", "check", Path("folder.dll")}, Path("folder.dll") + ": is a directory"},
  };
  for (const auto& c : cases) {
    const ToolRun r = Run(c.args);
    EXPECT_EQ(r.status, 1) << c.args[1];
    EXPECT_EQ(r.err, "pavorm: " + c.err + "\n");
  }
}

}  // namespace
