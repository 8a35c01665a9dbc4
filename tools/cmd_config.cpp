// pavorm config and pavorm languages: the configuration hive that the
// registry information object reads (installed languages as sub-keys,
// configured files as values of the key, settings in section sub-keys).
// Values are shown as stored, the way `reg query` shows them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <utility>

#include "platform/win/registry_reg_file.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/progress.h"
#include "tools/registry_info.h"
#include "tools/tool_context.h"
#include "tools/tool_files.h"

namespace pavorm_tool {
namespace {

const char kConfigHelp[] =
    "usage: pavorm config COMMAND ... (pavorm config COMMAND --help for each)\n"
    "\n"
    "Reads and changes the configuration hive of the library.\n"
    "  get NAME [--section S] [--type]    print a value as stored\n"
    "  set NAME VALUE [--section S] [--type T]   store a value; NAME = a resource\n"
    "                                     object's name with no section configures\n"
    "                                     its language file\n"
    "  delete NAME [--section S]          remove a value\n"
    "  delete --section S                 remove a section with everything in it\n"
    "  list [--json]                      the key, its values and sub-keys as a tree\n"
    "  import FILE.reg                    apply a .reg file ('-': standard input)\n"
    "  export FILE.reg [--regedit4]       write the key as a .reg file ('-': standard output)\n"
    "  --hive FILE, --key PATH            which hive file and key path\n";

const char kGetHelp[] =
    "usage: pavorm config get NAME [--section S] [--type] [--json]\n"
    "\n"
    "Prints the value NAME of the key (or of its section S) as stored: a string\n"
    "(REG_SZ, REG_EXPAND_SZ) as it is, a number (REG_DWORD, REG_QWORD) in\n"
    "decimal, a multi-string (REG_MULTI_SZ) one string a line, other data as hex\n"
    "digits. --type prints the type (REG_SZ, ...) on a line before the value;\n"
    "--json prints {\"name\", \"type\", \"value\"}.\n";

const char kSetHelp[] =
    "usage: pavorm config set NAME VALUE [--section S] [--type T]\n"
    "       pavorm config set NAME --type multi [VALUE...] [--section S]\n"
    "\n"
    "Stores VALUE as NAME in the key (or in its section S, made when missing).\n"
    "  --type sz       a string (the default), written as the library writes it\n"
    "  --type expand   a string with %VARIABLES% (REG_EXPAND_SZ)\n"
    "  --type dword    a number from 0 to 4294967295 (decimal, or hex with 0x)\n"
    "  --type qword    a number from 0 to 18446744073709551615\n"
    "  --type multi    each VALUE one string of a REG_MULTI_SZ\n"
    "  --type binary   hex digits, pairs optionally separated by spaces, ',' or ':'\n";

const char kDeleteHelp[] =
    "usage: pavorm config delete NAME [--section S]\n"
    "       pavorm config delete --section S\n"
    "\n"
    "Removes the value NAME of the key (or of its section S), or the section S\n"
    "with all it holds.\n";

const char kListHelp[] =
    "usage: pavorm config list [--json]\n"
    "\n"
    "Prints the key with its values and sub-keys as a tree, one value a line:\n"
    "NAME, its type and its value (control characters as \\xNN; a multi-string's\n"
    "parts joined by \\0). A key that does not exist lists nothing.\n"
    "--json prints {\"hive\", \"keys\": [{\"path\", \"values\": [{\"name\", \"type\",\n"
    "\"value\"}]}]}, every key of the tree in order.\n";

const char kImportHelp[] =
    "usage: pavorm config import FILE.reg\n"
    "\n"
    "Applies a .reg file ('-': standard input): \"Windows Registry Editor Version\n"
    "5.00\" in UTF-16 (with or without byte-order mark) or UTF-8, or REGEDIT4.\n"
    "HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (HKCU, HKLM) both stand for the\n"
    "hive; other roots are refused. Nothing is changed when any line is wrong.\n";

const char kExportHelp[] =
    "usage: pavorm config export FILE.reg [--regedit4]\n"
    "\n"
    "Writes the key and everything below it as a .reg file ('-': standard\n"
    "output), version 5 (UTF-16) or, with --regedit4, REGEDIT4 (Windows-1252).\n";

const char kLanguagesHelp[] =
    "usage: pavorm languages [add LLL | remove LLL] [--json]\n"
    "\n"
    "Lists the installed languages (the sub-keys of the configuration key) with the\n"
    "library's module for each in the language directory; add and remove install and\n"
    "uninstall one. Sub-keys that are no language name (settings sections) are\n"
    "listed apart: the library counts them as languages too.\n"
    "  --json   {\"languages\": [{\"name\", \"language\", \"module\"}], \"sections\": [...],\n"
    "           \"language_directory\"}\n"
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

// A listing of a key that does not exist is empty; the note tells a
// mistyped --key from an empty configuration.
void NoteMissingKey(const ToolContext& context) {
  std::cerr << "pavorm: note: no key " << context.keyPath << " in " << context.hivePath << ": nothing to list\n";
}

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct TypeName {
  DWORD type;
  const char* name;
  const char* option;  // for config set --type; null when it cannot be set
};
const TypeName kTypes[] = {
    {REG_NONE, "REG_NONE", nullptr},          {REG_SZ, "REG_SZ", "sz"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", "expand"}, {REG_BINARY, "REG_BINARY", "binary"},
    {REG_DWORD, "REG_DWORD", "dword"},        {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", nullptr},
    {REG_LINK, "REG_LINK", nullptr},          {REG_MULTI_SZ, "REG_MULTI_SZ", "multi"},
    {REG_QWORD, "REG_QWORD", "qword"},
};

std::string TypeText(DWORD type) {
  for (const TypeName& t : kTypes) {
    if (t.type == type) return t.name;
  }
  return "REG_" + std::to_string(type);  // as reg shows a type it has no name for
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The UTF-16 units of a string value, without the terminators at its end.
pavo::WideString Units(const std::vector<BYTE>& data) {
  pavo::WideString text(data.size() / 2, 0);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

// The strings of a REG_MULTI_SZ.
std::vector<std::string> Parts(const std::vector<BYTE>& data) {
  const pavo::WideString text = Units(data);
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != 0) continue;
    parts.push_back(Utf8(text.data() + start, i - start));
    start = i + 1;
  }
  return parts;
}

bool IsNumber(const Value& v) {
  return (v.type == REG_DWORD && v.data.size() == 4) || (v.type == REG_QWORD && v.data.size() == 8);
}

unsigned long long Number(const Value& v) {
  unsigned long long n = 0;
  for (size_t i = v.data.size(); i-- > 0;) n = (n << 8) | v.data[i];
  return n;
}

std::string Hex(const std::vector<BYTE>& data) {
  std::string out;
  char buf[4];
  for (const BYTE b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    out += buf;
  }
  return out;
}

// The value as config get prints it (multi-strings one a line).
std::string ValueText(const Value& v) {
  if (v.type == REG_MULTI_SZ) {
    std::string out;
    for (const std::string& part : Parts(v.data)) out += part + "\n";
    return out;
  }
  if (IsText(v.type)) return Utf8(Units(v.data)) + "\n";
  if (IsNumber(v)) return std::to_string(Number(v)) + "\n";
  return Hex(v.data) + "\n";
}

// The value on one listing line.
std::string ValueLine(const Value& v) {
  if (v.type == REG_MULTI_SZ) {
    std::string out;
    const std::vector<std::string> parts = Parts(v.data);
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "\\0" : "") + ShownOnLine(parts[i]);
    return out;
  }
  if (IsText(v.type)) return ShownOnLine(Utf8(Units(v.data)));
  if (IsNumber(v)) return std::to_string(Number(v));
  return Hex(v.data);
}

std::string ValueJson(const Value& v) {
  std::string out = "{\"name\": " + JsonString(v.name) + ", \"type\": " + JsonString(TypeText(v.type)) + ", \"value\": ";
  if (v.type == REG_MULTI_SZ) {
    const std::vector<std::string> parts = Parts(v.data);
    out += "[";
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? ", " : "") + JsonString(parts[i]);
    out += "]";
  } else if (IsText(v.type)) {
    out += JsonString(Utf8(Units(v.data)));
  } else if (IsNumber(v)) {
    out += std::to_string(Number(v));
  } else {
    out += JsonString(Hex(v.data));
  }
  return out + "}";
}

// The values of an open key, in the registry's order.
std::vector<Value> ReadValues(HKEY key, const std::string& path) {
  DWORD maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    Fail(path, "cannot read the key");
  }
  std::vector<WCHAR> name(static_cast<size_t>(maxName) + 1);
  std::vector<BYTE> data(static_cast<size_t>(maxData) + 2);
  std::vector<Value> values;
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS rc = RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) Fail(path, "cannot read value " + std::to_string(i) + ": " + RegistryErrorText(rc));
    Value v;
    v.name = Utf8(name.data(), nameLen);
    v.type = type;
    v.data.assign(data.begin(), data.begin() + std::min<size_t>(size, data.size()));
    values.push_back(std::move(v));
  }
  return values;
}

