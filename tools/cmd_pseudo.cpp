// pavorm pseudo: the pseudo-translation of a module, as a module or as an
// exchange file, for testing a host before any translation exists.
#include <iostream>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/language_tags.h"
#include "tools/module_writer.h"
#include "tools/pseudo_locale.h"
#include "tools/translation_files.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm pseudo MODULE [--mirror] [--lang LANG] [--format dll|po|xliff] -o FILE\n"
    "\n"
    "Pseudo-translates every string of MODULE in the manner of Windows' qps-ploc:\n"
    "accented letters that stay readable, about a third longer, in brackets that\n"
    "show truncation. Inserts (%1, %2!d!, %%, %n), printf directives, accelerator\n"
    "markers (&) and backslash escapes are kept exactly.\n"
    "  --mirror            words shown mirrored, laid out right to left (qps-plocm)\n"
    "  --lang LANG         the language of the result; default qps (LANGID 0x0501),\n"
    "                      with --mirror qpm (0x09FF)\n"
    "  --source-lang LANG  the base language when MODULE holds several\n"
    "  --format dll|po|xliff  what to write (default: from -o's extension)\n"
    "  -o FILE             e.g. PavoRmqps.dll beside the other modules ('-': standard\n"
    "                      output); a host then switches to it as to any language\n";

}  // namespace

int RunPseudo(const ArgList& argv) {
  const Args args("pseudo", argv,
                  {{"--mirror", false}, {"--lang", true}, {"--source-lang", true}, {"--format", true}, {"-o", true},
                   {"--output", true}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(1, 1);
  const std::string module = args.Positionals()[0];
  const std::string output = OutputOption(args);
  const ExchangeFormat format = FormatOf("pseudo", args.Get("--format"), output, true);
  PseudoOptions options;
  options.mirror = args.Has("--mirror");
  const unsigned short language = args.Has("--lang") ? ParseLanguageOption("pseudo", args.Get("--lang"))
                                  : options.mirror   ? kPseudoMirroredLangId
                                                     : kPseudoLangId;
  const unsigned short requestedSource =
      args.Has("--source-lang") ? ParseLanguageOption("pseudo", args.Get("--source-lang")) : 0;

  const ModuleStrings strings = ReadModuleStrings(module);
  const unsigned short sourceLanguage = ChooseBaseLanguage(module, strings, requestedSource);
  Catalog catalog;
  catalog.original = BaseName(module);
  catalog.sourceLanguage = sourceLanguage;
  catalog.targetLanguage = language;
  ModuleStrings pseudo;
  for (const auto& entry : strings.at(sourceLanguage)) {
    CatalogEntry e;
    e.id = entry.first;
    e.source = entry.second;
    e.translation = PseudoTranslate(entry.second, options);
    e.translated = true;
    pseudo[language][e.id] = e.translation;
    catalog.entries.push_back(e);
  }
  size_t bytes = 0;
  if (format == ExchangeFormat::kModule) {
    std::vector<unsigned char> image;
    const std::string error = WriteStringModule(pseudo, &image);
    if (!error.empty()) Fail(module, "pseudo-translated " + error);
    WriteFile(output, std::string(image.begin(), image.end()));
    bytes = image.size();
  } else {
    WriteExchangeFile(output, format, {catalog}, module);
  }
  std::ostream& report = ReportStream(output);
  report << (output == "-" ? std::string("standard output") : output) << ": " << catalog.entries.size()
         << " strings pseudo-translated, " << LanguageLabel(language);
  if (bytes != 0) report << ", " << bytes << " bytes";
  report << "\n";
  return 0;
}

}  // namespace pavorm_tool
