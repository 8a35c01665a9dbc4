#include "tools/translation_catalog.h"

#include <cstdio>
#include <set>

#include "platform/win/utf8_text.h"
#include "tools/message_inserts.h"
#include "tools/message_text.h"

namespace pavorm_tool {
namespace {

// What the program passes for a conversion, in a translator's words.
std::string ConversionMeaning(const std::string& conversion) {
  if (conversion.find('|') != std::string::npos) return "used with different formats (" + conversion + ")";
  // Length modifiers (h, l, ll, w, I64, ...) do not change the kind of value.
  const char kind = conversion.empty() ? '?' : conversion.back();
  switch (kind) {
    case 's':
    case 'S': return "a text";
    case 'c':
    case 'C': return "a character";
    case 'd':
    case 'i':
    case 'u': return "a number";
    case 'x':
    case 'X': return "a hexadecimal number";
    case 'o': return "an octal number";
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G': return "a decimal number";
    case 'p': return "an address";
    default: return "a value";
  }
}

std::string Hex(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", value);
  return buf;
}

}  // namespace

std::string TranslatorNote(const pavo::WideString& source) {
  std::string inserts;
  std::set<std::string> escapes;
  for (const InsertSpan& span : FindInserts(source)) {
    std::string written;
    for (size_t i = span.begin; i < span.end; ++i) written += source[i] < 0x80 ? static_cast<char>(source[i]) : '?';
    if (span.number != 0) {
      if (!inserts.empty()) inserts += "; ";
      inserts += written + " is " + ConversionMeaning(span.conversion);
      continue;
    }
    const WCHAR c = source[span.begin + 1];
    if (c == WTEXT('n')) escapes.insert("%n is a line break");
    else if (c == WTEXT('%')) escapes.insert("%% is a percent sign");
    else if (c == WTEXT('t')) escapes.insert("%t is a tab");
    else if (c == WTEXT('r')) escapes.insert("%r is a carriage return");
    else if (c == WTEXT('0')) escapes.insert("%0 ends the message without a line break");
  }
  std::string note;
  if (!inserts.empty()) note = "Inserts: " + inserts + ". Keep each one; their order may change.";
  for (const std::string& e : escapes) note += (note.empty() ? "" : " ") + e + ".";
  if (!AcceleratorKeys(source).empty()) {
    note += (note.empty() ? "" : " ");
    note += "'&' marks the access key (the letter after it); keep exactly one.";
  }
  return note;
}

std::string UnwritableCharacter(const pavo::WideString& text, TextFormat format) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned c = text[i];
    if (c == 0) return "holds a NUL character, which the exchange files cannot carry";
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) return "holds a lone surrogate (" + Hex(c) + "), which UTF-8 cannot carry";
    if (format != TextFormat::kXml) continue;
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF) {
      return "holds " + Hex(c) + ", which XML 1.0 cannot carry (the PO format can)";
    }
  }
  return std::string();
}

bool DecodeUtf8Strict(const std::string& utf8, pavo::WideString* out) {
  out->clear();
  if (utf8.empty()) return true;
  size_t units = 0;
  if (pavo::DecodeUtf8(utf8.data(), utf8.size(), true, nullptr, 0, &units) != pavo::Utf8Status::kOk) return false;
  out->resize(units);
  size_t written = 0;
  if (pavo::DecodeUtf8(utf8.data(), utf8.size(), true, &(*out)[0], units, &written) != pavo::Utf8Status::kOk ||
      written != units) {
    out->clear();
    return false;
  }
  return true;
}

bool EncodeUtf8Strict(const pavo::WideString& text, std::string* out) {
  out->clear();
  return pavo::AppendUtf8(text.data(), text.size(), true, out);
}

}  // namespace pavorm_tool