// The names of an open key's sub-keys, in the registry's order.
std::vector<std::string> ReadSubKeys(HKEY key, const std::string& path) {
  DWORD subCount = 0, maxSub = 0;
  const LSTATUS info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subCount, &maxSub, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
  if (info != ERROR_SUCCESS) Fail(path, "cannot read the key: " + RegistryErrorText(info));
  std::vector<WCHAR> sub(static_cast<size_t>(maxSub) + 1);
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    const LSTATUS rc = RegEnumKeyW(key, i, sub.data(), static_cast<DWORD>(sub.size()));
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) Fail(path, "cannot read sub-key " + std::to_string(i) + ": " + RegistryErrorText(rc));
    names.push_back(Utf8(sub.data()));
  }
  return names;
}

struct ListedKey {
  std::string path;
  int depth;
  std::vector<Value> values;
};

// The key and every key below it, depth first; empty when the key does not exist.
std::vector<ListedKey> ReadTree(HKEY root, const std::string& path) {
  std::vector<ListedKey> out;
  // An explicit stack keeps deep hives from growing the call stack.
  std::vector<std::pair<std::string, int>> pending = {{path, 0}};
  while (!pending.empty()) {
    const auto [keyPath, depth] = pending.back();
    pending.pop_back();
    const OpenKey key(root, keyPath, KEY_READ);
    if (key.get() == nullptr) {
      if (key.status() == ERROR_FILE_NOT_FOUND) continue;  // gone, or never made
      Fail(keyPath, RegistryErrorText(key.status()));
    }
    out.push_back({keyPath, depth, ReadValues(key.get(), keyPath)});
    const std::vector<std::string> subKeys = ReadSubKeys(key.get(), keyPath);
    for (auto it = subKeys.rbegin(); it != subKeys.rend(); ++it) pending.emplace_back(keyPath + "\\" + *it, depth + 1);
  }
  return out;
}

