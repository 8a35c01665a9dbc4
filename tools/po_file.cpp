#include "tools/po_file.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "tools/language_tags.h"

namespace pavorm_tool {
namespace {

// One string in PO syntax: escapes for backslash, quote and the C controls;
// split after each line feed that is not the last character.
std::string Quote(const std::string& utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\a': out += "\\a"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\v': out += "\\v"; break;
      case '\n':
        out += "\\n";
        if (i + 1 < utf8.size()) out += "\"\n\"";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          // Octal, three digits: a following digit cannot be read into it.
          out += '\\';
          out += static_cast<char>('0' + (c >> 6));
          out += static_cast<char>('0' + ((c >> 3) & 7));
          out += static_cast<char>('0' + (c & 7));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// keyword "text": a text with inner line feeds starts on a line of its own.
std::string Field(const char* keyword, const std::string& utf8) {
  const size_t lf = utf8.find('\n');
  const bool multiline = lf != std::string::npos && lf + 1 < utf8.size();
  return std::string(keyword) + (multiline ? " \"\"\n" : " ") + Quote(utf8) + "\n";
}

std::string Comment(const std::string& prefix, const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out += prefix + text.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return out;
}

class PoReader {
 public:
  PoReader(const std::string& bytes, Catalog* catalog) : text_(bytes), catalog_(*catalog) {}

  ReadProblem Run() {
    catalog_ = Catalog();
    if (text_.compare(0, 2, "\xFF\xFE") == 0 || text_.compare(0, 2, "\xFE\xFF") == 0) {
      return Fail(1, "a UTF-16 file; PO files are read as UTF-8");
    }
    size_t pos = text_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t lineNo = 0;
    while (pos < text_.size() && problem_.ok()) {
      size_t end = text_.find('\n', pos);
      if (end == std::string::npos) end = text_.size();
      std::string line = text_.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find('\r') != std::string::npos) return Fail(lineNo, "a carriage return inside the line");
      if (!Utf8Valid(line)) return Fail(lineNo, "not UTF-8");
      Line(lineNo, line);
    }
    if (!problem_.ok()) return problem_;
    FinishEntry(lineNo + 1);
    if (!problem_.ok()) return problem_;
    if (!headerSeen_) return Fail(1, "no header entry (msgid \"\" with the file's charset and language)");
    return problem_;
  }

 private:
  enum class Field { kNone, kContext, kId, kString };

  ReadProblem Fail(size_t line, const std::string& reason) {
    if (problem_.ok()) {
      problem_.line = line;
      problem_.reason = reason;
    }
    return problem_;
  }

  static bool Utf8Valid(const std::string& s) {
    pavo::WideString ignored;
    return DecodeUtf8Strict(s, &ignored);
  }

  static std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
  }

  void Line(size_t lineNo, const std::string& raw) {
    const std::string line = Trim(raw);
    if (line.empty()) {
      FinishEntry(lineNo);
      return;
    }
    if (line[0] == '#') {
      // Comments end the strings of an entry only by starting the next one.
      if (field_ == Field::kString) FinishEntry(lineNo);
      if (line.compare(0, 2, "#~") == 0) return;  // an obsolete entry: no longer in the program
      if (line.compare(0, 2, "#,") == 0) {
        size_t start = 2;
        while (start < line.size()) {
          size_t comma = line.find(',', start);
          if (comma == std::string::npos) comma = line.size();
          if (Trim(line.substr(start, comma - start)) == "fuzzy") fuzzy_ = true;
          start = comma + 1;
        }
      }
      return;
    }
    if (line[0] == '"') {
      if (field_ == Field::kNone) {
        Fail(lineNo, "a string outside an entry");
        return;
      }
      std::string bytes;
      if (!Literal(lineNo, line, 0, &bytes)) return;
      *Current() += bytes;
      return;
    }
    size_t word = 0;
    while (word < line.size() && (std::isalnum(static_cast<unsigned char>(line[word])) || line[word] == '_' ||
                                  line[word] == '[' || line[word] == ']')) {
      ++word;
    }
    const std::string keyword = line.substr(0, word);
    if (keyword == "msgid_plural" || keyword.compare(0, 7, "msgstr[") == 0) {
      Fail(lineNo, "plural forms are not supported: a string table entry has one text");
      return;
    }
    if (keyword != "msgctxt" && keyword != "msgid" && keyword != "msgstr") {
      Fail(lineNo, "expected msgctxt, msgid, msgstr, a string or a comment");
      return;
    }
    if (keyword == "msgctxt") {
      if (field_ == Field::kString) FinishEntry(lineNo);
      if (field_ != Field::kNone) {
        Fail(lineNo, "msgctxt in the middle of an entry");
        return;
      }
      field_ = Field::kContext;
      hasContext_ = true;
      entryLine_ = lineNo;
    } else if (keyword == "msgid") {
      if (field_ == Field::kString) FinishEntry(lineNo);
      if (field_ != Field::kNone && field_ != Field::kContext) {
        Fail(lineNo, "msgid in the middle of an entry");
        return;
      }
      if (field_ == Field::kNone) entryLine_ = lineNo;
      field_ = Field::kId;
      hasId_ = true;
    } else {
      if (field_ != Field::kId) {
        Fail(lineNo, "msgstr without a msgid before it");
        return;
      }
      field_ = Field::kString;
      hasString_ = true;
    }
    size_t at = word;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at == word || at >= line.size() || line[at] != '"') {
      Fail(lineNo, keyword + " must be followed by a quoted string");
      return;
    }
    std::string bytes;
    if (Literal(lineNo, line, at, &bytes)) *Current() += bytes;
  }

