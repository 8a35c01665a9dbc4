// Runs the built pavorm binary as a user would: in a fresh temporary home
// (HOME and XDG_DATA_HOME inside it, no PAVORM_* settings), capturing
// standard output, standard error and the exit status.
#ifndef PAVORM_TESTS_TOOL_TEST_SUPPORT_H
#define PAVORM_TESTS_TOOL_TEST_SUPPORT_H

#include <fcntl.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct ToolRun {
  int status = -1;
  std::string out, err;
  // Lines of standard error (the tool promises one per failure).
  size_t ErrLines() const {
    size_t n = 0;
    for (char c : err) n += c == '\n';
    return n;
  }
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pavorm-tool-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
  }
  void TearDown() override {
    const std::string cmd = "rm -rf '" + home_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // stdinFile: a file in the home to read as standard input ("": none).
  ToolRun Run(const std::vector<std::string>& args, const std::string& stdinFile = "") const {
    ToolRun r;
    const std::string outPath = home_ + "/.stdout", errPath = home_ + "/.stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      if (!stdinFile.empty()) {
        const int in = open((home_ + "/" + stdinFile).c_str(), O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0) _exit(125);
      }
      const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(o, 1);
      dup2(e, 2);
      if (chdir(home_.c_str()) != 0) _exit(126);
      setenv("HOME", home_.c_str(), 1);
      setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
      for (const char* v : {"PAVORM_HIVE", "PAVORM_KEY", "PAVORM_LANGUAGE_DIR", "PAVORM_HKCU_HIVE", "PAVORM_HKLM_HIVE"}) {
        unsetenv(v);
      }
      setenv("LANG", "C.UTF-8", 1);
      if (addressLimit_ != 0) {
        const struct rlimit limit = {addressLimit_, addressLimit_};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(124);
      }
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(PAVORM_TOOL_PATH));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(PAVORM_TOOL_PATH, argv.data());
      _exit(127);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(home_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string Path(const std::string& name) const { return home_ + "/" + name; }
  static std::string Lang(const std::string& file) { return std::string(PAVORM_LANGUAGE_DIR) + "/" + file; }
  static std::string TestModule(const std::string& file) { return std::string(PAVORM_TEST_MODULE_DIR) + "/" + file; }

  std::string home_;
  rlim_t addressLimit_ = 0;  // the tool's address space in bytes (0: no limit)
};

// Address-space limits mean nothing under AddressSanitizer (it reserves
// terabytes of shadow memory up front).
#if defined(__SANITIZE_ADDRESS__)
#define PAVORM_TOOL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAVORM_TOOL_TEST_ASAN 1
#endif
#endif

#endif