void PrintTree(const std::vector<ListedKey>& keys, const ToolContext& context, bool json) {
  if (json) {
    std::cout << "{\"hive\": " << JsonString(context.hivePath) << ", \"keys\": [";
    for (size_t k = 0; k < keys.size(); ++k) {
      std::cout << (k ? ",\n  " : "\n  ") << "{\"path\": " << JsonString(keys[k].path) << ", \"values\": [";
      for (size_t i = 0; i < keys[k].values.size(); ++i) std::cout << (i ? ", " : "") << ValueJson(keys[k].values[i]);
      std::cout << "]}";
    }
    std::cout << (keys.empty() ? "]}\n" : "\n]}\n");
    return;
  }
  for (const ListedKey& key : keys) {
    const std::string indent(static_cast<size_t>(key.depth) * 2, ' ');
    const size_t slash = key.path.rfind('\\');
    std::cout << indent << (key.depth == 0 ? key.path : key.path.substr(slash + 1)) << "\\\n";
    size_t nameWidth = 0, typeWidth = 0;
    for (const Value& v : key.values) {
      nameWidth = std::max(nameWidth, v.name.empty() ? 9 : ShownOnLine(v.name).size());
      typeWidth = std::max(typeWidth, TypeText(v.type).size());
    }
    for (const Value& v : key.values) {
      std::string name = v.name.empty() ? std::string("(default)") : ShownOnLine(v.name);
      std::string type = TypeText(v.type);
      name.resize(std::max(name.size(), nameWidth), ' ');
      type.resize(std::max(type.size(), typeWidth), ' ');
      std::cout << indent << "  " << name << "  " << type << "  " << ValueLine(v) << '\n';
    }
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
  Value v;
  v.name = args.Positionals()[1];
  const pavo::WideString wideName = Wide(v.name);
  DWORD size = 0;
  LSTATUS rc = RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &v.type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) Fail(path, "no value '" + v.name + "'");
  if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
  v.data.resize(static_cast<size_t>(size) + 2);
  rc = RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &v.type, v.data.data(), &size);
  if (rc != ERROR_SUCCESS) Fail(path, RegistryErrorText(rc));
  v.data.resize(std::min<size_t>(size, v.data.size()));
  if (args.Has("--json")) {
    std::cout << ValueJson(v) << '\n';
    return 0;
  }
  if (args.Has("--type")) std::cout << TypeText(v.type) << '\n';
  std::cout << ValueText(v);
  return 0;
}