  std::string* Current() {
    switch (field_) {
      case Field::kContext: return &context_;
      case Field::kId: return &id_;
      default: return &string_;
    }
  }

  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The quoted string starting at line[at], escapes resolved to bytes.
  bool Literal(size_t lineNo, const std::string& line, size_t at, std::string* out) {
    size_t i = at + 1;
    for (;;) {
      if (i >= line.size()) {
        Fail(lineNo, "string not closed with '\"'");
        return false;
      }
      const char c = line[i++];
      if (c == '"') break;
      if (c != '\\') {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          Fail(lineNo, "a control character inside a string (write it as an escape)");
          return false;
        }
        *out += c;
        continue;
      }
      if (i >= line.size()) {
        Fail(lineNo, "string not closed with '\"'");
        return false;
      }
      const char e = line[i++];
      switch (e) {
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case 'r': *out += '\r'; break;
        case 'a': *out += '\a'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'v': *out += '\v'; break;
        case '\\': *out += '\\'; break;
        case '"': *out += '"'; break;
        case '\'': *out += '\''; break;
        case '?': *out += '?'; break;
        case 'x': {
          unsigned value = 0;
          size_t digits = 0;
          while (i < line.size() && HexValue(line[i]) >= 0 && digits < 2) {
            value = value * 16 + static_cast<unsigned>(HexValue(line[i++]));
            ++digits;
          }
          if (digits == 0) {
            Fail(lineNo, "\\x without hexadecimal digits");
            return false;
          }
          *out += static_cast<char>(value);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int k = 0; k < 2 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++k) {
              value = value * 8 + static_cast<unsigned>(line[i++] - '0');
            }
            if (value > 0xFF) {
              Fail(lineNo, "octal escape above \\377");
              return false;
            }
            *out += static_cast<char>(value);
            break;
          }
          Fail(lineNo, std::string("unknown escape '\\") + e + "'");
          return false;
      }
    }
    if (!Trim(line.substr(i)).empty()) {
      Fail(lineNo, "text after the closing '\"'");
      return false;
    }
    return true;
  }

  // Decodes an entry's bytes (escapes may have made them ill-formed).
  bool Text(const std::string& bytes, const char* what, pavo::WideString* out) {
    if (bytes.find('\0') != std::string::npos) {
      Fail(entryLine_, std::string(what) + " holds a NUL character");
      return false;
    }
    if (!DecodeUtf8Strict(bytes, out)) {
      Fail(entryLine_, std::string(what) + " is not UTF-8 (an escape made it ill-formed)");
      return false;
    }
    return true;
  }

  void FinishEntry(size_t lineNo) {
    if (field_ == Field::kNone) {
      fuzzy_ = false;  // flags of a comment block without an entry
      return;
    }
    if (!problem_.ok()) return;
    if (!hasString_) {
      Fail(lineNo, "entry without msgstr");
      return;
    }
    if (!hasContext_ && id_.empty()) {
      Header();
    } else {
      Entry();
    }
    field_ = Field::kNone;
    context_.clear();
    id_.clear();
    string_.clear();
    hasContext_ = hasId_ = hasString_ = fuzzy_ = false;
  }

  void Header() {
    if (headerSeen_) {
      Fail(entryLine_, "a second header entry");
      return;
    }
    headerSeen_ = true;
    size_t start = 0;
    while (start < string_.size()) {
      size_t end = string_.find('\n', start);
      if (end == std::string::npos) end = string_.size();
      const std::string field = string_.substr(start, end - start);
      start = end + 1;
      const size_t colon = field.find(':');
      if (colon == std::string::npos) continue;
      std::string name = Trim(field.substr(0, colon));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::string value = Trim(field.substr(colon + 1));
      if (name == "content-type") {
        std::string lower = value;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t cs = lower.find("charset=");
        const std::string charset = cs == std::string::npos ? std::string() : Trim(lower.substr(cs + 8));
        if (charset != "utf-8" && charset != "utf8") {
          Fail(entryLine_, "charset '" + (cs == std::string::npos ? std::string("(none)") : value.substr(cs + 8)) +
                               "' in the header: save the file as UTF-8");
          return;
        }
      } else if (name == "language" || name == "x-source-language") {
        if (value.empty()) continue;
        const unsigned short id = LanguageFromTag(value);
        if (id == 0) {
          Fail(entryLine_, "unknown language '" + value + "' in the header");
          return;
        }
        (name == "language" ? catalog_.targetLanguage : catalog_.sourceLanguage) = id;
      } else if (name == "project-id-version") {
        catalog_.original = value;
      }
    }
  }

  void Entry() {
    if (!hasContext_) {
      Fail(entryLine_, "entry without msgctxt (the string id)");
      return;
    }
    if (!headerSeen_) {
      Fail(entryLine_, "an entry before the header entry");
      return;
    }
    unsigned long id = 0;
    bool digits = !context_.empty() && context_.size() <= 5;
    for (const char c : context_) {
      if (c < '0' || c > '9') digits = false;
      else id = id * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!digits || id > 0xFFFF) {
      Fail(entryLine_, "msgctxt \"" + context_ + "\" is not a string id (0 to 65535)");
      return;
    }
    if (!ids_.insert(static_cast<unsigned>(id)).second) {
      Fail(entryLine_, "a second entry for string " + std::to_string(id));
      return;
    }
    CatalogEntry entry;
    entry.id = static_cast<unsigned>(id);
    if (!Text(id_, "msgid", &entry.source) || !Text(string_, "msgstr", &entry.translation)) return;
    entry.translated = !fuzzy_ && !entry.translation.empty();
    if (!entry.translated) entry.translation.clear();
    catalog_.entries.push_back(entry);
    if (catalog_.entries.size() > 1 && catalog_.entries[catalog_.entries.size() - 2].id > entry.id) sorted_ = false;
  }

 public:
  bool sorted() const { return sorted_; }

 private:
  const std::string& text_;
  Catalog& catalog_;
  ReadProblem problem_;
  Field field_ = Field::kNone;
  std::string context_, id_, string_;
  bool hasContext_ = false, hasId_ = false, hasString_ = false, fuzzy_ = false;
  bool headerSeen_ = false;
  bool sorted_ = true;
  size_t entryLine_ = 0;
  std::set<unsigned> ids_;
};

}  // namespace

