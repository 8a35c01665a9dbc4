#include "tools/tool_context.h"

#include <algorithm>
#include <iostream>

#include "tools/tool_files.h"

namespace pavorm_tool {
namespace {

const LanguageName kLanguages[] = {
    {"enu", 0x0409, "English (United States)"}, {"eng", 0x0809, "English (United Kingdom)"},
    {"deu", 0x0407, "German"},                  {"des", 0x0807, "German (Switzerland)"},
    {"fra", 0x040C, "French"},                  {"frb", 0x080C, "French (Belgium)"},
    {"ita", 0x0410, "Italian"},                 {"esn", 0x0C0A, "Spanish"},
    {"nld", 0x0413, "Dutch"},                   {"ptb", 0x0416, "Portuguese (Brazil)"},
    {"ptg", 0x0816, "Portuguese"},              {"sve", 0x041D, "Swedish"},
    {"dan", 0x0406, "Danish"},                  {"nor", 0x0414, "Norwegian"},
    {"fin", 0x040B, "Finnish"},                 {"plk", 0x0415, "Polish"},
    {"csy", 0x0405, "Czech"},                   {"hun", 0x040E, "Hungarian"},
    {"rus", 0x0419, "Russian"},                 {"ell", 0x0408, "Greek"},
    {"trk", 0x041F, "Turkish"},                 {"jpn", 0x0411, "Japanese"},
    {"kor", 0x0412, "Korean"},                  {"chs", 0x0804, "Chinese (Simplified)"},
    {"cht", 0x0404, "Chinese (Traditional)"},
    // Windows' pseudo-locales qps-ploc and qps-plocm (see pavorm pseudo).
    {"qps", 0x0501, "Pseudo-language"},         {"qpm", 0x09FF, "Pseudo-language (mirrored)"},
};

std::string DefaultHivePath() {
  const std::string base = UserDataDirectory();
  return base.empty() ? std::string() : base + "/pavorm/config.hive";
}

std::string DefaultLanguageDir() {
#ifdef PAVORM_TOOL_INSTALLED_LANGUAGE_DIR
  // An installed tool: bin/pavorm and share/PavoRm51/lang under one prefix.
  const std::string exeDir = ExecutableDirectory();
  if (!exeDir.empty()) {
    const std::string installed = exeDir + "/" + PAVORM_TOOL_INSTALLED_LANGUAGE_DIR;
    if (IsDirectory(installed)) return installed;
  }
#endif
#ifdef PAVORM_TOOL_BUILD_LANGUAGE_DIR
  return PAVORM_TOOL_BUILD_LANGUAGE_DIR;
#else
  return std::string();
#endif
}

}  // namespace

HiveKey::~HiveKey() {
  if (key_ != nullptr) RegCloseKey(key_);
}

ToolContext ToolContext::FromArgs(const Args& args) {
  ToolContext c;
  c.hivePath = args.Get("--hive", EnvironmentValue("PAVORM_HIVE"));
  if (c.hivePath.empty()) {
    c.hivePath = DefaultHivePath();
    c.defaultHive = true;
  }
  if (c.hivePath.empty()) Fail("hive", std::string("no place for it: set ") + kUserDataVariables + " or PAVORM_HIVE");
  c.keyPath = args.Get("--key", EnvironmentValue("PAVORM_KEY"));
  if (c.keyPath.empty()) c.keyPath = "Software\\PavoRm51";
  // Key paths are relative to the hive's root, as Windows takes them.
  if (c.keyPath.front() == '\\' || c.keyPath.back() == '\\' || c.keyPath.find("\\\\") != std::string::npos) {
    UsageError(args.Command(), "key path '" + c.keyPath +
                                   "' must name keys below the hive's root, without a leading, trailing or double "
                                   "backslash (such as Software\\PavoRm51)");
  }
  c.languageDir = args.Get("--lang-dir", EnvironmentValue("PAVORM_LANGUAGE_DIR"));
  if (c.languageDir.empty()) c.languageDir = DefaultLanguageDir();
  while (c.languageDir.size() > 1 && c.languageDir.back() == '/') c.languageDir.pop_back();
  return c;
}

std::string ToolContext::LanguageDirWithSlash() const {
  // The information object ends the directory with a backslash itself; the
  // file stand-ins read it as '/'.
  return languageDir;
}

std::string DisplayPath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

#if defined(_WIN32)
namespace {

// Wine 8's RegLoadAppKeyW succeeds without loading anything: its handle
// fails every call. Windows' own handle answers a query of the key.
bool AppKeyWorks(HKEY root) {
  DWORD subKeys = 0;
  return RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr) != ERROR_INVALID_HANDLE;
}

// Where a hive file's keys live when the system cannot load application
// hives: a key of the user's registry named after the file.
HKEY FallbackHiveKey(const std::string& hivePath, bool* existed) {
  std::string name = "Software\\PavoRm51 hives\\";
  for (const char c : hivePath) name += c == '\\' || c == '/' ? '|' : c;
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &key, &disposition);
  if (rc != ERROR_SUCCESS) Fail(hivePath, "cannot open the hive's stand-in key: " + RegistryErrorText(rc));
  *existed = disposition == REG_OPENED_EXISTING_KEY;
  std::cout.flush();
  std::cerr << "pavorm: " << hivePath << ": this system does not load application hives; using HKEY_CURRENT_USER\\"
            << name << " instead\n";
  return key;
}

}  // namespace
#endif