// An unsigned number in decimal or with 0x in hex, at most max.
unsigned long long ParseUnsigned(const std::string& text, unsigned long long max) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const size_t start = hex ? 2 : 0;
  const unsigned base = hex ? 16 : 10;
  unsigned long long value = 0;
  if (text.size() == start) UsageError("config", "'" + text + "' is not a number");
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) UsageError("config", "'" + text + "' is not a number");
    if (value > (max - static_cast<unsigned>(digit)) / base) {
      UsageError("config", "'" + text + "' is larger than " + std::to_string(max));
    }
    value = value * base + static_cast<unsigned>(digit);
  }
  return value;
}

std::vector<BYTE> ParseHex(const std::string& text) {
  std::vector<BYTE> out;
  int high = -1;
  for (const char c : text) {
    if (c == ' ' || c == ',' || c == ':') {
      if (high >= 0) UsageError("config", "hex digits of binary data go in pairs: '" + text + "'");
      continue;
    }
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) UsageError("config", "'" + text + "' is not hex digits");
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<BYTE>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) UsageError("config", "hex digits of binary data go in pairs: '" + text + "'");
  return out;
}

void AppendUnits(const pavo::WideString& text, std::vector<BYTE>* out) {
  for (const WCHAR c : text) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  out->push_back(0);
  out->push_back(0);
}

