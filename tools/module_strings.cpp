#include "tools/module_strings.h"

#include <cstdio>
#include <set>

#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"
#include "platform/win/module_table.h"
#include "platform/win/resources.h"
#include "tools/cli_args.h"
#include "tools/tool_context.h"
#include "tools/tool_files.h"

namespace pavorm_tool {
namespace {

// LoadLibraryExW gives a file name without an extension ".dll"; a trailing
// dot means "no extension" (on Windows as well), so the file named is the one
// loaded. The module stand-ins read '\\' as '/'.
std::string ExactModuleName(const std::string& path) {
  const size_t lastName = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (lastName == std::string::npos || dot > lastName)) return path;
  return path + ".";
}

}  // namespace

ModuleFile::ModuleFile(const std::string& path) : path_(path) {
  std::string reason;
  const FileKind kind = KindOf(path, &reason);
  if (kind == FileKind::kNone) Fail(path, reason);
  if (kind == FileKind::kDirectory) Fail(path, "is a directory, not a module");
  SetLastError(ERROR_SUCCESS);
  module_ = LoadLibraryExW(Wide(ExactModuleName(path)).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module_ != nullptr) return;
  const DWORD e = GetLastError();
  if (e == ERROR_BAD_EXE_FORMAT) Fail(path, "not a valid module (corrupt or not a PE file)");
  if (e == ERROR_FILE_NOT_FOUND || e == ERROR_MOD_NOT_FOUND) Fail(path, "no such file");
  Fail(path, "cannot load the module (error " + std::to_string(e) + ")");
}

ModuleFile::~ModuleFile() {
  if (module_ != nullptr) FreeLibrary(module_);
}

StringTable ReadStringTable(HMODULE module, unsigned short uiLanguage) {
  StringTable table;
  const pavo::PeImage* image = pavo::ModuleImage(module);
  if (image == nullptr) return table;
  std::set<unsigned> ids;
  image->ForEachString([&](UINT id, WORD, const BYTE*, size_t) { ids.insert(id); });
  const LANGID lang = uiLanguage != 0 ? uiLanguage : GetThreadUILanguage();
  for (const unsigned id : ids) {
    const WCHAR* text = nullptr;
    size_t length = 0;
    if (image->FindString(id, lang, &text, &length) != ERROR_SUCCESS || length == 0) continue;
    table[id] = pavo::WideString(text, length);
  }
  return table;
}

std::string StringTableLanguages(HMODULE module) {
  std::string out;
  const pavo::PeImage* image = pavo::ModuleImage(module);
  if (image == nullptr) return out;
  std::set<unsigned> seen;
  image->ForEachString([&](UINT, WORD lang, const BYTE*, size_t) {
    if (!seen.insert(lang).second) return;
    const LanguageName* l = FindLanguage(static_cast<unsigned short>(lang));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(lang));
    if (!out.empty()) out += ", ";
    out += l != nullptr ? std::string(l->name) + " (" + buf + ")" : std::string(buf);
  });
  return out;
}

}  // namespace pavorm_tool
