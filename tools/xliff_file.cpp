#include "tools/xliff_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "ezxml.h"
#include "tools/language_tags.h"
#include "tools/xml_wellformed.h"

namespace pavorm_tool {
namespace {

const char kNamespace[] = "urn:oasis:names:tc:xliff:document:1.2";

struct DocumentDeleter {
  void operator()(ezxml_node* root) const { ezxml_free(root); }
};
using Document = std::unique_ptr<ezxml_node, DocumentDeleter>;

// Builds a document whose values and texts live in `arena` (the XML library
// stores the pointers it is given), indented: each element's children on
// lines of their own. A parent's children are added from the last to the
// first, so that each one goes to the front of its parent's chains.
class TreeBuilder {
 public:
  // Interned copy of s, alive as long as the builder.
  const char* Keep(const std::string& s) {
    arena_.push_back(s);
    return arena_.back().c_str();
  }

  // Gives parent the text of `count` children on indented lines; child i
  // (0-based) then belongs at ChildOffset(i, depth).
  void Indent(ezxml_node* parent, size_t count, size_t depth) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += LineStart(depth + 1);
    text += LineStart(depth);
    ezxml_set_txt(parent, Keep(text));
  }
  static size_t ChildOffset(size_t index, size_t depth) { return (index + 1) * LineStart(depth + 1).size(); }

  static ezxml_node* Add(ezxml_node* parent, const char* name, size_t offset) {
    ezxml_node* e = ezxml_add_child(parent, name, offset);
    if (e == nullptr) throw std::bad_alloc();
    return e;
  }

 private:
  static std::string LineStart(size_t depth) { return "\n" + std::string(2 * depth, ' '); }
  std::deque<std::string> arena_;
};

std::string LocalName(const char* name) {
  const char* colon = name != nullptr ? std::strrchr(name, ':') : nullptr;
  return colon != nullptr ? std::string(colon + 1) : std::string(name != nullptr ? name : "");
}

// The element children of node in document order.
std::vector<ezxml_node*> Children(ezxml_node* node) {
  std::vector<ezxml_node*> out;
  for (ezxml_node* c = node->child; c != nullptr; c = c->ordered) out.push_back(c);
  return out;
}

ezxml_node* Child(ezxml_node* node, const char* local) {
  for (ezxml_node* c = node->child; c != nullptr; c = c->ordered) {
    if (LocalName(c->name) == local) return c;
  }
  return nullptr;
}

// The 1-based line of the element's start tag: the parser keeps no
// positions, so it is found by the unit's id in the text (0 when not found).
size_t LineOfUnit(const std::string& text, const char* id) {
  if (id == nullptr) return 0;
  const std::string needle = std::string("id=\"") + id + "\"";
  const size_t at = text.find(needle);
  if (at == std::string::npos) return 0;
  size_t line = 1;
  for (size_t i = 0; i < at; ++i) line += text[i] == '\n';
  return line;
}

bool NeedsWork(const char* state) {
  if (state == nullptr) return false;
  const std::string s = state;
  return s == "new" || s.compare(0, 6, "needs-") == 0;
}

class XliffReader {
 public:
  XliffReader(const std::string& text, std::vector<Catalog>* files) : text_(text), files_(*files) {}

  ReadProblem Run() {
    files_.clear();
    const XmlProblem wellFormed = CheckWellFormed(text_);
    if (wellFormed.line != 0) return Fail(wellFormed.line, wellFormed.reason);
    if (!DeclaredUtf8()) return problem_;
    std::vector<char> buffer(text_.begin(), text_.end());
    buffer.push_back('\0');  // the parser overwrites the last byte
    Document doc(ezxml_parse_str(buffer.data(), buffer.size()));
    if (!doc) return Fail(1, "out of memory");
    ezxml_node* root = doc.get();
    if (LocalName(root->name) != "xliff") return Fail(1, "the root element is not <xliff>");
    const char* version = ezxml_attr(root, "version");
    if (version == nullptr || std::strncmp(version, "1.", 2) != 0) {
      return Fail(1, std::string("XLIFF version ") + (version ? version : "(none)") + ": only 1.x is read");
    }
    for (ezxml_node* file : Children(root)) {
      if (LocalName(file->name) != "file") continue;
      if (!File(file)) return problem_;
    }
    if (files_.empty()) return Fail(1, "no <file> element");
    return problem_;
  }

 private:
  ReadProblem Fail(size_t line, const std::string& reason) {
    if (problem_.ok()) {
      problem_.line = line == 0 ? 1 : line;
      problem_.reason = reason;
    }
    return problem_;
  }