int ConfigSet(ToolContext& context, const Args& args) {
  const std::string typeOption = args.Get("--type", "sz");
  const TypeName* type = nullptr;
  for (const TypeName& t : kTypes) {
    if (t.option != nullptr && typeOption == t.option) type = &t;
  }
  if (type == nullptr) UsageError("config", "--type '" + typeOption + "' is none of sz, expand, dword, qword, multi, binary");
  if (type->type == REG_MULTI_SZ) {
    args.ExpectPositionals(2, static_cast<size_t>(-1));
  } else {
    args.ExpectPositionals(3, 3);
  }
  const std::string& name = args.Positionals()[1];
  if (name.empty()) UsageError("config", "a value needs a name");
  const std::string section = args.Get("--section");
  std::vector<BYTE> data;
  switch (type->type) {
    case REG_SZ: {
      HiveKey hive = context.OpenHive();
      RegistryInfo info(context, hive.get());
      // Strings go through the information object: the library's own writer.
      if (info->WriteValue(PavoRmCString(Wide(section).c_str()), PavoRmCString(Wide(name).c_str()),
                           PavoRmCString(Wide(args.Positionals()[2]).c_str())) == 0) {
        Fail(JoinKey(context.keyPath, section), "cannot write '" + name + "'");
      }
      return 0;
    }
    case REG_EXPAND_SZ: AppendUnits(Wide(args.Positionals()[2]), &data); break;
    case REG_MULTI_SZ:
      for (size_t i = 2; i < args.Positionals().size(); ++i) {
        if (args.Positionals()[i].empty()) UsageError("config", "a multi-string holds no empty string");
        const pavo::WideString part = Wide(args.Positionals()[i]);
        AppendUnits(part, &data);
      }
      data.push_back(0);
      data.push_back(0);
      break;
    case REG_DWORD:
    case REG_QWORD: {
      const size_t bytes = type->type == REG_DWORD ? 4 : 8;
      unsigned long long v = ParseUnsigned(args.Positionals()[2], bytes == 4 ? 0xFFFFFFFFull : ~0ull);
      for (size_t i = 0; i < bytes; ++i, v >>= 8) data.push_back(static_cast<BYTE>(v & 0xFF));
      break;
    }
    default: data = ParseHex(args.Positionals()[2]); break;
  }
  if (data.size() > 0xFFFFFFFFu) Fail(name, "value too large");
  HiveKey hive = context.OpenHive();
  const std::string path = JoinKey(context.keyPath, section);
  const OpenKey key(hive.get(), path, KEY_ALL_ACCESS, true);
  RequireKey(key, path, context);
  const LSTATUS rc = RegSetValueExW(key.get(), Wide(name).c_str(), 0, type->type, data.empty() ? nullptr : data.data(),
                                    static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) Fail(path, "cannot write '" + name + "': " + RegistryErrorText(rc));
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

// A .reg text as the importer reads it: UTF-16 without a byte-order mark
// (what some editors write) and big-endian UTF-16 become UTF-16LE with one.
std::string NormalisedRegText(const std::string& bytes) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() < 4) return bytes;
  bool little = false, big = false, swapBom = false;
  if (at(0) == 0xFE && at(1) == 0xFF) {
    big = swapBom = true;
  } else if ((at(0) == 'W' || at(0) == 'R') && at(1) == 0) {
    little = true;
  } else if (at(0) == 0 && (at(1) == 'W' || at(1) == 'R')) {
    big = true;
  }
  if (!little && !big) return bytes;
  std::string out = "\xFF\xFE";
  for (size_t i = swapBom ? 2 : 0; i + 1 < bytes.size(); i += 2) {
    out += big ? bytes[i + 1] : bytes[i];
    out += big ? bytes[i] : bytes[i + 1];
  }
  return out;
}

