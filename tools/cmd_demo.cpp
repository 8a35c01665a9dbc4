// pavorm demo: the library's main job, shown step by step on the embedded
// default configuration (a hive in the user's data folder, the library's own
// language modules from the build or install tree).
#include <iostream>
#include <string>
#include <vector>

#include "fsassist/FSAssist.h"
#include "fsassist/file_reference.h"
#include "resource/identity.h"
#include "resource/string_ids.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/host_session.h"
#include "tools/reference_docs.h"
#include "tools/registry_info.h"
#include "tools/tool_context.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm demo [--lang LLL] [--hive FILE] [--key PATH] [--lang-dir DIR]\n"
    "\n"
    "Runs the library as an application does: opens the configuration hive\n"
    "(created on first run), constructs the resource manager and a registry\n"
    "information object, registers the library with PavoRmInit, prints its\n"
    "messages in English, switches to German and French, shows the English\n"
    "fallback for a language without a module, and writes and reads back a file\n"
    "reference document.\n"
    "  --lang LLL   switch to this language instead of German and French, such as\n"
    "               qps, the pseudo-language (its module PavoRmqps.dll made by\n"
    "               'pavorm pseudo' in the language directory)\n";

const WCHAR* const kLibrary = WTEXT("PavoRm");

std::string LanguageLabel(const std::string& lang) {
  const LanguageName* l = FindLanguage(lang);
  return l != nullptr ? std::string(l->english) + " (" + lang + ")" : lang;
}

// A few of the library's own messages, loaded by resource-object name; the
// ones with inserts are filled in as the library formats them.
void PrintMessages() {
  PavoRmCString text;
  text.FormatMessageW(PavoRmCString(kLibrary), IDS_PAVORM_LANGUAGE_NOT_LOADED, WTEXT("ita"), WTEXT("enu"));
  std::cout << "     " << IDS_PAVORM_LANGUAGE_NOT_LOADED << "  " << Utf8(text.GetString()) << '\n';
  text.FormatMessageW(PavoRmCString(kLibrary), IDS_PAVORM_FILE_NOT_FOUND, WTEXT("scans/page1.tif"));
  std::cout << "     " << IDS_PAVORM_FILE_NOT_FOUND << "  " << Utf8(text.GetString()) << '\n';
  for (unsigned id : {IDS_PAVORM_CANCEL, IDS_PAVORM_NEXT}) {
    PavoRmCString plain;
    if (plain.LoadStringW(PavoRmCString(kLibrary), id, 0) == 0) Fail("PavoRm", "string " + std::to_string(id) + " not found");
    std::cout << "     " << id << "  " << Utf8(plain.GetString()) << '\n';
  }
}

void Step(int n, const std::string& title) { std::cout << '\n' << n << ". " << title << '\n'; }

std::string ModuleOf(PavoRmResourceObject& object) {
  const std::string file = DisplayPath(Utf8(object.GetFileName().GetString()));
  // A normal module whose file is its own name uses its built-in resources.
  if (file.empty() || file == Utf8(object.GetName().GetString())) return "the library's built-in resources";
  return file;
}

}  // namespace

int RunDemo(const ArgList& argv) {
  const Args args("demo", argv, {{"--lang", true}, kHiveOption, kKeyOption, kLangDirOption});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(0, 0);
  std::vector<std::string> languages = {"deu", "fra"};
  if (args.Has("--lang")) {
    const std::string lang = args.Get("--lang");
    if (lang.size() != 3 || lang.find_first_of("/\\.") != std::string::npos) {
      UsageError("demo", "'" + lang + "' is not a three-letter language name");
    }
    languages = {lang};
  }
  ToolContext context = ToolContext::FromArgs(args);

  std::cout << "PavoRm51 demo: the library hosted the way an application hosts it.\n";
  HostSession host(context, "enu");
  Step(1, "Configuration (a registry hive file; see 'pavorm config list')");
  std::cout << "   hive:                " << context.hivePath
            << (context.hiveCreated ? "  (created now: first run)" : "") << '\n';
  std::cout << "   key:                 " << context.keyPath << '\n';
  std::cout << "   language modules in: " << (context.languageDir.empty() ? "(none)" : context.languageDir) << '\n';
  {
    RegistryInfo info(context, host.hive());
    std::string list;
    for (const std::string& l : info.Languages()) list += (list.empty() ? "" : ", ") + l;
    std::cout << "   installed languages: " << (list.empty() ? "(none)" : list) << '\n';
  }
  if (LanguagesWithModules(context.languageDir, "PavoRm").empty()) {
    std::cout << "   note: no language modules there, so every language shows the built-in English\n"
              << "         (build them with 'cmake --build build', or give --lang-dir DIR)\n";
  }

  Step(2, "Registering the library: PavoRmResourceManager, PavoRmInformationRegistry, PavoRmInit");
  PavoRmResourceObject& library = host.Object(Utf8(kLibrary));
  std::cout << "   resource object \"" << Utf8(kLibrary) << "\" uses " << ModuleOf(library) << '\n';

  Step(3, "The library's messages in " + LanguageLabel("enu"));
  PrintMessages();

  int step = 4;
  for (const std::string& lang : languages) {
    Step(step++, std::string("Switching to ") + LanguageLabel(lang) +
                     ": SetCurrentLanguageName, then Init of each resource object");
    host.SwitchLanguage(lang);
    std::cout << "   resource object \"" << Utf8(kLibrary) << "\" now uses " << ModuleOf(library) << '\n';
    PrintMessages();
  }

  Step(step++, "Switching to " + LanguageLabel("ita") + ", which has no module: English is the fallback");
  host.SwitchLanguage("ita");
  std::cout << "   resource object \"" << Utf8(kLibrary) << "\" now uses " << ModuleOf(library) << '\n';
  PrintMessages();
  host.SwitchLanguage("enu");
  host.TakeMessages();

  Step(step++, "A file-reference document, written and read back");
  Gral::FileSpecifier spec = FSAssist::cvtToFS(WTEXT("scans/page1.tif"), 2);
  FSAssist::appendInet(spec, WTEXT("https://example.com/page2.png"));
  const std::string text = SpecifierText(spec);
  std::cout << "   cvtToFS(\"scans/page1.tif\", 2), then appendInet(\"https://example.com/page2.png\"):\n"
            << "     " << text << '\n';
  const size_t slash = context.hivePath.rfind('/');
  const std::string docPath = (slash == std::string::npos ? std::string(".") : context.hivePath.substr(0, slash)) +
                              "/demo-reference.xml";
  WriteFile(docPath, text + "\n");
  const Gral::FileSpecifier back = ReadReference(docPath);
  const std::vector<Component> components = Components(back);
  std::cout << "   written to " << docPath << "; read back, " << components.size() << " components:\n";
  for (size_t i = 0; i < components.size(); ++i) std::cout << "     " << i << "  " << Describe(components[i]) << '\n';
  if (SpecifierText(back).compare(0, text.size(), text) != 0 || components.size() != 2 ||
      components[0].path != "scans/page1.tif" || components[0].frame != 2) {
    Fail(docPath, "the document did not read back as written");
  }
  std::cout << "   the round trip kept every component.\n";

  Step(step, "PavoRmExit, then the manager is destroyed with its objects and information");
  std::cout << "\nMore: pavorm --help\n";
  return 0;
}

}  // namespace pavorm_tool
