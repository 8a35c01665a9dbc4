// Shared helpers of the registry tests: scratch folders and short calls.
#ifndef PAVORM_TESTS_REGISTRY_TEST_UTIL_H
#define PAVORM_TESTS_REGISTRY_TEST_UTIL_H

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win/paths.h"
#include "platform/win/registry.h"

namespace regtest {

// A fresh folder under /tmp, removed with its files at the end of the scope.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/pavorm-reg-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path_ = made != nullptr ? made : "/tmp";
  }
  ~ScratchDir() {
    const std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline pavo::WideString W(const std::string& s) { return pavo::WideFromUtf8(s.data(), s.size()); }

inline LONG LoadHive(const std::string& path, HKEY* out, REGSAM sam = KEY_ALL_ACCESS) {
  return RegLoadAppKeyW(W(path).c_str(), out, sam, 0, 0);
}

inline LONG SetSz(HKEY key, const char16_t* name, const pavo::WideString& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * 2));
}

// The value's bytes, or the error code in *rc.
inline std::vector<BYTE> Get(HKEY key, const char16_t* name, LONG* rc, DWORD* type = nullptr) {
  DWORD size = 0;
  *rc = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
  std::vector<BYTE> data(size);
  if (*rc != ERROR_SUCCESS || size == 0) return std::vector<BYTE>();
  *rc = RegQueryValueExW(key, name, nullptr, type, data.data(), &size);
  data.resize(size);
  return data;
}

inline std::string ReadFile(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

}  // namespace regtest

#endif