// Line n (1-based) of a .reg text, as UTF-8, for telling what is wrong in it.
std::string RegLine(const std::string& normalised, size_t n) {
  std::string text;
  if (normalised.compare(0, 2, "\xFF\xFE") == 0) {
    pavo::WideString units;
    for (size_t i = 2; i + 1 < normalised.size(); i += 2) {
      units.push_back(static_cast<WCHAR>(static_cast<unsigned char>(normalised[i]) |
                                         (static_cast<unsigned char>(normalised[i + 1]) << 8)));
    }
    text = Utf8(units);
  } else {
    text = normalised;
  }
  size_t start = 0;
  for (size_t line = 1; line < n && start != std::string::npos; ++line) {
    start = text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return std::string();
  std::string out = text.substr(start, text.find('\n', start) - start);
  while (!out.empty() && (out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

// Why the importer refused a line, where the tool can tell more than "malformed".
std::string RegLineReason(const std::string& line) {
  if (line.empty() || line[0] != '[' || line.back() != ']') return "malformed line";
  std::string key = line.substr(line[1] == '-' ? 2 : 1);
  key.pop_back();
  const std::string root = key.substr(0, key.find('\\'));
  for (const char* ours : {"HKEY_CURRENT_USER", "HKCU", "HKEY_LOCAL_MACHINE", "HKLM"}) {
    if (EqualsIgnoringAsciiCase(root, ours)) return "malformed line";
  }
  return "the root " + root + " is not supported: only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (HKCU, HKLM), "
         "which both stand for the hive";
}

int ConfigImport(ToolContext& context, const Args& args) {
  args.ExpectPositionals(2, 2);
  const std::string& file = args.Positionals()[1];
  const std::string shown = file == "-" ? std::string("standard input") : file;
  const std::string text = NormalisedRegText(ReadFile(file));
  HiveKey hive = context.OpenHive();
  size_t line = 0;
  LONG rc;
  {
    Progress progress("import " + shown, 0);
    rc = pavo::reg::ImportRegText(text.data(), text.size(), HiveRoots(hive.get()), &line);
  }
  if (rc == ERROR_INVALID_DATA && line > 0) {
    Fail(shown + ":" + std::to_string(line), RegLineReason(RegLine(text, line)) + ", nothing imported");
  }
  if (rc == ERROR_BAD_FORMAT) Fail(shown, "not a .reg file (it must start with 'Windows Registry Editor Version 5.00' or 'REGEDIT4')");
  if (rc != ERROR_SUCCESS) Fail(shown, RegistryErrorText(rc));
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

struct SubCommand {
  const char* name;
  const char* help;
  int (*run)(ToolContext&, const Args&);
};

int ConfigList(ToolContext& context, const Args& args) {
  args.ExpectPositionals(1, 1);
  HiveKey hive = context.OpenHive();
  const std::vector<ListedKey> keys = ReadTree(hive.get(), context.keyPath);
  if (keys.empty()) NoteMissingKey(context);
  PrintTree(keys, context, args.Has("--json"));
  return 0;
}

const SubCommand kSubCommands[] = {
    {"get", kGetHelp, ConfigGet},          {"set", kSetHelp, ConfigSet},
    {"delete", kDeleteHelp, ConfigDelete}, {"list", kListHelp, ConfigList},
    {"import", kImportHelp, ConfigImport}, {"export", kExportHelp, ConfigExport},
};

// The sub-command of a config command line: its first word that is neither
// an option nor an option's value. get takes --type alone, set with a value.
std::string SubCommandOf(const ArgList& argv) {
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a == "--") return i + 1 < argv.size() ? argv[i + 1] : std::string();
    if (a.size() < 2 || a[0] != '-') return a;
    if (a == "--section" || a == "--hive" || a == "--key") ++i;
    if (a == "--type" && i + 1 < argv.size() && argv[i + 1] != "get") ++i;
  }
  return std::string();
}

}  // namespace

int RunConfig(const ArgList& argv) {
  const std::string subName = SubCommandOf(argv);
  const SubCommand* sub = nullptr;
  for (const SubCommand& s : kSubCommands) {
    if (subName == s.name) sub = &s;
  }
  const bool typeTakesValue = sub == nullptr || std::strcmp(sub->name, "get") != 0;
  const Args args("config", argv,
                  {{"--section", true}, {"--regedit4", false}, {"--type", typeTakesValue}, {"--json", false},
                   kHiveOption, kKeyOption});
  if (args.WantsHelp()) {
    std::cout << (sub != nullptr ? sub->help : kConfigHelp);
    return 0;
  }
  if (args.Positionals().empty()) UsageError("config", "missing command (get, set, delete, list, import, export)");
  if (sub == nullptr) UsageError("config", "unknown command '" + args.Positionals()[0] + "'");
  ToolContext context = ToolContext::FromArgs(args);
  return sub->run(context, args);
}

int RunLanguages(const ArgList& argv) {
  const Args args("languages", argv, {{"--json", false}, kHiveOption, kKeyOption, kLangDirOption});
  if (args.WantsHelp()) {
    std::cout << kLanguagesHelp;
    return 0;
  }
  args.ExpectPositionals(0, 2);
  ToolContext context = ToolContext::FromArgs(args);
  const auto& pos = args.Positionals();
  if (!pos.empty()) {
    if (pos[0] != "add" && pos[0] != "remove") UsageError("languages", "unknown command '" + pos[0] + "'");
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
    const OpenKey base(hive.get(), context.keyPath, KEY_ALL_ACCESS);
    if (base.get() == nullptr && base.status() == ERROR_FILE_NOT_FOUND) {
      Fail(JoinKey(context.keyPath, lang), "language not installed");
    }
    RequireKey(base, context.keyPath, context);
    const LSTATUS rc = RegDeleteTreeW(base.get(), Wide(lang).c_str());
    if (rc == ERROR_FILE_NOT_FOUND) Fail(JoinKey(context.keyPath, lang), "language not installed");
    if (rc != ERROR_SUCCESS) Fail(JoinKey(context.keyPath, lang), RegistryErrorText(rc));
    RegDeleteKeyW(base.get(), Wide(lang).c_str());
    return 0;
  }
  HiveKey hive = context.OpenHive();
  std::vector<std::string> installed;
  {
    const OpenKey key(hive.get(), context.keyPath, KEY_READ);
    // No key: nothing installed (a .reg file may have deleted it).
    if (key.get() == nullptr && key.status() == ERROR_FILE_NOT_FOUND) {
      NoteMissingKey(context);
    } else {
      RegistryInfo info(context, hive.get());
      installed = info.Languages();
    }
  }
  const std::vector<std::string> modules = LanguagesWithModules(context.languageDir, "PavoRm");
  struct Row {
    std::string lang, english, module;
  };
  std::vector<Row> rows;
  std::vector<std::string> sections;
  for (const std::string& lang : installed) {
    const LanguageName* known = FindLanguage(lang);
    const bool hasModule = std::find(modules.begin(), modules.end(), lang) != modules.end();
    // A settings section is a sub-key too; what names no language and has no module is one.
    if (known == nullptr && !hasModule) {
      sections.push_back(lang);
      continue;
    }
    rows.push_back({lang, known != nullptr ? known->english : "(unknown language)",
                    hasModule ? "PavoRm" + lang + ".dll" : std::string()});
  }
  const std::string dir = context.languageDir.empty() ? "(none)" : context.languageDir;
  if (args.Has("--json")) {
    std::cout << "{\"languages\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
      std::cout << (i ? ",\n  " : "\n  ") << "{\"name\": " << JsonString(rows[i].lang)
                << ", \"language\": " << JsonString(rows[i].english) << ", \"module\": "
                << (rows[i].module.empty() ? std::string("null") : JsonString(rows[i].module)) << '}';
    }
    std::cout << (rows.empty() ? "]" : "\n]") << ", \"sections\": [";
    for (size_t i = 0; i < sections.size(); ++i) std::cout << (i ? ", " : "") << JsonString(sections[i]);
    std::cout << "], \"language_directory\": " << JsonString(context.languageDir) << "}\n";
    return 0;
  }
  size_t langWidth = 3, nameWidth = 24;
  for (const Row& r : rows) {
    langWidth = std::max(langWidth, r.lang.size());
    nameWidth = std::max(nameWidth, r.english.size());
  }
  for (Row r : rows) {
    r.lang.resize(langWidth, ' ');
    r.english.resize(nameWidth, ' ');
    std::cout << r.lang << "  " << r.english << "  "
              << (r.module.empty() ? std::string("(no module: English is used)") : r.module) << '\n';
  }
  if (!sections.empty()) {
    std::cout << "sections (sub-keys the library also counts as languages):";
    for (const std::string& s : sections) std::cout << ' ' << s;
    std::cout << '\n';
  }
  std::cout << "language directory: " << dir << '\n';
  return 0;
}

}  // namespace pavorm_tool