HiveKey ToolContext::OpenHive() {
  const FileKind kind = KindOf(hivePath);
  // An empty file is a hive not set up yet (a placeholder made by a script).
  bool existed = kind != FileKind::kNone && !(kind == FileKind::kRegular && FileSize(hivePath) == 0);
  if (kind == FileKind::kDirectory) Fail(hivePath, "is a directory, not a hive file");
  if (!existed && defaultHive) {
    const size_t slash = hivePath.rfind('/');
    if (slash != std::string::npos && slash > 0) {
      const std::string folder = hivePath.substr(0, slash);
      const std::string reason = MakeDirectories(folder);
      if (!reason.empty()) Fail(folder, "cannot create the folder: " + reason);
    }
  }
  HKEY root = nullptr;
  const LSTATUS rc = RegLoadAppKeyW(Wide(hivePath).c_str(), &root, KEY_ALL_ACCESS, 0, 0);
  if (rc != ERROR_SUCCESS) Fail(hivePath, "cannot open the hive: " + RegistryErrorText(rc));
#if defined(_WIN32)
  if (!AppKeyWorks(root)) {
    RegCloseKey(root);
    root = FallbackHiveKey(hivePath, &existed);
  }
#endif
  HiveKey hive(root);
  // A new hive gets the library's key with the languages that have modules,
  // so that a first run finds a working configuration.
  if (!existed) {
    hiveCreated = true;
    std::vector<std::string> langs = LanguagesWithModules(languageDir, "PavoRm");
    if (std::find(langs.begin(), langs.end(), "enu") == langs.end()) langs.insert(langs.begin(), "enu");
    for (const std::string& lang : langs) {
      const pavo::WideString sub = Wide(keyPath + "\\" + lang);
      HKEY k = nullptr;
      WCHAR cls[] = WTEXT("PavoRm");
      const LSTATUS c = RegCreateKeyExW(root, sub.c_str(), 0, cls, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
      if (c != ERROR_SUCCESS) Fail(hivePath, "cannot write the hive: " + RegistryErrorText(c));
      RegCloseKey(k);
    }
  }
  return hive;
}

const LanguageName* FindLanguage(const std::string& name) {
  for (const LanguageName& l : kLanguages) {
    if (EqualsIgnoringAsciiCase(l.name, name)) return &l;
  }
  return nullptr;
}

const LanguageName* FindLanguage(unsigned short langId) {
  for (const LanguageName& l : kLanguages) {
    if (l.langId == langId) return &l;
  }
  for (const LanguageName& l : kLanguages) {
    if ((l.langId & 0x3FF) == (langId & 0x3FF)) return &l;
  }
  return nullptr;
}

std::vector<std::string> LanguagesWithModules(const std::string& dir, const std::string& stem) {
  std::vector<std::string> out;
  for (const std::string& name : ListDirectory(dir)) {
    // stem + three letters + ".dll", the letters compared as given.
    if (name.size() != stem.size() + 7) continue;
    if (name.compare(0, stem.size(), stem) != 0) continue;
    if (!EqualsIgnoringAsciiCase(name.substr(stem.size() + 3), ".dll")) continue;
    out.push_back(name.substr(stem.size(), 3));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string RegistryErrorText(long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_PATH_NOT_FOUND: return "path not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_BAD_FORMAT: return "not a .reg file (no header)";
    case ERROR_INVALID_DATA: return "malformed data";
    case ERROR_BADDB: return "not a hive file, or a damaged one";
    case ERROR_CANTOPEN: return "cannot open";
    case ERROR_CANTREAD: return "cannot read";
    case ERROR_CANTWRITE: return "cannot write";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "out of memory";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_BUSY: return "busy";
    case ERROR_BAD_PATHNAME: return "bad key path";
    default: return "error " + std::to_string(code);
  }
}

}  // namespace pavorm_tool
