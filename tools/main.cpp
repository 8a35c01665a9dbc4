// pavorm: the command-line tool of the PavoRm51 library. main dispatches to
// the subcommands and turns their errors into one line and an exit status.
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "tools/cli_args.h"
#include "tools/commands.h"

namespace {

const char kHelp[] =
    "usage: pavorm COMMAND [ARGS] (pavorm COMMAND --help for each)\n"
    "\n"
    "  demo                               the library at work, step by step\n"
    "  strings MODULE [--lang LLL] [ID...] a language module's string table\n"
    "  languages [add|remove LLL]         the installed languages\n"
    "  config get|set|delete|list|import|export   the configuration hive\n"
    "  check BASE.dll OTHER.dll...        a translator's check of modules\n"
    "  export MODULE -o FILE.po|FILE.xlf  strings for translators (PO, XLIFF 1.2)\n"
    "  build FILE.po|FILE.xlf -o X.dll    a language module from a translation\n"
    "  pseudo MODULE -o Xqps.dll          the pseudo-language, for testing\n"
    "  ref new|add|show ...               file-reference documents\n"
    "  xml check|format FILE              XML files through the XML library\n"
    "\n"
    "Exit status: 0 success, 1 a failed operation (or problems found by check),\n"
    "2 a usage error. Configuration: --hive FILE (PAVORM_HIVE), --key PATH\n"
    "(PAVORM_KEY), --lang-dir DIR (PAVORM_LANGUAGE_DIR).\n";

struct Command {
  const char* name;
  int (*run)(const pavorm_tool::ArgList&);
};

const Command kCommands[] = {
    {"demo", pavorm_tool::RunDemo},   {"strings", pavorm_tool::RunStrings},
    {"languages", pavorm_tool::RunLanguages}, {"config", pavorm_tool::RunConfig},
    {"check", pavorm_tool::RunCheck}, {"ref", pavorm_tool::RunRef},
    {"xml", pavorm_tool::RunXml},     {"export", pavorm_tool::RunExport},
    {"build", pavorm_tool::RunBuild}, {"pseudo", pavorm_tool::RunPseudo},
};

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
  if (argc < 2) {
    std::cerr << "pavorm: missing command (see 'pavorm --help')\n";
    return pavorm_tool::kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << kHelp;
    return 0;
  }
  const pavorm_tool::ArgList args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    try {
      const int status = c.run(args);
      std::cout.flush();
      return status;
    } catch (const pavorm_tool::ToolError& e) {
      std::cout.flush();
      std::cerr << "pavorm: " << e.what() << '\n';
      return e.status();
    } catch (const std::bad_alloc&) {
      std::cerr << "pavorm: " << name << ": out of memory\n";
    } catch (const std::bad_alloc*) {  // the string class's formatting failure
      std::cerr << "pavorm: " << name << ": out of memory\n";
    } catch (const std::exception& e) {
      std::cerr << "pavorm: " << name << ": " << e.what() << '\n';
    }
    return pavorm_tool::kExitFailed;
  }
  std::cerr << "pavorm: unknown command '" << name << "' (see 'pavorm --help')\n";
  return pavorm_tool::kExitUsage;
}
