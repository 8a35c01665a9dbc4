// pavorm export: a module's string table as an exchange file for
// translators (gettext PO or XLIFF 1.2), either an empty translation of a
// base module or a translated module beside its base.
#include <iostream>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/translation_files.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm export MODULE [--base BASE] [--lang LANG] [--format po|xliff] -o FILE\n"
    "\n"
    "Writes the string table of MODULE for translators, UTF-8, one entry per string\n"
    "id with a note on its inserts (%1, %2!d!, ...):\n"
    "  PO     msgctxt the id, msgid the base text, msgstr the translation\n"
    "  XLIFF  one <trans-unit> per id with <source>, <target state=...> and <note>\n"
    "Without --base, MODULE is the base and the file an empty translation (a\n"
    "template); with --base, MODULE is a translation of BASE and fills the targets.\n"
    "  --base BASE         the module of the base texts (normally the enu one)\n"
    "  --lang LANG         the target language: with --base, which of MODULE's\n"
    "                      languages (default: all; a PO file holds one); without,\n"
    "                      the language the template is for. LANG: deu, 0x0407, de-DE\n"
    "  --source-lang LANG  the base language when the base module holds several\n"
    "                      (default: its only one, else enu)\n"
    "  --format po|xliff   the file's format (default: from -o's extension)\n"
    "  -o FILE             the file to write ('-': standard output)\n";

}  // namespace

int RunExport(const ArgList& argv) {
  const Args args("export", argv,
                  {{"--base", true}, {"--lang", true}, {"--source-lang", true}, {"--format", true}, {"-o", true},
                   {"--output", true}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(1, 1);
  const std::string module = args.Positionals()[0];
  const std::string output = OutputOption(args);
  const ExchangeFormat format = FormatOf("export", args.Get("--format"), output, false);
  const unsigned short target = args.Has("--lang") ? ParseLanguageOption("export", args.Get("--lang")) : 0;
  const unsigned short requestedSource =
      args.Has("--source-lang") ? ParseLanguageOption("export", args.Get("--source-lang")) : 0;
  if (module == "-" && args.Get("--base") == "-") UsageError("export", "only one module can come from standard input");

  const ModuleStrings strings = ReadModuleStrings(module);
  const std::string basePath = args.Has("--base") ? args.Get("--base") : module;
  const ModuleStrings baseStrings = args.Has("--base") ? ReadModuleStrings(basePath) : strings;
  const unsigned short sourceLanguage = ChooseBaseLanguage(basePath, baseStrings, requestedSource);
  const StringTable& base = baseStrings.at(sourceLanguage);

  std::vector<unsigned short> targets;
  if (!args.Has("--base")) {
    targets.push_back(target);
  } else if (target != 0) {
    if (strings.count(target) == 0) {
      Fail(module, "no strings in " + LanguageLabel(target) + " (it has " + LanguageList(strings) + ")");
    }
    targets.push_back(target);
  } else {
    for (const auto& l : strings) targets.push_back(l.first);
  }
  if (format == ExchangeFormat::kPo && targets.size() > 1) {
    UsageError("export", module + " holds several languages (" + LanguageList(strings) +
                             "): choose one with --lang, or write XLIFF, which holds them all");
  }

  std::vector<Catalog> catalogs;
  size_t translated = 0;
  for (const unsigned short language : targets) {
    Catalog catalog;
    catalog.original = BaseName(basePath);
    catalog.sourceLanguage = sourceLanguage;
    catalog.targetLanguage = language;
    const StringTable* translation = args.Has("--base") ? &strings.at(language) : nullptr;
    for (const auto& entry : base) {
      CatalogEntry e;
      e.id = entry.first;
      e.source = entry.second;
      if (translation != nullptr) {
        const auto it = translation->find(entry.first);
        if (it != translation->end()) {
          e.translation = it->second;
          e.translated = true;
          ++translated;
        }
      }
      catalog.entries.push_back(e);
    }
    if (translation != nullptr) {
      for (const auto& entry : *translation) {
        if (base.count(entry.first) != 0) continue;
        std::cerr << "pavorm: " << module << ": string " << entry.first << " (" << LanguageLabel(language)
                  << ") is not in the base; left out\n";
      }
    }
    catalogs.push_back(catalog);
  }
  WriteExchangeFile(output, format, catalogs, module);
  std::ostream& report = ReportStream(output);
  report << (output == "-" ? std::string("standard output") : output) << ": " << base.size() << " strings";
  if (args.Has("--base")) {
    report << ", " << translated << " translated";
  } else {
    report << ", a template";
  }
  for (const unsigned short language : targets) {
    if (language != 0) report << ", " << LanguageLabel(language);
  }
  report << " (base " << LanguageLabel(sourceLanguage) << " from " << BaseName(basePath) << ")\n";
  return 0;
}

}  // namespace pavorm_tool