  // The XML declaration may name UTF-8 only (a UTF-16 file was converted).
  bool DeclaredUtf8() {
    size_t start = text_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (text_.compare(start, 5, "<?xml") != 0) return true;
    const size_t end = text_.find("?>", start);
    const std::string decl = text_.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t at = decl.find("encoding");
    if (at == std::string::npos) return true;
    const size_t quote = decl.find_first_of("\"'", at);
    if (quote == std::string::npos) return true;
    const size_t close = decl.find(decl[quote], quote + 1);
    std::string name = decl.substr(quote + 1, close == std::string::npos ? std::string::npos : close - quote - 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "utf-8" || name == "utf8" || (utf16_ && name == "utf-16")) return true;
    Fail(1, "encoding '" + name + "': XLIFF files are read as UTF-8 (or UTF-16 with a byte-order mark)");
    return false;
  }

  bool Language(ezxml_node* file, const char* attribute, unsigned short* out) {
    const char* tag = ezxml_attr(file, attribute);
    if (tag == nullptr || *tag == '\0') return true;
    *out = LanguageFromTag(tag);
    if (*out != 0) return true;
    Fail(1, std::string("unknown language '") + tag + "' in " + attribute);
    return false;
  }

  bool File(ezxml_node* file) {
    Catalog catalog;
    const char* original = ezxml_attr(file, "original");
    if (original != nullptr) catalog.original = original;
    if (!Language(file, "source-language", &catalog.sourceLanguage) ||
        !Language(file, "target-language", &catalog.targetLanguage)) {
      return false;
    }
    ezxml_node* body = Child(file, "body");
    std::set<unsigned> ids;
    // Groups may nest: walk them with an explicit stack.
    std::vector<ezxml_node*> pending;
    if (body != nullptr) pending.push_back(body);
    std::vector<ezxml_node*> units;
    while (!pending.empty()) {
      ezxml_node* node = pending.back();
      pending.pop_back();
      const std::vector<ezxml_node*> children = Children(node);
      // Reversed onto the stack, so that units come out in document order.
      for (size_t i = children.size(); i-- > 0;) {
        const std::string name = LocalName(children[i]->name);
        if (name == "group") pending.push_back(children[i]);
      }
      for (ezxml_node* c : children) {
        if (LocalName(c->name) == "trans-unit") units.push_back(c);
      }
    }
    for (ezxml_node* unit : units) {
      CatalogEntry entry;
      if (!Unit(unit, &entry)) return false;
      if (!ids.insert(entry.id).second) {
        Fail(LineOfUnit(text_, ezxml_attr(unit, "id")), "a second trans-unit for string " + std::to_string(entry.id));
        return false;
      }
      catalog.entries.push_back(entry);
    }
    std::sort(catalog.entries.begin(), catalog.entries.end(),
              [](const CatalogEntry& a, const CatalogEntry& b) { return a.id < b.id; });
    files_.push_back(catalog);
    return true;
  }

  template <typename Line>
  bool Text(ezxml_node* element, const Line& line, unsigned id, pavo::WideString* out) {
    if (element->child != nullptr) {
      Fail(line, "<" + LocalName(element->child->name) + "> inside <" + LocalName(element->name) + "> of string " +
                     std::to_string(id) + ": inline markup is not supported");
      return false;
    }
    if (!DecodeUtf8Strict(element->text, out)) {
      Fail(line, "string " + std::to_string(id) + " is not UTF-8");
      return false;
    }
    return true;
  }

  bool Unit(ezxml_node* unit, CatalogEntry* entry) {
    const char* idText = ezxml_attr(unit, "id");
    // Found only for a message: the search is linear in the file.
    struct LazyLine {
      const std::string& text;
      const char* id;
      operator size_t() const { return LineOfUnit(text, id); }
    } line{text_, idText};
    unsigned long id = 0;
    bool digits = idText != nullptr && *idText != '\0' && std::strlen(idText) <= 5;
    for (const char* p = idText; digits && *p != '\0'; ++p) {
      if (*p < '0' || *p > '9') digits = false;
      else id = id * 10 + static_cast<unsigned long>(*p - '0');
    }
    if (!digits || id > 0xFFFF) {
      Fail(line, std::string("trans-unit id '") + (idText ? idText : "") + "' is not a string id (0 to 65535)");
      return false;
    }
    entry->id = static_cast<unsigned>(id);
    ezxml_node* source = Child(unit, "source");
    if (source == nullptr) {
      Fail(line, "trans-unit " + std::to_string(id) + " has no <source>");
      return false;
    }
    if (!Text(source, line, entry->id, &entry->source)) return false;
    ezxml_node* target = Child(unit, "target");
    if (target == nullptr) return true;
    if (!Text(target, line, entry->id, &entry->translation)) return false;
    entry->translated = !entry->translation.empty() && !NeedsWork(ezxml_attr(target, "state"));
    if (!entry->translated) entry->translation.clear();
    return true;
  }

 public:
  bool utf16_ = false;

 private:
  const std::string& text_;
  std::vector<Catalog>& files_;
  ReadProblem problem_;
};

}  // namespace

