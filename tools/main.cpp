// pavorm: the command-line tool of the PavoRm51 library. main dispatches to
// the subcommands and turns their errors into one line and an exit status.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

#include "tools/cli_args.h"
#include "tools/commands.h"

namespace {

const char kHelp[] =
    "usage: pavorm [--hive FILE] [--key PATH] [--lang-dir DIR] COMMAND [ARGS]\n"
    "       pavorm --help | --version\n"
    "\n"
    "The command-line tool of the PavoRm51 library: language modules, the\n"
    "configuration hive, translations, file references and XML files.\n"
    "'pavorm COMMAND --help' describes each command.\n"
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
    "2 a usage error.\n"
    "\n"
    "Options before or after the command:\n"
    "  --hive FILE      the configuration hive (PAVORM_HIVE; default\n"
    "                   $XDG_DATA_HOME/pavorm/config.hive)\n"
    "  --key PATH       the library's key in it (PAVORM_KEY; default Software\\PavoRm51)\n"
    "  --lang-dir DIR   the language modules (PAVORM_LANGUAGE_DIR)\n"
    "  --json           listings as one JSON object (strings, languages, config list,\n"
    "                   check, ref show, xml check)\n"
    "Wherever a file is read or written, '-' stands for standard input or output.\n"
    "Progress of work that takes longer than a second is shown on standard error\n"
    "when it is a terminal (PAVORM_PROGRESS_DELAY: milliseconds before it shows).\n";

const char kVersion[] =
    "pavorm (PavoRm51) " PAVORM_TOOL_VERSION "\n";

// Options that may stand before the command: they are handed to it.
bool IsGlobalOption(const std::string& a, bool* takesValue) {
  for (const char* name : {"--hive", "--key", "--lang-dir"}) {
    if (a == name) {
      *takesValue = true;
      return true;
    }
    if (a.compare(0, std::char_traits<char>::length(name) + 1, std::string(name) + "=") == 0) {
      *takesValue = false;
      return true;
    }
  }
  *takesValue = false;
  return a == "--json";
}

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

// The arguments as UTF-8, the tool's text everywhere. On Windows argv is in
// the ANSI code page, which cannot hold every file name: the wide command
// line is read instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::bad_alloc();
  for (int i = 0; i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &a[0], n, nullptr, nullptr);
    a.resize(a.size() - 1);  // the terminator
    out.push_back(a);
  }
  LocalFree(wide);
  return out;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
#ifdef _WIN32
  // What the tool writes is data as often as text (a catalog on standard
  // output, a formatted file): the same bytes as on Linux, no CR added.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  std::vector<std::string> arguments;
  try {
    arguments = Utf8Arguments(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "pavorm: out of memory\n";
    return pavorm_tool::kExitFailed;
  }
  argc = static_cast<int>(arguments.size());
  pavorm_tool::ArgList global;
  int at = 1;
  for (bool value = false; at < argc && IsGlobalOption(arguments[at], &value); ++at) {
    global.push_back(arguments[at]);
    if (!value) continue;
    if (at + 1 >= argc) {
      std::cerr << "pavorm: option '" << arguments[at] << "' needs a value (see 'pavorm --help')\n";
      return pavorm_tool::kExitUsage;
    }
    global.push_back(arguments[++at]);
  }
  if (at >= argc) {
    // A bare call: what the tool does, where a user looks first.
    std::cerr << kHelp;
    return pavorm_tool::kExitUsage;
  }
  const std::string name = arguments[at];
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << kHelp;
    return 0;
  }
  if (name == "--version" || name == "-V") {
    std::cout << kVersion;
    return 0;
  }
  // Options given before the command come first, so that "--" among the
  // command's own arguments still ends them all.
  pavorm_tool::ArgList args = global;
  args.insert(args.end(), arguments.begin() + at + 1, arguments.end());
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
