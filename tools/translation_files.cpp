#include "tools/translation_files.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <set>

#include "platform/win/pe_image.h"
#include "tools/language_tags.h"
#include "tools/po_file.h"
#include "tools/tool_context.h"
#include "tools/xliff_file.h"

namespace pavorm_tool {
namespace {

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && ::strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

const LanguageName* ExactLanguage(unsigned short langId) {
  const LanguageName* l = FindLanguage(langId);
  return l != nullptr && l->langId == langId ? l : nullptr;
}

}  // namespace

std::string ReadInput(const std::string& path) {
  if (path != "-") return ReadFile(path);
  std::string bytes((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (std::cin.bad()) Fail("standard input", "read error");
  return bytes;
}

std::string BaseName(const std::string& path) {
  if (path == "-") return "standard input";
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::ostream& ReportStream(const std::string& output) { return output == "-" ? std::cerr : std::cout; }

std::string OutputOption(const Args& args) {
  if (args.Has("-o")) return args.Get("-o");
  if (args.Has("--output")) return args.Get("--output");
  UsageError(args.Command(), "missing -o FILE ('-' for standard output)");
}

ModuleStrings ReadModuleStrings(const std::string& path) {
  const std::string bytes = ReadInput(path);
  const std::string name = path == "-" ? "standard input" : path;
  pavo::PeImage image;
  if (image.Open(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()) != ERROR_SUCCESS) {
    Fail(name, "not a valid module (corrupt or not a PE file)");
  }
  ModuleStrings strings;
  std::string duplicate;
  image.ForEachString([&](UINT id, WORD language, const BYTE* data, size_t units) {
    pavo::WideString text(units, 0);
    for (size_t i = 0; i < units; ++i) text[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
    if (!strings[language].emplace(id, text).second && duplicate.empty()) {
      duplicate = "string " + std::to_string(id) + " appears twice in language " + LangIdText(language);
    }
  });
  // LoadStringW would see only the first: the module is damaged.
  if (!duplicate.empty()) Fail(name, "malformed string table: " + duplicate);
  return strings;
}

unsigned short ParseLanguageOption(const std::string& command, const std::string& value) {
  if (const LanguageName* l = FindLanguage(value)) return l->langId;
  if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
    errno = 0;
    char* end = nullptr;
    // Hexadecimal with 0x, else decimal (a leading 0 is no octal here).
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const unsigned long n = std::strtoul(value.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno == 0 && end != nullptr && *end == '\0' && n <= 0xFFFF) return static_cast<unsigned short>(n);
  } else if (const unsigned short id = LanguageFromTag(value)) {
    return id;
  }
  UsageError(command, "unknown language '" + value + "' (a name such as deu, a LANGID such as 0x0407, or a tag such as de-DE)");
}

std::string LanguageLabel(unsigned short langId) {
  if (const LanguageName* l = ExactLanguage(langId)) return std::string(l->name) + " (" + LangIdText(langId) + ")";
  const std::string tag = LanguageTag(langId);
  return tag.empty() ? LangIdText(langId) : tag + " (" + LangIdText(langId) + ")";
}

std::string LanguageList(const ModuleStrings& strings) {
  std::string out;
  for (const auto& l : strings) out += (out.empty() ? "" : ", ") + LanguageLabel(l.first);
  return out.empty() ? "none" : out;
}

unsigned short ChooseBaseLanguage(const std::string& path, const ModuleStrings& strings, unsigned short requested) {
  if (strings.empty()) Fail(path, "the module has no strings");
  if (requested != 0) {
    if (strings.count(requested) == 0) {
      Fail(path, "no strings in " + LanguageLabel(requested) + " (it has " + LanguageList(strings) + ")");
    }
    return requested;
  }
  if (strings.size() == 1) return strings.begin()->first;
  if (strings.count(0x0409) != 0) return 0x0409;
  Fail(path, "holds several languages (" + LanguageList(strings) + "): choose the base one with --source-lang");
}

ExchangeFormat FormatOf(const std::string& command, const std::string& option, const std::string& path,
                        bool allowModule) {
  if (!option.empty()) {
    if (option == "po") return ExchangeFormat::kPo;
    if (option == "xliff" || option == "xlf") return ExchangeFormat::kXliff;
    if (allowModule && option == "dll") return ExchangeFormat::kModule;
    UsageError(command, "unknown format '" + option + (allowModule ? "' (po, xliff or dll)" : "' (po or xliff)"));
  }
  if (EndsWith(path, ".po") || EndsWith(path, ".pot")) return ExchangeFormat::kPo;
  if (EndsWith(path, ".xlf") || EndsWith(path, ".xliff")) return ExchangeFormat::kXliff;
  if (allowModule && EndsWith(path, ".dll")) return ExchangeFormat::kModule;
  UsageError(command, "cannot tell the format of '" + path + "': give --format");
}

std::vector<Catalog> ReadExchangeFile(const std::string& path, ExchangeFormat format) {
  const std::string bytes = ReadInput(path);
  const std::string name = path == "-" ? "standard input" : path;
  std::vector<Catalog> catalogs;
  ReadProblem problem;
  if (format == ExchangeFormat::kPo) {
    Catalog catalog;
    problem = ReadPo(bytes, &catalog);
    catalogs.push_back(catalog);
  } else {
    problem = ReadXliff(bytes, &catalogs);
  }
  if (!problem.ok()) Fail(name + ":" + std::to_string(problem.line), problem.reason);
  return catalogs;
}

void WriteExchangeFile(const std::string& path, ExchangeFormat format, const std::vector<Catalog>& catalogs,
                       const std::string& what) {
  std::string error;
  const std::string bytes = format == ExchangeFormat::kPo ? WritePo(catalogs.at(0), &error) : WriteXliff(catalogs, &error);
  if (!error.empty()) Fail(what, error);
  WriteFile(path, bytes);
}

}  // namespace pavorm_tool
