// The strings of one language as translators exchange them: each base text
// (the source) with its translation, and what the exchange formats need to
// say about them (a note for the translator, characters a format cannot carry).
#ifndef PAVORM_TOOLS_TRANSLATION_CATALOG_H
#define PAVORM_TOOLS_TRANSLATION_CATALOG_H

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"

namespace pavorm_tool {

struct CatalogEntry {
  unsigned id = 0;               // the string id, 0..65535
  pavo::WideString source;       // the base text
  pavo::WideString translation;  // meaningful when translated
  bool translated = false;       // false: empty, fuzzy or marked as needing translation
};

struct Catalog {
  std::string original;               // the module it came from (for the file's header)
  unsigned short sourceLanguage = 0;  // 0: not known
  unsigned short targetLanguage = 0;  // 0: not set (a template)
  std::vector<CatalogEntry> entries;  // ascending ids, each once
};

// Where a reader stopped: line 0 means the file was read.
struct ReadProblem {
  size_t line = 0;
  std::string reason;
  bool ok() const { return reason.empty(); }
};

// A note on what the program fills in or reads in `source`: its inserts
// ("%1!d! is a number"), FormatMessage escapes and the accelerator marker;
// "" when there is nothing to say.
std::string TranslatorNote(const pavo::WideString& source);

// Which characters a format can carry.
enum class TextFormat { kPo, kXml };
// "" when every character of text can be written to the format, else why not:
// NUL (both), C0 controls but tab, line feed and carriage return, and
// U+FFFE/U+FFFF (XML 1.0), lone surrogates (UTF-8).
std::string UnwritableCharacter(const pavo::WideString& text, TextFormat format);

// Strict conversions of exchange-file text: false for ill-formed input.
bool DecodeUtf8Strict(const std::string& utf8, pavo::WideString* out);
bool EncodeUtf8Strict(const pavo::WideString& text, std::string* out);

}  // namespace pavorm_tool

#endif
