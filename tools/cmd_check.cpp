// pavorm check: a translator's check of language modules against the base
// module: string ids missing or extra, and messages whose inserts differ.
#include <iostream>
#include <memory>

#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/message_inserts.h"
#include "tools/module_strings.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm check BASE.dll OTHER.dll...\n"
    "\n"
    "Compares each translated module with the base module and prints one line per\n"
    "problem: 'OTHER: missing ID' (in the base, not translated), 'OTHER: extra ID'\n"
    "(not in the base), 'OTHER: ID: inserts differ: base ..., here ...' (message\n"
    "inserts such as %1!s! or %2!d! differ in number or type); a damaged module\n"
    "is told on standard error ('damaged module: ...') and counts as a problem,\n"
    "its intact strings still compared. Exit status 0 when\n"
    "all modules match, 1 when any problem was found or a module cannot be read,\n"
    "2 for a usage error.\n";

}  // namespace

int RunCheck(const ArgList& argv) {
  const Args args("check", argv, {});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  args.ExpectPositionals(2, static_cast<size_t>(-1));
  const auto& files = args.Positionals();
  const ModuleFile base(files[0]);
  // Each module in its own language: the one its string tables are in.
  const StringTable baseTable = ReadStringTable(base.handle(), 0);
  size_t problems = ReportDamage(base.handle(), files[0]) ? 1 : 0;
  if (baseTable.empty()) Fail(files[0], "the base module has no strings");
  for (size_t f = 1; f < files.size(); ++f) {
    const ModuleFile other(files[f]);
    const StringTable table = ReadStringTable(other.handle(), 0);
    const std::string& name = files[f];
    size_t found = ReportDamage(other.handle(), name) ? 1 : 0;
    for (const auto& entry : baseTable) {
      const auto it = table.find(entry.first);
      if (it == table.end()) {
        std::cout << name << ": missing " << entry.first << '\n';
        ++found;
        continue;
      }
      const InsertMap expected = ParseInserts(entry.second);
      const InsertMap actual = ParseInserts(it->second);
      if (expected != actual) {
        std::cout << name << ": " << entry.first << ": inserts differ: base " << DescribeInserts(expected)
                  << ", here " << DescribeInserts(actual) << '\n';
        ++found;
      }
    }
    for (const auto& entry : table) {
      if (baseTable.count(entry.first) == 0) {
        std::cout << name << ": extra " << entry.first << '\n';
        ++found;
      }
    }
    std::cout << name << ": " << (found == 0 ? "ok" : std::to_string(found) + " problem(s)") << " ("
              << table.size() << " strings, base " << baseTable.size() << ")\n";
    problems += found;
  }
  return problems == 0 ? 0 : kExitFailed;
}

}  // namespace pavorm_tool
