// pavorm config and pavorm languages: the configuration hive that the
// registry information object reads (installed languages as sub-keys,
// configured files as values of the key, settings in section sub-keys).
#include <cstdio>
#include <iostream>
#include <utility>

#include "platform/win/registry_reg_file.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/registry_info.h"
#include "tools/tool_context.h"

namespace pavorm_tool {
namespace {

const char kConfigHelp[] =
    "usage: pavorm config COMMAND ...\n"
    "\n"
    "Reads and changes the configuration hive of the library.\n"
    "  get NAME [--section S]         print a value (of the key, or of a section)\n"
    "  set NAME VALUE [--section S]   store a value; NAME = a resource object's name\n"
    "                                 with an empty section configures its language file\n"
    "  delete NAME [--section S]      remove a value\n"
    "  delete --section S             remove a section with everything in it\n"
    "  list                           the key, its values and sub-keys as a tree\n"
    "  import FILE.reg                apply a .reg file (HKEY_CURRENT_USER and\n"
    "                                 HKEY_LOCAL_MACHINE both stand for the hive)\n"
    "  export FILE.reg [--regedit4]   write the key as a .reg file ('-': standard output)\n"
    "  --hive FILE, --key PATH        which hive file and key path\n";

const char kLanguagesHelp[] =
    "usage: pavorm languages [add LLL | remove LLL]\n"
    "\n"
    "Lists the installed languages (the sub-keys of the configuration key) with the\n"
    "library's module for each in the language directory; add and remove install and\n"
    "uninstall one.\n"
    "  --hive FILE, --key PATH, --lang-dir DIR\n";

std::string JoinKey(const std::string& base, const std::string& sub) {
  return sub.empty() ? base : base + "\\" + sub;
}

// A key opened below the hive's root, closed when destroyed.
class OpenKey {
 public:
  OpenKey(HKEY root, const std::string& path, REGSAM access, bool create = false) {
    const pavo::WideString wide = Wide(path);
    if (create) {
      WCHAR cls[] = WTEXT("PavoRm");
      rc_ = RegCreateKeyExW(root, wide.c_str(), 0, cls, 0, access, nullptr, &key_, nullptr);
    } else {
      rc_ = RegOpenKeyExW(root, wide.c_str(), 0, access, &key_);
    }
    if (rc_ != ERROR_SUCCESS) key_ = nullptr;
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  LSTATUS status() const { return rc_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS rc_ = ERROR_SUCCESS;
};

void RequireKey(const OpenKey& key, const std::string& path, const ToolContext& context) {
  if (key.get() != nullptr) return;
  if (key.status() == ERROR_FILE_NOT_FOUND) Fail(path, "no such key in " + context.hivePath);
  Fail(path, RegistryErrorText(key.status()));
}

// A value's data for display: strings as text, numbers in decimal, other data as hex.
std::string ShowValue(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    const size_t units = size / 2;
    pavo::WideString text(units, 0);
    for (size_t i = 0; i < units; ++i) text[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
    while (!text.empty() && text.back() == 0) text.pop_back();
    for (WCHAR& c : text) {
      if (c == 0) c = WTEXT('|');  // REG_MULTI_SZ separators
    }
    return OneLine(Utf8(text));
  }
  if (type == REG_DWORD && size == 4) {
    const unsigned long v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned long>(data[3]) << 24);
    return "(dword) " + std::to_string(v);
  }
  std::string out = "(type " + std::to_string(type) + ", " + std::to_string(size) + " bytes)";
  for (DWORD i = 0; i < size && i < 32; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, " %02x", data[i]);
    out += buf;
  }
  return out + (size > 32 ? " ..." : "");
}

void ListTree(HKEY root, const std::string& path, const ToolContext& context) {
  // An explicit stack keeps deep hives from growing the call stack.
  std::vector<std::pair<std::string, int>> pending = {{path, 0}};
  bool first = true;
  while (!pending.empty()) {
    const auto [keyPath, depth] = pending.back();
    pending.pop_back();
    const OpenKey key(root, keyPath, KEY_READ);
    if (first) RequireKey(key, keyPath, context);
    first = false;
    if (key.get() == nullptr) continue;
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    const size_t slash = keyPath.rfind('\\');
    std::cout << indent << (depth == 0 ? keyPath : keyPath.substr(slash + 1)) << "\\\n";
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
      Fail(keyPath, "cannot read the key");
    }
    std::vector<WCHAR> name(static_cast<size_t>(maxName) + 1);
    std::vector<BYTE> data(static_cast<size_t>(maxData) + 2);
    for (DWORD i = 0;; ++i) {
      DWORD nameLen = static_cast<DWORD>(name.size());
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      const LSTATUS rc = RegEnumValueW(key.get(), i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) continue;
      const std::string shownName = nameLen == 0 ? std::string("(default)") : Utf8(name.data(), nameLen);
      std::cout << indent << "  " << shownName << " = " << ShowValue(type, data, size) << '\n';
    }
    std::vector<std::string> subKeys;
    DWORD subCount = 0, maxSub = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subCount, &maxSub, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    std::vector<WCHAR> sub(static_cast<size_t>(maxSub) + 1);
    for (DWORD i = 0; i < subCount; ++i) {
      if (RegEnumKeyW(key.get(), i, sub.data(), static_cast<DWORD>(sub.size())) != ERROR_SUCCESS) continue;
      subKeys.push_back(keyPath + "\\" + Utf8(sub.data()));
    }
    for (auto it = subKeys.rbegin(); it != subKeys.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
}

std::vector<pavo::reg::RegFileRoot> HiveRoots(HKEY hive) {
  std::vector<pavo::reg::RegFileRoot> roots;
  for (const WCHAR* name : {WTEXT("HKEY_CURRENT_USER"), WTEXT("HKCU"), WTEXT("HKEY_LOCAL_MACHINE"), WTEXT("HKLM")}) {
    roots.push_back({pavo::WideString(name), hive});
  }
  return roots;
}

int ConfigGet(ToolContext& context, const Args& args) {
  args.ExpectPositionals(2, 2);
  HiveKey hive = context.OpenHive();
  const std::string path = JoinKey(context.keyPath, args.Get("--section"));
  const OpenKey key(hive.get(), path, KEY_READ);
  RequireKey(key, path, context);
  const std::string& name = args.Positionals()[1];
  const pavo::WideString wideName = Wide(name);
  DWORD type = 0, size = 0;
  LSTATUS rc = RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) Fail(path, "no value '" + name + "'");
  if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
  std::vector<BYTE> data(static_cast<size_t>(size) + 2);
  rc = RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &type, data.data(), &size);
  if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
  std::cout << ShowValue(type, data, size) << '\n';
  return 0;
}

int ConfigSet(ToolContext& context, const Args& args) {
  args.ExpectPositionals(3, 3);
  const std::string& name = args.Positionals()[1];
  if (name.empty()) UsageError("config", "a value needs a name");
  HiveKey hive = context.OpenHive();
  RegistryInfo info(context, hive.get());
  const std::string section = args.Get("--section");
  if (info->WriteValue(PavoRmCString(Wide(section).c_str()), PavoRmCString(Wide(name).c_str()),
                       PavoRmCString(Wide(args.Positionals()[2]).c_str())) == 0) {
    Fail(JoinKey(context.keyPath, section), "cannot write '" + name + "'");
  }
  return 0;
}

int ConfigDelete(ToolContext& context, const Args& args) {
  args.ExpectPositionals(1, 2);
  const std::string section = args.Get("--section");
  HiveKey hive = context.OpenHive();
  if (args.Positionals().size() == 1) {
    if (section.empty()) UsageError("config", "delete needs a value name or --section");
    const std::string path = JoinKey(context.keyPath, section);
    const OpenKey base(hive.get(), context.keyPath, KEY_ALL_ACCESS);
    RequireKey(base, context.keyPath, context);
    const LSTATUS rc = RegDeleteTreeW(base.get(), Wide(section).c_str());
    if (rc == ERROR_FILE_NOT_FOUND) Fail(path, "no such key");
    if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
    const LSTATUS rc2 = RegDeleteKeyW(base.get(), Wide(section).c_str());
    if (rc2 != ERROR_SUCCESS && rc2 != ERROR_FILE_NOT_FOUND) Fail(path, RegistryErrorText(rc2));
    return 0;
  }
  const std::string path = JoinKey(context.keyPath, section);
  const OpenKey key(hive.get(), path, KEY_ALL_ACCESS);
  RequireKey(key, path, context);
  const std::string& name = args.Positionals()[1];
  const LSTATUS rc = RegDeleteValueW(key.get(), Wide(name).c_str());
  if (rc == ERROR_FILE_NOT_FOUND) Fail(path, "no value '" + name + "'");
  if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
  return 0;
}

int ConfigImport(ToolContext& context, const Args& args) {
  args.ExpectPositionals(2, 2);
  const std::string& file = args.Positionals()[1];
  ReadFile(file);  // a clear error for a missing or unreadable file
  HiveKey hive = context.OpenHive();
  size_t line = 0;
  const LONG rc = pavo::reg::ImportRegFile(Wide(file).c_str(), HiveRoots(hive.get()), &line);
  if (rc == ERROR_INVALID_DATA && line > 0) Fail(file + ":" + std::to_string(line), "malformed line, nothing imported");
  if (rc == ERROR_BAD_FORMAT) Fail(file, "not a .reg file (it must start with 'Windows Registry Editor Version 5.00' or 'REGEDIT4')");
  if (rc != ERROR_SUCCESS) Fail(file, RegistryErrorText(rc));
  return 0;
}

int ConfigExport(ToolContext& context, const Args& args) {
  args.ExpectPositionals(2, 2);
  const std::string& file = args.Positionals()[1];
  HiveKey hive = context.OpenHive();
  const OpenKey key(hive.get(), context.keyPath, KEY_READ);
  RequireKey(key, context.keyPath, context);
  const auto format = args.Has("--regedit4") ? pavo::reg::RegFileFormat::kRegedit4
                                              : pavo::reg::RegFileFormat::kVersion5;
  const pavo::WideString name = Wide("HKEY_CURRENT_USER\\" + context.keyPath);
  std::string text;
  const LONG rc = pavo::reg::ExportRegText(key.get(), name.c_str(), format, &text);
  if (rc != ERROR_SUCCESS) Fail(context.keyPath, "cannot export: " + RegistryErrorText(rc));
  WriteFile(file, text);
  return 0;
}

}  // namespace