std::string WritePo(const Catalog& catalog, std::string* error) {
  error->clear();
  std::string out;
  out += "# Strings of " + (catalog.original.empty() ? std::string("a module") : catalog.original) +
         " for translation (pavorm export).\n";
  out += "# msgctxt is the string id; keep the inserts (%1, %2!d!, ...) of msgid in msgstr.\n";
  out += "msgid \"\"\nmsgstr \"\"\n";
  std::string original = catalog.original;
  for (char& c : original) {
    if (c == '\n' || c == '\r' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  const std::string header = "Project-Id-Version: " + original +
                             "\nPO-Revision-Date: \nLast-Translator: \nLanguage-Team: \nLanguage: " +
                             PoLanguage(catalog.targetLanguage) +
                             "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
                             "Content-Transfer-Encoding: 8bit\nX-Source-Language: " +
                             PoLanguage(catalog.sourceLanguage) + "\nX-Generator: pavorm\n";
  size_t start = 0;
  while (start < header.size()) {
    const size_t end = header.find('\n', start);
    out += Quote(header.substr(start, end + 1 - start)) + "\n";
    start = end + 1;
  }
  for (const CatalogEntry& e : catalog.entries) {
    std::string source, translation;
    for (const pavo::WideString* text : {&e.source, &e.translation}) {
      const std::string why = UnwritableCharacter(*text, TextFormat::kPo);
      if (!why.empty()) {
        *error = "string " + std::to_string(e.id) + " " + why;
        return std::string();
      }
    }
    if (!EncodeUtf8Strict(e.source, &source) || !EncodeUtf8Strict(e.translation, &translation)) {
      *error = "string " + std::to_string(e.id) + " is not valid UTF-16";
      return std::string();
    }
    out += "\n";
    const std::string note = TranslatorNote(e.source);
    if (!note.empty()) out += Comment("#. ", note);
    out += "msgctxt \"" + std::to_string(e.id) + "\"\n";
    out += Field("msgid", source);
    out += Field("msgstr", e.translated ? translation : std::string());
  }
  return out;
}

ReadProblem ReadPo(const std::string& bytes, Catalog* catalog) {
  PoReader reader(bytes, catalog);
  ReadProblem problem = reader.Run();
  if (!problem.ok()) {
    *catalog = Catalog();
    return problem;
  }
  if (!reader.sorted()) {
    std::sort(catalog->entries.begin(), catalog->entries.end(),
              [](const CatalogEntry& a, const CatalogEntry& b) { return a.id < b.id; });
  }
  return problem;
}

}  // namespace pavorm_tool
