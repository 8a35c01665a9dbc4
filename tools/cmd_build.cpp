// pavorm build: a resource-only module from a PO or XLIFF file, written
// directly (no resource compiler, no linker).
#include <iostream>
#include <set>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/message_inserts.h"
#include "tools/module_writer.h"
#include "tools/translation_files.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm build FILE.po|FILE.xlf [--lang LANG] [--fill] -o MODULE.dll\n"
    "\n"
    "Writes a resource-only PE32+ module (string tables, no code, no entry point)\n"
    "from a translated exchange file; Windows and the library load it as they load\n"
    "one linked from a resource script.\n"
    "  --lang LANG        the module's language (deu, 0x0407, de-DE); default: the\n"
    "                     file's (PO: Language, XLIFF: target-language)\n"
    "  --fill             untranslated strings take the base text; by default they\n"
    "                     are left out (and 'pavorm check' lists them as missing)\n"
    "  --format po|xliff  the file's format (default: from its extension)\n"
    "  -o MODULE.dll      the module to write ('-': standard output)\n"
    "A translation whose inserts differ from its base text is refused: it would\n"
    "read the wrong arguments when formatted. Fuzzy PO entries and XLIFF targets\n"
    "in a state 'new' or 'needs-...' count as untranslated.\n";

}  // namespace

int RunBuild(const ArgList& argv) {
  const Args args("build", argv, {{"--lang", true}, {"--fill", false}, {"--format", true}, {"-o", true},
                                   {"--output", true}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(1, 1);
  const std::string input = args.Positionals()[0];
  const std::string name = input == "-" ? "standard input" : input;
  const std::string output = OutputOption(args);
  const ExchangeFormat format = FormatOf("build", args.Get("--format"), input, false);
  std::vector<Catalog> catalogs = ReadExchangeFile(input, format);
  if (args.Has("--lang")) {
    if (catalogs.size() > 1) {
      UsageError("build", input + " holds " + std::to_string(catalogs.size()) +
                              " files, each with its language: --lang would give them one");
    }
    catalogs[0].targetLanguage = ParseLanguageOption("build", args.Get("--lang"));
  }

  ModuleStrings strings;
  size_t written = 0, leftOut = 0;
  std::vector<std::string> insertProblems;
  for (const Catalog& catalog : catalogs) {
    if (catalog.targetLanguage == 0) Fail(name, "names no target language: give --lang");
    if (strings.count(catalog.targetLanguage) != 0) {
      Fail(name, "two files for " + LanguageLabel(catalog.targetLanguage));
    }
    auto& table = strings[catalog.targetLanguage];
    for (const CatalogEntry& e : catalog.entries) {
      if (!e.translated) {
        if (args.Has("--fill") && !e.source.empty()) {
          table[e.id] = e.source;
          ++written;
        } else {
          ++leftOut;
        }
        continue;
      }
      const InsertMap expected = ParseInserts(e.source);
      const InsertMap actual = ParseInserts(e.translation);
      if (expected != actual) {
        insertProblems.push_back("string " + std::to_string(e.id) + ": inserts differ from the base text: base " +
                                 DescribeInserts(expected) + ", here " + DescribeInserts(actual));
      }
      table[e.id] = e.translation;
      ++written;
    }
    if (table.empty()) strings.erase(catalog.targetLanguage);
  }
  if (!insertProblems.empty()) {
    std::string reason = insertProblems.front();
    if (insertProblems.size() > 1) reason += " (and " + std::to_string(insertProblems.size() - 1) + " more)";
    Fail(name, reason);
  }
  if (written == 0) Fail(name, "no translated strings (--fill builds the base texts)");

  std::vector<unsigned char> module;
  const std::string error = WriteStringModule(strings, &module);
  if (!error.empty()) Fail(name, error);
  WriteFile(output, std::string(module.begin(), module.end()));

  if (leftOut != 0) {
    std::cerr << "pavorm: " << name << ": " << leftOut
              << " untranslated string(s) left out; a host finds them missing in this module (the English "
                 "module serves only when the whole module is missing), --fill puts the base text in\n";
  }
  std::ostream& report = ReportStream(output);
  report << (output == "-" ? std::string("standard output") : output) << ": " << written << " strings";
  for (const auto& l : strings) report << ", " << LanguageLabel(l.first);
  report << ", " << module.size() << " bytes\n";
  return 0;
}

}  // namespace pavorm_tool
