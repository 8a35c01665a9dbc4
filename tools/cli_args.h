// Command-line plumbing of the pavorm tool: argument parsing, the error that
// ends a command (one line on standard error and an exit status), and text
// conversion between the tool's UTF-8 and the library's UTF-16.
#ifndef PAVORM_TOOLS_CLI_ARGS_H
#define PAVORM_TOOLS_CLI_ARGS_H

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/wide_text.h"

namespace pavorm_tool {

constexpr int kExitFailed = 1;  // an operation failed (or a check found problems)
constexpr int kExitUsage = 2;   // the command line itself is wrong

// Ends the running command: main prints "pavorm: <message>" and exits with status.
class ToolError : public std::runtime_error {
 public:
  ToolError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// A failed operation about `what` (a file, a key): "what: reason".
[[noreturn]] void Fail(const std::string& what, const std::string& reason);
// A usage error of `command`; the message points at its --help.
[[noreturn]] void UsageError(const std::string& command, const std::string& reason);

// One option a command accepts: "--name" alone or "--name VALUE".
struct OptionSpec {
  const char* name;
  bool takesValue;
};

// The parsed command line of one command. Options may stand anywhere among the
// positionals; "--" ends the options. --help is always accepted.
class Args {
 public:
  Args(const std::string& command, const std::vector<std::string>& argv,
       const std::vector<OptionSpec>& options);
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The option's value, or fallback when it was not given.
  std::string Get(const std::string& name, const std::string& fallback = std::string()) const;
  bool WantsHelp() const { return Has("--help"); }
  const std::vector<std::string>& Positionals() const { return positionals_; }
  // Usage error unless the number of positionals lies in [min, max].
  void ExpectPositionals(size_t min, size_t max) const;
  const std::string& Command() const { return command_; }

 private:
  std::string command_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positionals_;
};

// Options every command that touches the configuration accepts.
extern const OptionSpec kHiveOption;     // --hive FILE
extern const OptionSpec kKeyOption;      // --key PATH
extern const OptionSpec kLangDirOption;  // --lang-dir DIR

// UTF-8 (command line, files) to UTF-16; ill-formed bytes become U+FFFD.
pavo::WideString Wide(const std::string& utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const WCHAR* text, size_t length);
std::string Utf8(const WCHAR* text);
std::string Utf8(const pavo::WideString& text);

// Equal when ASCII letters are folded to one case (other bytes compare as
// they are): language names and file extensions.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Text as one JSON string literal (quotes included).
std::string JsonString(const std::string& utf8);
// Text for a listing line: control characters (tab, newline, ...) as \xNN,
// everything else as it is (a backslash stays one).
std::string ShownOnLine(const std::string& utf8);
// Text on one line: backslash, tab, newline, carriage return and other
// control characters written as escapes.
std::string OneLine(const std::string& utf8);
// A decimal integer within [min, max]; usage error of command otherwise.
long ParseNumber(const std::string& command, const std::string& what, const std::string& text,
                 long min, long max);

// Reads a whole file ("-": standard input); Fail(path, reason) when it cannot.
std::string ReadFile(const std::string& path);
// Replaces a file (or writes standard output for "-"); Fail(path, reason) when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace pavorm_tool

#endif
