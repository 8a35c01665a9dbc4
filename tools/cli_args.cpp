#include "tools/cli_args.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/win/code_pages.h"
#include "platform/win/utf8_text.h"
#include "tools/tool_files.h"

namespace pavorm_tool {

const OptionSpec kHiveOption = {"--hive", true};
const OptionSpec kKeyOption = {"--key", true};
const OptionSpec kLangDirOption = {"--lang-dir", true};

void Fail(const std::string& what, const std::string& reason) {
  throw ToolError(kExitFailed, what.empty() ? reason : what + ": " + reason);
}

void UsageError(const std::string& command, const std::string& reason) {
  throw ToolError(kExitUsage, command + ": " + reason + " (see 'pavorm " + command + " --help')");
}

Args::Args(const std::string& command, const std::vector<std::string>& argv,
           const std::vector<OptionSpec>& options)
    : command_(command) {
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
      positionals_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      values_["--help"] = "";
      continue;
    }
    // "--name=value" is the same as "--name value".
    std::string name = a;
    std::string inlineValue;
    bool hasInline = false;
    const size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
      hasInline = true;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& o : options) {
      if (name == o.name) spec = &o;
    }
    if (spec == nullptr) UsageError(command, "unknown option '" + name + "'");
    if (!spec->takesValue) {
      if (hasInline) UsageError(command, "option '" + name + "' takes no value");
      values_[name] = "";
      continue;
    }
    if (!hasInline) {
      if (i + 1 >= argv.size()) UsageError(command, "option '" + name + "' needs a value");
      inlineValue = argv[++i];
    }
    values_[name] = inlineValue;
  }
}

std::string Args::Get(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

void Args::ExpectPositionals(size_t min, size_t max) const {
  if (positionals_.size() < min) UsageError(command_, "missing argument");
  if (positionals_.size() > max) UsageError(command_, "unexpected argument '" + positionals_[max] + "'");
}

pavo::WideString Wide(const std::string& utf8) {
  pavo::WideString out;
  if (utf8.empty()) return out;
  if (utf8.size() > static_cast<size_t>(INT_MAX)) throw ToolError(kExitFailed, "text too long");
  const int n = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (units <= 0) return out;
  out.resize(static_cast<size_t>(units));
  const int written = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, &out[0], units);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::string Utf8(const WCHAR* text, size_t length) {
  std::string out;
  if (text != nullptr) pavo::AppendUtf8(text, length, false, &out);
  return out;
}

std::string Utf8(const WCHAR* text) { return Utf8(text, pavo::WideLength(text)); }
std::string Utf8(const pavo::WideString& text) { return Utf8(text.data(), text.size()); }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string OneLine(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", u);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string ShownOnLine(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
      continue;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", u);
    out += buf;
  }
  return out;
}

long ParseNumber(const std::string& command, const std::string& what, const std::string& text,
                 long min, long max) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE || v < min || v > max) {
    UsageError(command, what + " '" + text + "' is not a number from " + std::to_string(min) +
                            " to " + std::to_string(max));
  }
  return v;
}

std::string ReadFile(const std::string& path) {
  if (path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    if (std::cin.bad()) Fail("standard input", "read error");
    return s.str();
  }
  std::string reason;
  const FileKind kind = KindOf(path, &reason);
  if (kind == FileKind::kNone) Fail(path, reason);
  if (kind == FileKind::kDirectory) Fail(path, "is a directory");
  std::ifstream in(FilePath(path), std::ios::binary);
  if (!in) Fail(path, std::strerror(errno));
  // Read in blocks into one string: no second copy of a large file.
  std::string bytes;
  const unsigned long long expected = kind == FileKind::kRegular ? FileSize(path) : 0;
  if (expected > 0 && expected < bytes.max_size()) bytes.reserve(static_cast<size_t>(expected));
  char block[1 << 16];
  while (in) {
    in.read(block, sizeof block);
    bytes.append(block, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) Fail(path, "read error");
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  if (path == "-") {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    return;
  }
  std::ofstream out(FilePath(path), std::ios::binary | std::ios::trunc);
  if (!out) Fail(path, std::strerror(errno));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail(path, "write error");
}

}  // namespace pavorm_tool