int RunConfig(const ArgList& argv) {
  const Args args("config", argv, {{"--section", true}, {"--regedit4", false}, kHiveOption, kKeyOption});
  if (args.WantsHelp()) {
    std::cout << kConfigHelp;
    return 0;
  }
  if (args.Positionals().empty()) UsageError("config", "missing command (get, set, delete, list, import, export)");
  ToolContext context = ToolContext::FromArgs(args);
  const std::string& sub = args.Positionals()[0];
  if (sub == "get") return ConfigGet(context, args);
  if (sub == "set") return ConfigSet(context, args);
  if (sub == "delete") return ConfigDelete(context, args);
  if (sub == "import") return ConfigImport(context, args);
  if (sub == "export") return ConfigExport(context, args);
  if (sub == "list") {
    args.ExpectPositionals(1, 1);
    HiveKey hive = context.OpenHive();
    ListTree(hive.get(), context.keyPath, context);
    return 0;
  }
  UsageError("config", "unknown command '" + sub + "'");
}

int RunLanguages(const ArgList& argv) {
  const Args args("languages", argv, {kHiveOption, kKeyOption, kLangDirOption});
  if (args.WantsHelp()) {
    std::cout << kLanguagesHelp;
    return 0;
  }
  args.ExpectPositionals(0, 2);
  ToolContext context = ToolContext::FromArgs(args);
  const auto& pos = args.Positionals();
  if (!pos.empty()) {
    if (pos.size() != 2) UsageError("languages", "'" + pos[0] + "' needs a language name");
    const std::string& lang = pos[1];
    if (lang.size() != 3 || lang.find_first_of("\\/.") != std::string::npos) {
      UsageError("languages", "'" + lang + "' is not a three-letter language name");
    }
    HiveKey hive = context.OpenHive();
    if (pos[0] == "add") {
      const OpenKey key(hive.get(), JoinKey(context.keyPath, lang), KEY_ALL_ACCESS, true);
      RequireKey(key, JoinKey(context.keyPath, lang), context);
      return 0;
    }
    if (pos[0] == "remove") {
      const OpenKey base(hive.get(), context.keyPath, KEY_ALL_ACCESS);
      RequireKey(base, context.keyPath, context);
      const LSTATUS rc = RegDeleteTreeW(base.get(), Wide(lang).c_str());
      if (rc == ERROR_FILE_NOT_FOUND) Fail(JoinKey(context.keyPath, lang), "language not installed");
      if (rc != ERROR_SUCCESS) Fail(JoinKey(context.keyPath, lang), RegistryErrorText(rc));
      RegDeleteKeyW(base.get(), Wide(lang).c_str());
      return 0;
    }
    UsageError("languages", "unknown command '" + pos[0] + "'");
  }
  HiveKey hive = context.OpenHive();
  RegistryInfo info(context, hive.get());
  const std::vector<std::string> languages = info.Languages();
  const std::vector<std::string> modules = LanguagesWithModules(context.languageDir, "PavoRm");
  for (const std::string& lang : languages) {
    const LanguageName* known = FindLanguage(lang);
    std::string name = known != nullptr ? known->english : "(not a language name)";
    name.resize(std::max<size_t>(name.size(), 24), ' ');
    bool hasModule = false;
    for (const std::string& m : modules) hasModule = hasModule || m == lang;
    std::cout << lang << "  " << name << "  "
              << (hasModule ? "PavoRm" + lang + ".dll" : std::string("(no module: English is used)")) << '\n';
  }
  std::cout << "language directory: " << (context.languageDir.empty() ? "(none)" : context.languageDir) << '\n';
  return 0;
}

}  // namespace pavorm_tool
