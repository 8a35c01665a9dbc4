// .reg import on arbitrary bytes; whatever was imported must export to a file
// that imports again.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"

namespace {

HKEY ScratchHive() {
  static HKEY root = [] {
    char tmpl[] = "/tmp/pavorm-fuzz-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (dir == nullptr) abort();
    const std::string path = std::string(dir) + "/fuzz.hive";
    const std::u16string wide(path.begin(), path.end());
    HKEY key = nullptr;
    if (RegLoadAppKeyW(wide.c_str(), &key, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
    return key;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HKEY root = ScratchHive();
  const std::vector<pavo::reg::RegFileRoot> roots = {{u"HKEY_CURRENT_USER", root}};
  if (pavo::reg::ImportRegText(data, size, roots) == ERROR_SUCCESS) {
    for (auto format : {pavo::reg::RegFileFormat::kVersion5, pavo::reg::RegFileFormat::kRegedit4}) {
      std::string text;
      if (pavo::reg::ExportRegText(root, u"HKEY_CURRENT_USER", format, &text) != ERROR_SUCCESS) {
        abort();
      }
      if (pavo::reg::ImportRegText(text.data(), text.size(), roots) != ERROR_SUCCESS) abort();
    }
  }
  RegDeleteTreeW(root, nullptr);
  return 0;
}
