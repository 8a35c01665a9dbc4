// Helpers of the module tests: paths of the modules the build makes, and an
// independent reading of their string tables through llvm-readobj.
#ifndef PAVORM_TESTS_MODULE_TEST_SUPPORT_H
#define PAVORM_TESTS_MODULE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/module_table.h"
#include "platform/win/win_types.h"
#include "platform/win/wide_text.h"
#include "portable_test_support.h"

// Expects n references of a loaded module. Windows does not tell a module's
// reference count, so there the check is left out.
#ifdef _WIN32
#define PAVORM_EXPECT_REFERENCES(module, n) ((void)(module), (void)(n))
#else
#define PAVORM_EXPECT_REFERENCES(module, n) EXPECT_EQ(::pavo::ModuleReferenceCount(module), static_cast<unsigned>(n))
#endif

namespace test {

inline std::string TestModule(const char* name) { return std::string(PAVORM_TEST_MODULE_DIR "/") + name; }
inline std::string LanguageModule(const char* name) { return std::string(PAVORM_LANGUAGE_DIR "/") + name; }

inline pavo::WideString Wide(const std::string& s) {
  pavo::WideString out;
  for (unsigned char c : s) out.push_back(c);
  return out;
}

inline std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);  // UTF-8 names on Windows too
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// (language, id) -> text of every non-empty string-table entry, as
// `llvm-readobj --coff-resources` shows the module.
using StringTable = std::map<std::pair<unsigned, unsigned>, pavo::WideString>;

// Why llvm-readobj cannot be run by this process, or "" when it can. It is
// a Linux program: Linux and Wine start it, Windows itself does not, so the
// tests that compare with it skip there with this reason.
inline const std::string& ReadobjUnavailable() {
  static const std::string reason = [] {
    const portable::ProcessRun run = portable::RunProcess(portable::HostProgram(PAVORM_LLVM_READOBJ), {"--version"});
    if (run.status == 0) return std::string();
    return std::string("llvm-readobj (" PAVORM_LLVM_READOBJ ") cannot be started from this process (status ") +
           std::to_string(run.status) + ")";
  }();
  return reason;
}

#define PAVORM_NEED_READOBJ()                                                          \
  do {                                                                                 \
    if (!::test::ReadobjUnavailable().empty()) GTEST_SKIP() << ::test::ReadobjUnavailable(); \
  } while (0)

inline StringTable ReadObjStrings(const std::string& dll) {
  StringTable table;
  const portable::ProcessRun run =
      portable::RunProcess(portable::HostProgram(PAVORM_LLVM_READOBJ), {"--coff-resources", portable::HostPath(dll)});
  if (run.status != 0) return table;
  const std::string& text = run.out;

  std::istringstream lines(text);
  std::string line;
  bool inStrings = false;
  unsigned block = 0, language = 0;
  std::vector<unsigned char> data;
  auto flush = [&] {
    size_t pos = 0;
    for (unsigned k = 0; k < 16 && pos + 2 <= data.size(); ++k) {
      const size_t len = data[pos] | (data[pos + 1] << 8);
      pos += 2;
      pavo::WideString s;
      for (size_t i = 0; i < len && pos + 1 < data.size(); ++i, pos += 2) {
        s.push_back(static_cast<WCHAR>(data[pos] | (data[pos + 1] << 8)));
      }
      if (!s.empty()) table[{language, (block - 1) * 16 + k}] = s;
    }
    data.clear();
  };
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    const std::string t = line.substr(start);
    if (t.rfind("Type: ", 0) == 0) inStrings = t.find("(ID 6)") != std::string::npos;
    if (!inStrings) continue;
    if (t.rfind("Name: (ID ", 0) == 0) block = static_cast<unsigned>(std::stoul(t.substr(10)));
    if (t.rfind("Language: (ID ", 0) == 0) language = static_cast<unsigned>(std::stoul(t.substr(14)));
    if (t == ")") flush();
    // Data lines: a hex offset (four digits, more past 64 KiB), ": ", words, "|text|".
    const size_t colon = t.find(": ");
    const bool offset = colon >= 4 && colon != std::string::npos &&
                        t.find_first_not_of("0123456789ABCDEFabcdef") == colon;
    if (offset && t.find('|') != std::string::npos) {
      std::istringstream words(t.substr(colon + 2, t.find('|') - colon - 2));
      std::string word;
      while (words >> word) {
        for (size_t i = 0; i + 1 < word.size(); i += 2) {
          data.push_back(static_cast<unsigned char>(std::stoul(word.substr(i, 2), nullptr, 16)));
        }
      }
    }
  }
  return table;
}

}  // namespace test

#endif
