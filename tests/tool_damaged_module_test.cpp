// pavorm strings and check on a language module cut short inside its
// resource data: the damage is told on standard error with the block and
// language, the intact strings are still shown, and the exit status is 1.
#include "tool_test_support.h"

namespace {

using Tool = ToolTest;

TEST_F(Tool, CutModuleIsToldDamagedAndIntactStringsStayShown) {
  const std::string whole = Slurp(Lang("PavoRmdeu.dll"));
  ASSERT_GT(whole.size(), 2500u);
  const ToolRun intact = Run({"strings", Lang("PavoRmdeu.dll")});
  ASSERT_EQ(intact.status, 0) << intact.err;
  EXPECT_EQ(intact.err, "");
  // Cut inside the last strings: the earlier ones are whole.
  Write("cut.dll", whole.substr(0, 2500));
  const ToolRun strings = Run({"strings", Path("cut.dll")});
  EXPECT_EQ(strings.status, 1);
  EXPECT_NE(strings.err.find(Path("cut.dll") + ": damaged module: "), std::string::npos) << strings.err;
  EXPECT_NE(strings.err.find("runs past the end of the file"), std::string::npos) << strings.err;
  EXPECT_NE(strings.err.find("string block 1782 (ids 28496-28511), language 1031"), std::string::npos) << strings.err;
  ASSERT_FALSE(strings.out.empty());
  // Every line shown is a line of the intact module.
  size_t start = 0;
  while (start < strings.out.size()) {
    const size_t end = strings.out.find('\n', start);
    const std::string line = strings.out.substr(start, end - start + 1);
    EXPECT_NE(intact.out.find(line), std::string::npos) << line;
    start = end + 1;
  }

  const ToolRun check = Run({"check", Lang("PavoRmenu.dll"), Path("cut.dll")});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.err.find("damaged module: "), std::string::npos);
  EXPECT_NE(check.out.find("problem(s)"), std::string::npos);
  // The whole module still checks clean.
  const ToolRun clean = Run({"check", Lang("PavoRmenu.dll"), Lang("PavoRmdeu.dll")});
  EXPECT_EQ(clean.err.find("damaged"), std::string::npos);
}

}  // namespace
