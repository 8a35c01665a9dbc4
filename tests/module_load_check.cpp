// Loads a language module the way a host loads it, with LoadLibraryExW and
// LoadStringW, and compares every string with a reference module's:
//
//   module_load_check MODULE.dll REFERENCE.dll
//
// Built for Windows it asks the system's loader (Wine's in CI) whether a module
// written by `pavorm build` is a module Windows takes; built for Linux, the
// library's stand-ins. Each module is loaded as an image (flags 0), as a data
// file and as an image resource; every string id present in either module
// must give the same text from both. Exit status 0 when they agree, 1 when
// they differ or a module does not load, 2 on a usage error.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win/last_error.h"
#include "platform/win/modules.h"
#include "platform/win/resources.h"
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// LoadStringW's read-only view of string id (bufferMax 0); empty when absent.
std::wstring Text(HMODULE module, UINT id) {
  const WCHAR* text = nullptr;
  const int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return std::wstring();
  std::wstring out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<wchar_t>(text[i]));
  return out;
}

std::vector<WCHAR> Wide(const char* path) {
  std::vector<WCHAR> out;
  for (const char* p = path; *p != 0; ++p) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*p)));
  out.push_back(0);
  return out;
}

std::string Shown(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c) & 0xFFFF);
      out += buf;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: module_load_check MODULE.dll REFERENCE.dll\n");
    return 2;
  }
  const std::vector<WCHAR> modulePath = Wide(argv[1]);
  const std::vector<WCHAR> referencePath = Wide(argv[2]);
  HMODULE reference = LoadLibraryExW(referencePath.data(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (reference == nullptr) {
    std::fprintf(stderr, "%s: the reference does not load (error %lu)\n", argv[2],
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  const struct {
    DWORD flags;
    const char* name;
  } kLoads[] = {{0, "as an image"},
                {LOAD_LIBRARY_AS_DATAFILE, "as a data file"},
                {LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE, "as an image resource"}};
  int failures = 0;
  unsigned strings = 0;
  for (const auto& load : kLoads) {
    HMODULE module = LoadLibraryExW(modulePath.data(), nullptr, load.flags);
    if (module == nullptr) {
      std::fprintf(stderr, "%s: does not load %s (error %lu)\n", argv[1], load.name,
                   static_cast<unsigned long>(GetLastError()));
      ++failures;
      continue;
    }
    strings = 0;
    for (UINT id = 0; id <= 0xFFFF; ++id) {
      const std::wstring mine = Text(module, id);
      const std::wstring theirs = Text(reference, id);
      if (!theirs.empty()) ++strings;
      if (mine == theirs) continue;
      if (++failures <= 20) {
        std::fprintf(stderr, "%s: string %u loaded %s: \"%s\", the reference has \"%s\"\n", argv[1], id, load.name,
                     Shown(mine).c_str(), Shown(theirs).c_str());
      }
    }
    FreeLibrary(module);
  }
  FreeLibrary(reference);
  if (strings == 0) {
    std::fprintf(stderr, "%s: the reference has no strings: nothing was compared\n", argv[2]);
    return 1;
  }
  if (failures != 0) return 1;
  std::printf("%s: %u strings, the same as %s, loaded in all three ways\n", argv[1], strings, argv[2]);
  return 0;
}
