// pavorm strings: a language module's string table, by file or through the
// resource manager by resource-object name.
#include <iostream>
#include <memory>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/host_session.h"
#include "tools/module_strings.h"
#include "tools/tool_context.h"
#include "tools/tool_files.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm strings MODULE [--lang LLL] [--strict] [--json] [ID...]\n"
    "\n"
    "Lists the string table of a language module.\n"
    "  MODULE      a module file (a path, a name ending in .dll, or '-' for\n"
    "              standard input), or the name of\n"
    "              a resource object, such as PavoRm: its module for the language is\n"
    "              found through the resource manager (configured file in the hive,\n"
    "              else NAME + LLL + .dll in the language directory, else NAME + enu.dll)\n"
    "  --lang LLL  the language (enu, deu, fra, ...); for a file, the language whose\n"
    "              strings are shown when the module holds several (default: enu for\n"
    "              resource objects, the user's UI language for files). For a\n"
    "              resource object LLL is matched as the library's information object\n"
    "              matches it: exactly as given, it makes the file name NAME + LLL +\n"
    "              .dll, so on Linux 'DEU' does not find PavoRmdeu.dll\n"
    "  --strict    a resource object that falls back to another module than the one\n"
    "              asked for (missing, damaged, another language) is an error\n"
    "  --json      one JSON object instead of lines 'ID<tab>TEXT'\n"
    "  ID...       only these string ids (an id not present is an error)\n"
    "  --hive FILE, --key PATH, --lang-dir DIR   where configuration and modules are\n"
    "When a resource object falls back, standard error tells which module it uses\n"
    "and why ('PavoRm: PavoRmdeu.dll is damaged: ...; using PavoRmenu.dll').\n"
    "A damaged module is told on standard error ('damaged module: ...', with the\n"
    "block and language); its intact strings are still listed and the exit status is 1.\n";

bool LooksLikeFile(const std::string& module) {
  if (module == "-" || module.find('/') != std::string::npos) return true;
  const std::string_view name(module);
  if (name.size() > 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dll")) return true;
  return IsRegularFile(module);
}

void Print(const std::string& module, const std::string& file, const std::string& language,
           const StringTable& table, const std::vector<unsigned>& ids, bool json,
           const ModuleChoice* choice = nullptr) {
  std::vector<std::pair<unsigned, const pavo::WideString*>> rows;
  if (ids.empty()) {
    for (const auto& entry : table) rows.emplace_back(entry.first, &entry.second);
  } else {
    for (const unsigned id : ids) {
      const auto it = table.find(id);
      if (it == table.end()) Fail(file, "no string " + std::to_string(id));
      rows.emplace_back(id, &it->second);
    }
  }
  if (!json) {
    for (const auto& r : rows) std::cout << r.first << '\t' << OneLine(Utf8(*r.second)) << '\n';
    return;
  }
  std::cout << "{\"module\": " << JsonString(module) << ", \"file\": " << (file.empty() ? "null" : JsonString(file));
  if (choice != nullptr) {
    std::cout << ", \"requested\": " << JsonString(choice->requested)
              << ", \"fallback\": " << (choice->fellBack() ? JsonString(choice->Message()) : std::string("null"));
  }
  if (!language.empty()) std::cout << ", \"language\": " << JsonString(language);
  std::cout << ", \"strings\": [";
  for (size_t i = 0; i < rows.size(); ++i) {
    std::cout << (i ? ",\n  " : "\n  ") << "{\"id\": " << rows[i].first
              << ", \"text\": " << JsonString(Utf8(*rows[i].second)) << '}';
  }
  std::cout << (rows.empty() ? "]}\n" : "\n]}\n");
}

}  // namespace

int RunStrings(const ArgList& argv) {
  const Args args("strings", argv,
                  {{"--lang", true}, {"--json", false}, {"--strict", false}, kHiveOption, kKeyOption, kLangDirOption});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(1, static_cast<size_t>(-1));
  const std::string module = args.Positionals()[0];
  std::vector<unsigned> ids;
  for (size_t i = 1; i < args.Positionals().size(); ++i) {
    ids.push_back(static_cast<unsigned>(ParseNumber("strings", "string id", args.Positionals()[i], 0, 65535)));
  }
  const std::string language = args.Get("--lang");
  const LanguageName* known = language.empty() ? nullptr : FindLanguage(language);
  if (!language.empty() && (language.size() != 3 || language.find_first_of("/\\.") != std::string::npos)) {
    UsageError("strings", "'" + language + "' is not a three-letter language name");
  }

  if (LooksLikeFile(module)) {
    if (!language.empty() && known == nullptr) {
      UsageError("strings", "unknown language '" + language + "' for a module file");
    }
    const ModuleFile file(module);
    const StringTable table = ReadStringTable(file.handle(), known ? known->langId : 0);
    Print(module, module, language, table, ids, args.Has("--json"));
    return ReportDamage(file.handle(), module) ? kExitFailed : 0;
  }

  ToolContext context = ToolContext::FromArgs(args);
  HostSession host(context, language.empty() ? "enu" : language);
  PavoRmResourceObject& object = host.Object(module);
  const ModuleChoice choice = host.Choice(object);
  if (choice.fellBack()) {
    if (args.Has("--strict")) Fail(module, choice.Message());
    std::cerr << "pavorm: " << module << ": " << choice.Message() << '\n';
  }
  const StringTable table = ReadStringTable(object.GetResourceHandle(), known ? known->langId : 0);
  Print(module, choice.used, language.empty() ? "enu" : language, table, ids, args.Has("--json"), &choice);
  const std::string shown = choice.used.empty() ? module : choice.used;
  return ReportDamage(object.GetResourceHandle(), shown) ? kExitFailed : 0;
}

}  // namespace pavorm_tool
