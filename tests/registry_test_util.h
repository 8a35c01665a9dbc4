// Shared helpers of the registry tests: scratch folders and short calls.
#ifndef PAVORM_TESTS_REGISTRY_TEST_UTIL_H
#define PAVORM_TESTS_REGISTRY_TEST_UTIL_H

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win/paths.h"
#include "platform/win/registry.h"
#include "platform/win/wide_text.h"
#include "portable_test_support.h"

namespace regtest {

// A fresh folder, removed with its files (and, on Windows, the scratch keys
// that stood in for its hives) at the end of the scope.
class ScratchDir {
 public:
  ScratchDir() : dir_("pavorm-reg") {}
  ~ScratchDir() { ForgetScratchKeys(dir_.Path()); }
  std::string File(const char* name) const { return dir_.File(name); }

  // Scratch keys under HKEY_CURRENT_USER made for hives in folder `dir`.
  static std::vector<std::pair<std::string, pavo::WideString>>& ScratchKeys() {
    static std::vector<std::pair<std::string, pavo::WideString>> keys;
    return keys;
  }

 private:
  static void ForgetScratchKeys(const std::string& dir) {
    auto& keys = ScratchKeys();
    for (auto it = keys.begin(); it != keys.end();) {
      if (it->first.compare(0, dir.size(), dir) != 0) {
        ++it;
        continue;
      }
#ifdef _WIN32
      RegDeleteTreeW(HKEY_CURRENT_USER, it->second.c_str());
#endif
      it = keys.erase(it);
    }
  }
  portable::ScratchDir dir_;
};

inline pavo::WideString W(const std::string& s) { return pavo::WideFromUtf8(s.data(), s.size()); }

// Opens the hive file at path as a root key. Wine's RegLoadAppKeyW is a
// stub (success and a handle that every call refuses): there a key under
// HKEY_CURRENT_USER named after the file stands in, made on first use and
// deleted with its ScratchDir.
inline LONG LoadHive(const std::string& path, HKEY* out, REGSAM sam = KEY_ALL_ACCESS) {
  const LONG rc = RegLoadAppKeyW(W(path).c_str(), out, sam, 0, 0);
#ifdef _WIN32
  if (rc != ERROR_SUCCESS || !portable::RunningUnderWine()) return rc;
  DWORD subKeys = 0;
  if (RegQueryInfoKeyW(*out, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS)
    return rc;
  RegCloseKey(*out);
  pavo::WideString name = W("Software\\PavoRm51 tests\\");
  for (char c : path) name.push_back(c == '/' || c == '\\' || c == ':' ? WTEXT('_') : static_cast<WCHAR>(static_cast<unsigned char>(c)));
  ScratchDir::ScratchKeys().emplace_back(path.substr(0, path.find_last_of('/')), name);
  return RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, sam, nullptr, out, nullptr);
#else
  return rc;
#endif
}

inline LONG SetSz(HKEY key, const WCHAR* name, const pavo::WideString& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * 2));
}

// The value's bytes, or the error code in *rc.
inline std::vector<BYTE> Get(HKEY key, const WCHAR* name, LONG* rc, DWORD* type = nullptr) {
  DWORD size = 0;
  *rc = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
  std::vector<BYTE> data(size);
  if (*rc != ERROR_SUCCESS || size == 0) return std::vector<BYTE>();
  *rc = RegQueryValueExW(key, name, nullptr, type, data.data(), &size);
  data.resize(size);
  return data;
}

inline std::string ReadFile(const std::string& path) { return portable::ReadWholeFile(path); }

inline void WriteFile(const std::string& path, const std::string& bytes) { portable::WriteWholeFile(path, bytes); }

}  // namespace regtest

#endif