std::string WriteXliff(const std::vector<Catalog>& files, std::string* error) {
  error->clear();
  // Every text as UTF-8 first: a string XML cannot carry stops the export.
  struct UnitText {
    std::string source, translation, note;
  };
  std::vector<std::vector<UnitText>> texts(files.size());
  for (size_t f = 0; f < files.size(); ++f) {
    for (const CatalogEntry& e : files[f].entries) {
      for (const pavo::WideString* text : {&e.source, &e.translation}) {
        const std::string why = UnwritableCharacter(*text, TextFormat::kXml);
        if (!why.empty()) {
          *error = "string " + std::to_string(e.id) + " " + why;
          return std::string();
        }
      }
      UnitText t;
      if (!EncodeUtf8Strict(e.source, &t.source) || !EncodeUtf8Strict(e.translation, &t.translation)) {
        *error = "string " + std::to_string(e.id) + " is not valid UTF-16";
        return std::string();
      }
      if (!e.translated) t.translation.clear();
      t.note = TranslatorNote(e.source);
      texts[f].push_back(t);
    }
  }

  TreeBuilder b;
  Document doc(ezxml_new("xliff"));
  if (!doc) throw std::bad_alloc();
  ezxml_node* root = doc.get();
  ezxml_set_attr(root, "version", "1.2");
  ezxml_set_attr(root, "xmlns", kNamespace);
  b.Indent(root, files.size(), 0);
  for (size_t f = files.size(); f-- > 0;) {
    const Catalog& catalog = files[f];
    ezxml_node* file = TreeBuilder::Add(root, "file", TreeBuilder::ChildOffset(f, 0));
    ezxml_set_attr(file, "original", b.Keep(catalog.original.empty() ? std::string("strings") : catalog.original));
    const std::string source = LanguageTag(catalog.sourceLanguage);
    ezxml_set_attr(file, "source-language", b.Keep(source.empty() ? std::string("en-US") : source));
    const std::string targetTag = LanguageTag(catalog.targetLanguage);
    if (!targetTag.empty()) ezxml_set_attr(file, "target-language", b.Keep(targetTag));
    ezxml_set_attr(file, "datatype", "winres");
    b.Indent(file, 1, 1);
    ezxml_node* body = TreeBuilder::Add(file, "body", TreeBuilder::ChildOffset(0, 1));
    b.Indent(body, catalog.entries.size(), 2);
    for (size_t u = catalog.entries.size(); u-- > 0;) {
      const CatalogEntry& e = catalog.entries[u];
      const UnitText& t = texts[f][u];
      ezxml_node* unit = TreeBuilder::Add(body, "trans-unit", TreeBuilder::ChildOffset(u, 2));
      const char* id = b.Keep(std::to_string(e.id));
      ezxml_set_attr(unit, "id", id);
      ezxml_set_attr(unit, "resname", id);
      ezxml_set_attr(unit, "xml:space", "preserve");
      const size_t parts = t.note.empty() ? 2 : 3;
      b.Indent(unit, parts, 3);
      if (parts == 3) {
        ezxml_node* note = TreeBuilder::Add(unit, "note", TreeBuilder::ChildOffset(2, 3));
        ezxml_set_attr(note, "from", "pavorm");
        ezxml_set_attr(note, "annotates", "source");
        ezxml_set_txt(note, b.Keep(t.note));
      }
      ezxml_node* target = TreeBuilder::Add(unit, "target", TreeBuilder::ChildOffset(1, 3));
      ezxml_set_attr(target, "state", e.translated ? "translated" : "needs-translation");
      ezxml_set_txt(target, b.Keep(t.translation));
      ezxml_node* sourceNode = TreeBuilder::Add(unit, "source", TreeBuilder::ChildOffset(0, 3));
      ezxml_set_txt(sourceNode, b.Keep(t.source));
    }
  }
  char* xml = ezxml_toxml(root);
  if (xml == nullptr) throw std::bad_alloc();
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += xml;
  out += "\n";
  std::free(xml);
  return out;
}

ReadProblem ReadXliff(const std::string& bytes, std::vector<Catalog>* files) {
  std::string text;
  bool utf16 = false;
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    const bool little = bytes[0] == '\xFF';
    pavo::WideString units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const unsigned lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
      const unsigned hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
      units.push_back(static_cast<WCHAR>(lo | (hi << 8)));
    }
    if (bytes.size() % 2 != 0 || !EncodeUtf8Strict(units, &text)) {
      ReadProblem p;
      p.line = 1;
      p.reason = "not UTF-16 (odd length or a lone surrogate)";
      return p;
    }
    utf16 = true;
  } else {
    text = bytes;
    pavo::WideString ignored;
    if (!DecodeUtf8Strict(text, &ignored)) {
      // The line of the first ill-formed byte.
      size_t line = 1, start = 0;
      for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
          if (!DecodeUtf8Strict(text.substr(start, i - start), &ignored)) break;
          ++line;
          start = i + 1;
        }
      }
      ReadProblem p;
      p.line = line;
      p.reason = "not UTF-8";
      return p;
    }
  }
  XliffReader reader(text, files);
  reader.utf16_ = utf16;
  ReadProblem p = reader.Run();
  if (!p.ok()) files->clear();
  return p;
}

}  // namespace pavorm_tool
