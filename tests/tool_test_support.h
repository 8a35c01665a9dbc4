// Runs the built pavorm binary as a user would: in a fresh temporary home
// (HOME, XDG_DATA_HOME and, for Windows, LOCALAPPDATA inside it, no PAVORM_*
// settings), capturing standard output, standard error and the exit status.
#ifndef PAVORM_TESTS_TOOL_TEST_SUPPORT_H
#define PAVORM_TESTS_TOOL_TEST_SUPPORT_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "portable_test_support.h"

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
    ASSERT_TRUE(scratch_.Made());
    home_ = scratch_.Path();
  }

  // stdinFile: a file in the home to read as standard input ("": none).
  ToolRun Run(const std::vector<std::string>& args, const std::string& stdinFile = "") const {
    portable::ProcessOptions options;
    options.workDir = home_;
    if (!stdinFile.empty()) options.stdinFile = home_ + "/" + stdinFile;
    options.setEnv = {{"HOME", home_},
                      {"XDG_DATA_HOME", home_ + "/data"},
                      {"XDG_CONFIG_HOME", home_ + "/config"},
                      {"LOCALAPPDATA", home_ + "/data"},
                      {"LANG", "C.UTF-8"}};
    options.addressLimit = addressLimit_;
    options.unsetEnv = {"PAVORM_HIVE", "PAVORM_KEY", "PAVORM_LANGUAGE_DIR", "PAVORM_HKCU_HIVE", "PAVORM_HKLM_HIVE"};
    const portable::ProcessRun run = portable::RunProcess(PAVORM_TOOL_PATH, args, options);
    ToolRun r;
    r.status = run.status;
    r.out = run.out;
    r.err = WithoutAppHiveNotice(run.err);
    return r;
  }

  // Wine cannot load application hives: the tool then says, on every run,
  // that it keeps the hive's keys in the user's registry. That line is
  // Wine's, not the command's; on Windows and Linux it never appears.
  static std::string WithoutAppHiveNotice(const std::string& err) {
    if (!portable::RunningUnderWine()) return err;
    std::string kept;
    for (size_t at = 0; at < err.size();) {
      size_t end = err.find('\n', at);
      end = end == std::string::npos ? err.size() : end + 1;
      const std::string line = err.substr(at, end - at);
      if (line.find(": this system does not load application hives; using HKEY_CURRENT_USER\\") == std::string::npos) {
        kept += line;
      }
      at = end;
    }
    return kept;
  }

  static std::string Slurp(const std::string& path) { return portable::ReadWholeFile(path); }
  void Write(const std::string& name, const std::string& bytes) const {
    portable::WriteWholeFile(home_ + "/" + name, bytes);
  }
  std::string Path(const std::string& name) const { return home_ + "/" + name; }
  static std::string Lang(const std::string& file) { return std::string(PAVORM_LANGUAGE_DIR) + "/" + file; }
  static std::string TestModule(const std::string& file) { return std::string(PAVORM_TEST_MODULE_DIR) + "/" + file; }

  portable::ScratchDir scratch_{"pavorm-tool"};
  std::string home_;
  unsigned long long addressLimit_ = 0;  // the tool's address space in bytes (0: no limit)
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
