// pavorm check: a translator's check of language modules against the base
// module: string ids missing or extra, messages whose inserts differ,
// strings left as the base text, accelerator keys, and over-long texts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/module_strings.h"
#include "tools/translation_check.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm check BASE.dll OTHER.dll... [--allow IDS] [--allow-file FILE]\n"
    "                    [--max-ratio R] [--json]\n"
    "\n"
    "Compares each translated module with the base module and prints one line per\n"
    "problem:\n"
    "  OTHER: missing ID                 in the base, not translated\n"
    "  OTHER: extra ID                   not in the base\n"
    "  OTHER: ID: inserts differ: ...    message inserts such as %1!s! or %2!d!\n"
    "                                    differ in number or type\n"
    "  OTHER: ID: untranslated (...)     the same as the base text (texts without\n"
    "                                    letters, such as \"%1: %2\", are not counted)\n"
    "  OTHER: ID: several accelerator keys: &A, &B   more than one '&' key in a label\n"
    "  OTHER: ID: no accelerator key (the base has &F)\n"
    "  OTHER: ID: R times as long as the base (limit L)   with --max-ratio\n"
    "and a summary line per module with the share of the base translated, and with\n"
    "several modules a last line counting them. A module that cannot be read is\n"
    "told on standard error and the others are still checked. A damaged\n"
    "module is told on standard error ('damaged module: ...') and counts as a problem;\n"
    "its intact strings are still compared.\n"
    "  --allow IDS        string ids that may stay as the base text (1,2,28514)\n"
    "  --allow-file FILE  ids or exact base texts that may stay, one a line ('#' comments)\n"
    "  --max-ratio R      report translations more than R times as long as the base\n"
    "  --json             one JSON object instead of lines\n"
    "One module may be '-': standard input.\n"
    "Exit status 0 when all modules match, 1 when any problem was found or a module\n"
    "cannot be read, 2 for a usage error.\n";

void AddAllowedId(const std::string& text, CheckOptions* options) {
  options->allowedIds.insert(static_cast<unsigned>(ParseNumber("check", "string id", text, 0, 65535)));
}

CheckOptions OptionsOf(const Args& args) {
  CheckOptions options;
  if (args.Has("--allow")) {
    const std::string list = args.Get("--allow");
    size_t start = 0;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      AddAllowedId(list.substr(start, comma - start), &options);
      start = comma + 1;
    }
  }
  if (args.Has("--allow-file")) {
    const std::string path = args.Get("--allow-file");
    const std::string bytes = ReadFile(path);
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      if (line.find_first_not_of("0123456789") == std::string::npos) {
        AddAllowedId(line, &options);
      } else {
        options.allowedTexts.insert(Wide(line));
      }
    }
  }
  if (args.Has("--max-ratio")) {
    const std::string text = args.Get("--max-ratio");
    char* end = nullptr;
    const double ratio = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !(ratio > 0) || ratio > 1000) {
      UsageError("check", "--max-ratio '" + text + "' is not a number above 0");
    }
    options.maxLengthRatio = ratio;
  }
  return options;
}

std::string Percent(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", value);
  return buf;
}

}  // namespace

int RunCheck(const ArgList& argv) {
  const Args args("check", argv,
                  {{"--allow", true}, {"--allow-file", true}, {"--max-ratio", true}, {"--json", false}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(2, static_cast<size_t>(-1));
  const CheckOptions options = OptionsOf(args);
  const bool json = args.Has("--json");
  const auto& files = args.Positionals();
  if (std::count(files.begin(), files.end(), "-") > 1) UsageError("check", "only one module can come from standard input");
  const ModuleFile base(files[0]);
  // Each module in its own language: the one its string tables are in.
  const StringTable baseTable = ReadStringTable(base.handle(), 0);
  size_t problems = ReportDamage(base.handle(), files[0]) ? 1 : 0;
  if (baseTable.empty()) Fail(files[0], "the base module has no strings");
  if (json) std::cout << "{\"base\": " << JsonString(files[0]) << ", \"modules\": [";
  size_t okModules = 0, unreadable = 0;
  for (size_t f = 1; f < files.size(); ++f) {
    const std::string& name = files[f];
    // As msgfmt -c does: a module that cannot be read is told, and the others are still checked.
    std::unique_ptr<ModuleFile> other;
    try {
      other = std::make_unique<ModuleFile>(name);
    } catch (const ToolError& e) {
      std::cout.flush();
      std::cerr << "pavorm: " << e.what() << '\n';
      ++unreadable;
      ++problems;
      if (json) {
        std::cout << (f > 1 ? ",\n " : "\n ") << "{\"file\": " << JsonString(name)
                  << ", \"ok\": false, \"readable\": false, \"error\": " << JsonString(e.what()) << "}";
      }
      continue;
    }
    const StringTable table = ReadStringTable(other->handle(), 0);
    const CheckReport report = CheckTranslation(baseTable, table, options);
    const bool damaged = ReportDamage(other->handle(), name);
    const size_t found = report.findings.size() + (damaged ? 1 : 0);
    problems += found;
    if (found == 0) ++okModules;
    if (json) {
      std::cout << (f > 1 ? ",\n " : "\n ") << "{\"file\": " << JsonString(name) << ", \"ok\": "
                << (found == 0 ? "true" : "false") << ", \"readable\": true, \"damaged\": " << (damaged ? "true" : "false")
                << ", \"strings\": " << report.strings
                << ", \"base_strings\": " << report.baseStrings << ", \"translated\": " << report.translated
                << ", \"percent_translated\": " << Percent(report.PercentTranslated()) << ", \"problems\": [";
      for (size_t i = 0; i < report.findings.size(); ++i) {
        const CheckFinding& p = report.findings[i];
        std::cout << (i ? ",\n   " : "\n   ") << "{\"id\": " << p.id << ", \"kind\": " << JsonString(p.kind)
                  << ", \"message\": " << JsonString(p.message) << "}";
      }
      std::cout << (report.findings.empty() ? "]}" : "\n ]}");
      continue;
    }
    for (const CheckFinding& p : report.findings) std::cout << name << ": " << p.message << '\n';
    std::cout << name << ": " << (found == 0 ? "ok" : std::to_string(found) + " problem(s)") << " ("
              << table.size() << " strings, base " << baseTable.size() << "; " << report.translated << " of "
              << report.baseStrings << " translated, " << Percent(report.PercentTranslated()) << " %)\n";
  }
  const size_t checked = files.size() - 1;
  const size_t withProblems = checked - okModules - unreadable;
  if (json) {
    std::cout << "\n], \"summary\": {\"modules\": " << checked << ", \"ok\": " << okModules
              << ", \"with_problems\": " << withProblems << ", \"unreadable\": " << unreadable << "}}\n";
  } else if (checked > 1) {
    std::cout << checked << " modules: " << okModules << " ok, " << withProblems << " with problems, "
              << unreadable << " unreadable\n";
  }
  return problems == 0 ? 0 : kExitFailed;
}

}  // namespace pavorm_tool
