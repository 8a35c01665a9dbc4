#include "tools/module_strings.h"

#include <iostream>
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

// "string block 3 (ids 32-47), language 1031 (deu)" and the like.
std::string DamagePlace(const pavo::ResourceDamage& d) {
  using pavo::ResourceDamage;
  auto number = [](uint32_t v) { return std::to_string(v); };
  std::string where;
  if (d.type == ResourceDamage::kNone) return "the resource directory";
  const bool strings = d.type == pavo::kRtString;
  if (d.name == ResourceDamage::kNone) {
    where = d.type == ResourceDamage::kNamed ? "a named resource type" : strings ? "the string tables" : "resource type " + number(d.type);
  } else if (strings && d.name != ResourceDamage::kNamed && d.name >= 1 && d.name <= pavo::kMaxStringBlock) {
    const uint32_t first = (d.name - 1) * 16;
    where = "string block " + number(d.name) + " (ids " + number(first) + "-" + number(first + 15) + ")";
  } else {
    where = (d.type == ResourceDamage::kNamed ? std::string("a resource of a named type") : "resource type " + number(d.type)) +
            (d.name == ResourceDamage::kNamed ? ", a named resource" : ", name " + number(d.name));
  }
  if (d.language != ResourceDamage::kNone) {
    if (d.language == ResourceDamage::kNamed) {
      where += ", a named language";
    } else {
      const LanguageName* l = FindLanguage(static_cast<unsigned short>(d.language));
      where += ", language " + number(d.language) + (l != nullptr ? " (" + std::string(l->name) + ")" : "");
    }
  }
  return where;
}

std::string DamageText(const pavo::ResourceDamage& d) {
  using Kind = pavo::ResourceDamageKind;
  switch (d.kind) {
    case Kind::kSectionCut:
      return "section " + std::to_string(d.detail + 1) + " runs past the end of the file (the file is cut short)";
    case Kind::kDirectoryOutside:
      return DamagePlace(d) + ": its directory lies outside the resource section";
    case Kind::kDirectoryLoop:
      return DamagePlace(d) + ": links back to a directory above it";
    case Kind::kDirectoryShared:
      return DamagePlace(d) + ": links to a directory another entry already uses";
    case Kind::kEntriesUnsorted:
      return DamagePlace(d) + ": entries out of order (lookups may miss some)";
    case Kind::kWrongEntryKind:
      return DamagePlace(d) + ": a directory where data belongs, or data where a directory belongs";
    case Kind::kDataEntryOutside:
      return DamagePlace(d) + ": its data entry lies outside the resource section";
    case Kind::kDataOutside:
      return DamagePlace(d) + ": its data lies (partly) outside the file";
    case Kind::kDataMisaligned:
      return DamagePlace(d) + ": its data starts at an odd address";
    case Kind::kStringPastBlock: {
      const uint32_t id = d.name >= 1 ? (d.name - 1) * 16 + d.detail : d.detail;
      return DamagePlace(d) + ": the length of string " + std::to_string(id) +
             " runs past the end of its block (it and the strings after it in the block are lost)";
    }
  }
  return DamagePlace(d) + ": damaged";
}

}  // namespace

std::vector<std::string> DescribeDamage(HMODULE module, size_t limit) {
  std::vector<std::string> out;
  const pavo::PeImage* image = pavo::ModuleImage(module);
  if (image == nullptr || limit == 0) return out;
  std::vector<pavo::ResourceDamage> damage;
  // One more than shown tells whether more follow.
  if (image->CheckResources(&damage, limit + 1)) return out;
  for (size_t i = 0; i < damage.size() && i < limit; ++i) out.push_back("damaged module: " + DamageText(damage[i]));
  if (damage.size() > limit) out.push_back("damaged module: more damage not listed");
  if (out.empty()) out.push_back("damaged module");
  return out;
}

bool ReportDamage(HMODULE module, const std::string& name) {
  const std::vector<std::string> lines = DescribeDamage(module);
  std::cout.flush();
  for (const std::string& line : lines) std::cerr << "pavorm: " << name << ": " << line << '\n';
  return !lines.empty();
}

ModuleFile::ModuleFile(const std::string& path) : path_(path) {
  std::string reason;
  if (path == "-") {
    // Modules are mapped from files: standard input goes to a private one first.
    const std::string bytes = ReadFile("-");
    if (bytes.empty()) Fail("standard input", "an empty file, not a module");
    temporary_ = WriteTemporaryFile(bytes, &reason);
    if (temporary_.empty()) Fail("standard input", "cannot keep it in a temporary file: " + reason);
    SetLastError(ERROR_SUCCESS);
    module_ = LoadLibraryExW(Wide(temporary_).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module_ == nullptr) {
      const DWORD e = GetLastError();
      RemoveFile(temporary_);
      temporary_.clear();
      Fail("standard input", e == ERROR_BAD_EXE_FORMAT ? "not a valid module (corrupt or not a PE file)"
                                                       : "cannot load the module (error " + std::to_string(e) + ")");
    }
    return;
  }
  const FileKind kind = KindOf(path, &reason);
  if (kind == FileKind::kNone) Fail(path, reason);
  if (kind == FileKind::kDirectory) Fail(path, "is a directory, not a module");
  // Told before loading, in words: the loader's error would be ERROR_FILE_INVALID.
  if (kind == FileKind::kRegular && FileSize(path) == 0) Fail(path, "an empty file, not a module");
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
  if (!temporary_.empty()) RemoveFile(temporary_);
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
    const std::string number = std::to_string(lang);
    if (!out.empty()) out += ", ";
    out += l != nullptr ? std::string(l->name) + " (" + number + ")" : number;
  });
  return out;
}

}  // namespace pavorm_tool
