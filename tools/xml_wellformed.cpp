#include "tools/xml_wellformed.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace pavorm_tool {
namespace {

constexpr int kMaxEntityDepth = 40;  // as libxml2: deeper nesting is refused

bool IsSpace(uint32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// XML 1.0's Char production.
bool IsChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// NameStartChar and NameChar of the fifth edition.
bool IsNameStart(uint32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}
bool IsNameChar(uint32_t c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Decodes the UTF-8 character at i of s (checked beforehand by FirstBadChar)
// into *length bytes; 0 at the end.
uint32_t Decode(const std::string& s, size_t i, size_t* length) {
  if (i >= s.size()) {
    *length = 0;
    return 0;
  }
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + n > s.size()) n = s.size() - i;
  uint32_t v = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  *length = n;
  return v;
}

// The offset of the first byte that is not well-formed UTF-8 or begins a
// character XML does not allow; npos when there is none. *reason says which.
size_t FirstBadChar(const std::string& s, size_t from, std::string* reason) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  for (size_t i = from; i < s.size();) {
    const unsigned char c = at(i);
    uint32_t v = c;
    size_t n = 0;
    uint32_t min = 0;
    if (c >= 0x80) {
      if (c >= 0xC2 && c <= 0xDF) {
        n = 1, min = 0x80, v = c & 0x1F;
      } else if (c >= 0xE0 && c <= 0xEF) {
        n = 2, min = 0x800, v = c & 0x0F;
      } else if (c >= 0xF0 && c <= 0xF4) {
        n = 3, min = 0x10000, v = c & 0x07;
      } else {
        *reason = "bytes that are not UTF-8";
        return i;
      }
      if (s.size() - i <= n) {
        *reason = "bytes that are not UTF-8 (cut at the end)";
        return i;
      }
      for (size_t k = 1; k <= n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) {
          *reason = "bytes that are not UTF-8";
          return i;
        }
        v = (v << 6) | (at(i + k) & 0x3F);
      }
      if (v < min || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) {
        *reason = "bytes that are not UTF-8";
        return i;
      }
    }
    if (!IsChar(v)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "character U+%04X is not allowed in XML", static_cast<unsigned>(v));
      *reason = buf;
      return i;
    }
    i += n + 1;
  }
  return std::string::npos;
}

struct Entity {
  std::string value;  // replacement text (character references expanded)
  bool external = false;
  bool unparsed = false;
  int contentState = 0;  // 0 not checked, 1 being checked, 2 well-formed as content
  int attributeState = 0;
};

class Checker {
 public:
  Checker(const std::string& text, XmlFacts* facts, std::atomic<size_t>* progress)
      : doc_(text), s_(&text), facts_(facts != nullptr ? facts : &ownFacts_), progress_(progress) {}

  XmlProblem Run() {
    *facts_ = XmlFacts();
    std::string reason;
    if (doc_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    const size_t bad = FirstBadChar(doc_, pos_, &reason);
    if (bad != std::string::npos) return ProblemAt(bad, reason);
    if (Document()) return XmlProblem();
    return problem_;
  }

 private:
  // ---- the scanned text: the document, or an entity's replacement text ----
  const std::string& s() const { return *s_; }
  bool AtEnd() const { return pos_ >= s().size(); }
  char Byte() const { return AtEnd() ? '\0' : s()[pos_]; }
  bool Starts(const char* prefix) const { return s().compare(pos_, std::strlen(prefix), prefix) == 0; }
  uint32_t Peek(size_t* length) const { return Decode(s(), pos_, length); }

  bool SkipSpace() {
    const size_t start = pos_;
    while (!AtEnd() && IsSpace(static_cast<unsigned char>(Byte()))) ++pos_;
    return pos_ != start;
  }

  std::string Name() {
    const size_t start = pos_;
    size_t n = 0;
    if (!IsNameStart(Peek(&n)) || n == 0) return std::string();
    pos_ += n;
    for (uint32_t c = Peek(&n); n != 0 && IsNameChar(c); c = Peek(&n)) pos_ += n;
    return s().substr(start, pos_ - start);
  }

  // ---- problems: always placed in the document ----
  XmlProblem ProblemAt(size_t offset, const std::string& reason) {
    problem_.offset = offset;
    problem_.reason = reason;
    LineAndColumn(doc_, offset, &problem_.line, &problem_.column);
    return problem_;
  }
  bool Fail(const std::string& reason) { return FailAt(pos_, reason); }
  bool FailAt(size_t at, const std::string& reason) {
    // Inside an entity the place is the reference that brought it in.
    if (s_ != &doc_) {
      ProblemAt(entityRef_, "in the replacement text of entity '" + entityName_ + "': " + reason);
    } else {
      ProblemAt(at, reason);
    }
    return false;
  }

  void Progress() {
    if (progress_ != nullptr && s_ == &doc_) progress_->store(pos_, std::memory_order_relaxed);
  }

  // ---- document ::= prolog element Misc* ----
  bool Document() {
    if (Starts("<?xml") && (pos_ + 5 >= s().size() || IsSpace(static_cast<unsigned char>(s()[pos_ + 5])) ||
                            s()[pos_ + 5] == '?')) {
      if (!XmlDeclaration()) return false;
    }
    for (;;) {
      SkipSpace();
      if (AtEnd()) return Fail("no root element");
      if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<?")) {
        if (!Instruction(false)) return false;
      } else if (Starts("<!DOCTYPE")) {
        if (facts_->doctype) return Fail("a second DOCTYPE");
        if (!Doctype()) return false;
      } else if (Starts("<!")) {
        return Fail("'<!' begins no comment or DOCTYPE here");
      } else if (Byte() == '<') {
        break;
      } else {
        return Fail("text before the root element");
      }
    }
    if (!Content(false)) return false;
    for (;;) {
      SkipSpace();
      if (AtEnd()) return true;
      if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<?")) {
        if (!Instruction(false)) return false;
      } else if (Byte() == '<' && !Starts("</") && !Starts("<!")) {
        return Fail("a second root element");
      } else {
        return Fail(Byte() == '<' ? "markup after the root element" : "text after the root element");
      }
    }
  }

  bool Quoted(std::string* value) {
    const char quote = Byte();
    if (quote != '"' && quote != '\'') return Fail("a quoted value expected");
    const size_t close = s().find(quote, pos_ + 1);
    if (close == std::string::npos) return Fail("quoted value not closed");
    *value = s().substr(pos_ + 1, close - pos_ - 1);
    pos_ = close + 1;
    return true;
  }

  bool Eq() {
    SkipSpace();
    if (Byte() != '=') return Fail("'=' expected");
    ++pos_;
    SkipSpace();
    return true;
  }

  // '<?xml' VersionInfo EncodingDecl? SDDecl? S? '?>'
  bool XmlDeclaration() {
    const size_t at = pos_;
    pos_ += 5;
    facts_->declaration = true;
    std::string value;
    bool space = SkipSpace();
    if (!space || !Starts("version")) return FailAt(at, "the XML declaration needs a version first");
    pos_ += 7;
    if (!Eq() || !Quoted(&value)) return false;
    bool digits = value.size() > 2 && value.compare(0, 2, "1.") == 0;
    for (size_t i = 2; digits && i < value.size(); ++i) digits = value[i] >= '0' && value[i] <= '9';
    if (!digits) return FailAt(at, "version '" + value + "' is not 1.x");
    facts_->version = value;
    space = SkipSpace();
    if (space && Starts("encoding")) {
      pos_ += 8;
      if (!Eq() || !Quoted(&value)) return false;
      bool name = !value.empty() && std::isalpha(static_cast<unsigned char>(value[0])) != 0;
      for (size_t i = 1; name && i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        name = std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-';
      }
      if (!name) return FailAt(at, "encoding name '" + value + "' is not one");
      space = SkipSpace();
    }
    if (space && Starts("standalone")) {
      pos_ += 10;
      if (!Eq() || !Quoted(&value)) return false;
      if (value != "yes" && value != "no") return FailAt(at, "standalone must be 'yes' or 'no'");
      facts_->standalone = value;
      standaloneYes_ = value == "yes";
      SkipSpace();
    }
    if (!Starts("?>")) return Fail("the XML declaration is malformed or not closed with '?>'");
    pos_ += 2;
    return true;
  }

  bool Comment() {
    const size_t at = pos_;
    const size_t dashes = s().find("--", pos_ + 4);
    if (dashes == std::string::npos) return FailAt(at, "comment not closed");
    if (s().compare(dashes, 3, "-->") != 0) return FailAt(dashes, "'--' inside a comment");
    pos_ = dashes + 3;
    ++facts_->comments;
    return true;
  }

  bool Instruction(bool inRoot) {
    const size_t at = pos_;
    pos_ += 2;
    const std::string target = Name();
    if (target.empty()) return FailAt(at, "processing instruction without a target name");
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
      return FailAt(at, target == "xml" ? "an XML declaration stands only at the very start"
                                        : "instruction target '" + target + "' is reserved");
    }
    if (!Starts("?>") && !SkipSpace()) return Fail("white space or '?>' expected after the instruction target");
    const size_t end = s().find("?>", pos_);
    if (end == std::string::npos) return FailAt(at, "processing instruction not closed");
    pos_ = end + 2;
    if (inRoot && s_ == &doc_) ++facts_->instructionsInRoot;
    return true;
  }

  // '<!DOCTYPE' S Name (S ExternalID)? S? ('[' intSubset ']' S?)? '>'
  bool Doctype() {
    const size_t at = pos_;
    pos_ += 9;
    facts_->doctype = true;
    if (!SkipSpace()) return FailAt(at, "white space expected after <!DOCTYPE");
    if (Name().empty()) return Fail("the DOCTYPE needs the root element's name");
    const bool space = SkipSpace();
    if (space && (Starts("SYSTEM") || Starts("PUBLIC"))) {
      if (!ExternalId(false)) return false;
      externalSubset_ = true;
      SkipSpace();
    }
    if (Byte() == '[') {
      ++pos_;
      if (!InternalSubset()) return false;
      SkipSpace();
    }
    if (Byte() != '>') return AtEnd() ? FailAt(at, "DOCTYPE not closed") : Fail("'>' expected to close the DOCTYPE");
    ++pos_;
    return true;
  }

  // 'SYSTEM' S SystemLiteral | 'PUBLIC' S PubidLiteral S SystemLiteral;
  // in a notation the system literal may be missing.
  bool ExternalId(bool notation) {
    const bool pub = Starts("PUBLIC");
    pos_ += 6;
    if (!SkipSpace()) return Fail("white space expected after SYSTEM or PUBLIC");
    std::string literal;
    if (pub) {
      const size_t at = pos_;
      if (!Quoted(&literal)) return false;
      for (const char c : literal) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr(" \r\n-'()+,./:=?;!*#@$_%", c);
        if (!ok || (c == '\'' && s()[at] == '\'')) return FailAt(at, "character not allowed in a public identifier");
      }
      const bool space = SkipSpace();
      if (notation && (Byte() == '>')) return true;
      if (!space) return Fail("white space expected before the system literal");
    }
    return Quoted(&literal);
  }

  // An internal parameter entity between declarations: its replacement text
  // is declarations itself.
  bool UseParameterEntity(const std::string& name, size_t at) {
    const auto it = parameter_.find(name);
    if (it == parameter_.end()) {
      if (standaloneYes_) return FailAt(at, "parameter entity '" + name + "' is not declared");
      return true;
    }
    Entity& e = it->second;
    if (e.external) return true;  // not read
    if (e.contentState == 1) return FailAt(at, "parameter entity '" + name + "' refers to itself");
    if (depth_ >= kMaxEntityDepth) return FailAt(at, "entities nested deeper than " + std::to_string(kMaxEntityDepth));
    const std::string* savedText = s_;
    const size_t savedPos = pos_;
    const std::string savedName = entityName_;
    const size_t savedRef = entityRef_;
    if (s_ == &doc_) {
      entityRef_ = at;
      entityName_ = "%" + name;
    }
    e.contentState = 1;
    ++depth_;
    s_ = &e.value;
    pos_ = 0;
    const bool ok = InternalSubset(true);
    --depth_;
    e.contentState = 0;
    s_ = savedText;
    pos_ = savedPos;
    entityName_ = savedName;
    entityRef_ = savedRef;
    return ok;
  }

  // Declarations up to ']' (inEntity: to the end of a parameter entity's text).
  bool InternalSubset(bool inEntity = false) {
    for (;;) {
      SkipSpace();
      if (inEntity && AtEnd()) return true;
      if (AtEnd()) return Fail("internal subset not closed with ']'");
      if (Byte() == ']' && !inEntity) {
        ++pos_;
        return true;
      }
      if (Byte() == '%') {
        const size_t at = pos_;
        ++pos_;
        const std::string name = Name();
        if (name.empty() || Byte() != ';') return FailAt(at, "malformed parameter-entity reference");
        ++pos_;
        // From here on undeclared entities are allowed: the reference may declare them.
        peRefs_ = true;
        if (!UseParameterEntity(name, at)) return false;
        continue;
      }
      if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<?")) {
        if (!Instruction(false)) return false;
      } else if (Starts("<!ENTITY")) {
        if (!EntityDeclaration()) return false;
      } else if (Starts("<!ELEMENT") || Starts("<!ATTLIST") || Starts("<!NOTATION")) {
        if (!OtherDeclaration()) return false;
      } else {
        return Fail("unexpected text in the internal subset");
      }
    }
  }

  // <!ENTITY S ('%' S)? Name S (EntityValue | ExternalID NDataDecl?) S? '>'
  bool EntityDeclaration() {
    pos_ += 8;
    if (!SkipSpace()) return Fail("white space expected after <!ENTITY");
    bool parameter = false;
    if (Byte() == '%') {
      parameter = true;
      ++pos_;
      if (!SkipSpace()) return Fail("white space expected after '%'");
    }
    const std::string name = Name();
    if (name.empty()) return Fail("entity declaration without a name");
    if (name.find(':') != std::string::npos) return Fail("entity name '" + name + "' has a colon");
    if (!SkipSpace()) return Fail("white space expected after the entity name");
    Entity entity;
    if (Byte() == '"' || Byte() == '\'') {
      if (!EntityValue(&entity.value)) return false;
    } else if (Starts("SYSTEM") || Starts("PUBLIC")) {
      if (!ExternalId(false)) return false;
      entity.external = true;
      const bool space = SkipSpace();
      if (space && Starts("NDATA")) {
        if (parameter) return Fail("a parameter entity cannot be unparsed (NDATA)");
        pos_ += 5;
        if (!SkipSpace() || Name().empty()) return Fail("notation name expected after NDATA");
        entity.unparsed = true;
      }
    } else {
      return Fail("entity value or SYSTEM/PUBLIC identifier expected");
    }
    SkipSpace();
    if (Byte() != '>') return Fail("'>' expected to close the entity declaration");
    ++pos_;
    // The first declaration binds.
    (parameter ? parameter_ : general_).emplace(name, std::move(entity));
    return true;
  }

  // A literal entity value: character references expanded, entity references
  // kept (they are expanded where the entity is used).
  bool EntityValue(std::string* value) {
    const char quote = Byte();
    ++pos_;
    for (;;) {
      if (AtEnd()) return Fail("entity value not closed");
      const char c = Byte();
      if (c == quote) {
        ++pos_;
        return true;
      }
      if (c == '%') {
        if (s_ == &doc_) return Fail("parameter-entity reference inside a declaration of the internal subset");
        return Fail("parameter-entity reference inside a declaration");
      }
      if (c != '&') {
        *value += c;
        ++pos_;
        continue;
      }
      const size_t at = pos_;
      uint32_t code = 0;
      std::string name;
      if (!Reference(&code, &name)) return false;
      if (name.empty()) {
        AppendCode(code, value);
      } else {
        *value += s().substr(at, pos_ - at);
      }
    }
  }

  static void AppendCode(uint32_t c, std::string* out) {
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  // '<!ELEMENT' S Name S contentspec S? '>', '<!ATTLIST' S Name AttDef* S? '>',
  // '<!NOTATION' S Name S (ExternalID | PublicID) S? '>'.
  bool OtherDeclaration() {
    const size_t at = pos_;
    const bool element = Starts("<!ELEMENT"), attlist = Starts("<!ATTLIST");
    pos_ += 2;
    Name();
    if (!SkipSpace()) return Fail("white space expected after the declaration keyword");
    if (Name().empty()) return Fail("the declaration needs a name");
    bool ok = true;
    if (element) {
      if (!SkipSpace()) return Fail("white space expected before the content model");
      ok = ContentSpec();
    } else if (attlist) {
      ok = AttributeDefinitions();
    } else {
      if (!SkipSpace() || !(Starts("SYSTEM") || Starts("PUBLIC"))) return Fail("SYSTEM or PUBLIC expected in a notation");
      ok = ExternalId(true);
    }
    if (!ok) return false;
    SkipSpace();
    if (AtEnd()) return FailAt(at, "declaration not closed");
    if (Byte() != '>') return Fail("'>' expected to close the declaration");
    ++pos_;
    return true;
  }

  // EMPTY | ANY | Mixed | children, with groups checked by a stack (no
  // recursion): one kind of separator a group, quantifiers after names and
  // groups, #PCDATA first in a top group of alternatives only.
  bool ContentSpec() {
    if (Starts("EMPTY")) {
      pos_ += 5;
      return true;
    }
    if (Starts("ANY")) {
      pos_ += 3;
      return true;
    }
    if (Byte() != '(') return Fail("content model expected (EMPTY, ANY or a group)");
    struct Group {
      char separator = 0;
      bool mixed = false;
      size_t names = 0;
    };
    std::vector<Group> groups;
    bool expectItem = true;  // an item (name, group) comes next, else a separator or ')'
    for (;;) {
      SkipSpace();
      if (AtEnd()) return Fail("content model not closed");
      const char c = Byte();
      if (expectItem) {
        if (c == '(') {
          if (!groups.empty() && groups.back().mixed) return Fail("a group inside mixed content");
          groups.emplace_back();
          ++pos_;
          continue;
        }
        if (Starts("#PCDATA")) {
          if (groups.size() != 1 || groups.back().names != 0 || groups.back().separator != 0 || groups.back().mixed) {
            return Fail("#PCDATA stands only first in the outer group");
          }
          pos_ += 7;
          groups.back().mixed = true;
          expectItem = false;
          continue;
        }
        if (Name().empty()) return Fail("element name or group expected in the content model");
        ++groups.back().names;
        if (!groups.back().mixed && (Byte() == '?' || Byte() == '*' || Byte() == '+')) ++pos_;
        expectItem = false;
        continue;
      }
      if (c == '|' || c == ',') {
        Group& g = groups.back();
        if (g.separator != 0 && g.separator != c) return Fail("'|' and ',' mixed in one group");
        if (g.mixed && c == ',') return Fail("',' in mixed content");
        g.separator = c;
        ++pos_;
        expectItem = true;
        continue;
      }
      if (c != ')') return Fail("'|', ',' or ')' expected in the content model");
      ++pos_;
      const Group g = groups.back();
      groups.pop_back();
      if (g.mixed) {
        if (g.names > 0 && Byte() != '*') return Fail("mixed content with names must end with ')*'");
        if (Byte() == '*') ++pos_;
      } else if (Byte() == '?' || Byte() == '*' || Byte() == '+') {
        ++pos_;
      }
      if (groups.empty()) return true;
      ++groups.back().names;
    }
  }

  // (S Name S AttType S DefaultDecl)*
  bool AttributeDefinitions() {
    for (;;) {
      const bool space = SkipSpace();
      if (AtEnd() || Byte() == '>') return true;
      if (!space) return Fail("white space expected before an attribute definition");
      if (Name().empty()) return Fail("attribute name expected in the attribute list");
      if (!SkipSpace()) return Fail("white space expected before the attribute type");
      bool known = false;
      for (const char* type : {"CDATA", "IDREFS", "IDREF", "ID", "ENTITIES", "ENTITY", "NMTOKENS", "NMTOKEN"}) {
        if (!known && Starts(type)) {
          pos_ += std::strlen(type);
          known = true;
        }
      }
      if (!known) {
        if (Starts("NOTATION")) {
          pos_ += 8;
          if (!SkipSpace()) return Fail("white space expected after NOTATION");
        }
        if (Byte() != '(') return Fail("attribute type expected (CDATA, ID, ..., or an enumeration)");
        ++pos_;
        for (;;) {
          SkipSpace();
          size_t n = 0;
          const size_t start = pos_;
          for (uint32_t ch = Peek(&n); n != 0 && IsNameChar(ch); ch = Peek(&n)) pos_ += n;
          if (pos_ == start) return Fail("name expected in an enumeration");
          SkipSpace();
          if (Byte() == ')') break;
          if (Byte() != '|') return Fail("'|' or ')' expected in an enumeration");
          ++pos_;
        }
        ++pos_;
      }
      if (!SkipSpace()) return Fail("white space expected before the default");
      if (Starts("#REQUIRED")) {
        pos_ += 9;
        continue;
      }
      if (Starts("#IMPLIED")) {
        pos_ += 8;
        continue;
      }
      if (Starts("#FIXED")) {
        pos_ += 6;
        if (!SkipSpace()) return Fail("white space expected after #FIXED");
      }
      const char quote = Byte();
      if (quote != '"' && quote != '\'') return Fail("default value expected (#REQUIRED, #IMPLIED or a quoted value)");
      ++pos_;
      if (!AttributeText(quote)) return false;
      ++pos_;
    }
  }

  // '&#' [0-9]+ ';' | '&#x' [0-9a-fA-F]+ ';' | '&' Name ';' at pos_: a
  // character reference gives *code, an entity reference *name.
  bool Reference(uint32_t* code, std::string* name) {
    const size_t at = pos_;
    ++pos_;
    if (Byte() == '#') {
      ++pos_;
      const bool hex = Byte() == 'x';
      if (hex) ++pos_;
      const size_t digits = pos_;
      uint32_t value = 0;
      for (; !AtEnd(); ++pos_) {
        const char c = Byte();
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) break;
        // Past U+10FFFF the value only has to stay too large.
        if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      }
      if (pos_ == digits) return FailAt(at, "character reference without digits");
      if (Byte() != ';') return FailAt(at, "reference not closed with ';'");
      ++pos_;
      if (!IsChar(value)) return FailAt(at, "character reference to a character XML does not allow");
      *code = value;
      name->clear();
      return true;
    }
    *name = Name();
    if (name->empty()) return FailAt(at, "'&' not followed by an entity name (write &amp;)");
    if (Byte() != ';') return FailAt(at, "reference not closed with ';'");
    ++pos_;
    return true;
  }

  static bool Predefined(const std::string& name) {
    return name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot";
  }

  // Where the rules require every entity to be declared.
  bool MustBeDeclared() const { return standaloneYes_ || (!externalSubset_ && !peRefs_); }

  void NoteExpanded(const std::string& name) {
    if (s_ != &doc_) return;
    if (expandedSeen_.insert(name).second) facts_->expandedEntities.push_back(name);
  }

  // A general entity referred to at `at`; inAttribute: inside an attribute value.
  bool UseEntity(const std::string& name, size_t at, bool inAttribute) {
    if (Predefined(name)) return true;
    const auto it = general_.find(name);
    if (it == general_.end()) {
      if (MustBeDeclared()) return FailAt(at, "entity '" + name + "' is not declared");
      return true;  // may be declared where the checker does not read
    }
    NoteExpanded(name);
    Entity& e = it->second;
    if (e.unparsed) return FailAt(at, "reference to the unparsed entity '" + name + "'");
    if (e.external) {
      if (inAttribute) return FailAt(at, "reference to the external entity '" + name + "' in an attribute value");
      return true;  // not read
    }
    int& state = inAttribute ? e.attributeState : e.contentState;
    if (state == 2) return true;
    if (state == 1) return FailAt(at, "entity '" + name + "' refers to itself");
    if (depth_ >= kMaxEntityDepth) return FailAt(at, "entities nested deeper than " + std::to_string(kMaxEntityDepth));
    // Check the replacement text where it stands, then come back.
    const std::string* savedText = s_;
    const size_t savedPos = pos_;
    const std::string savedName = entityName_;
    const size_t savedRef = entityRef_;
    if (s_ == &doc_) {
      entityRef_ = at;
      entityName_ = name;
    }
    state = 1;
    ++depth_;
    s_ = &e.value;
    pos_ = 0;
    const bool ok = inAttribute ? AttributeText('\0') : Content(true);
    --depth_;
    s_ = savedText;
    pos_ = savedPos;
    entityName_ = savedName;
    entityRef_ = savedRef;
    if (!ok) return false;
    state = 2;
    return true;
  }

  // An attribute value's characters up to quote ('\0': to the end of an
  // entity's replacement text).
  bool AttributeText(char quote) {
    for (;;) {
      if (AtEnd()) return quote == '\0' ? true : Fail("attribute value not closed");
      const char c = Byte();
      if (c == quote) return true;
      if (c == '<') return Fail("'<' in an attribute value");
      if (c != '&') {
        ++pos_;
        continue;
      }
      const size_t at = pos_;
      uint32_t code = 0;
      std::string name;
      if (!Reference(&code, &name)) return false;
      if (!name.empty() && !UseEntity(name, at, true)) return false;
    }
  }

  // '<' Name (S Attribute)* S? ('>' | '/>'), at '<'; *empty for '/>'.
  bool StartTag(std::string* name, bool* empty) {
    const size_t at = pos_;
    ++pos_;
    *name = Name();
    if (name->empty()) return FailAt(at, "'<' not followed by a name");
    ++facts_->elements;
    if (facts_->rootName.empty() && s_ == &doc_) facts_->rootName = *name;
    attributes_.clear();
    for (;;) {
      const bool space = SkipSpace();
      if (AtEnd()) return FailAt(at, "start tag '" + *name + "' not closed");
      if (Byte() == '>') {
        ++pos_;
        *empty = false;
        return true;
      }
      if (Starts("/>")) {
        pos_ += 2;
        *empty = true;
        return true;
      }
      const size_t attrAt = pos_;
      const std::string attr = Name();
      if (attr.empty()) return Fail("unexpected character in start tag '" + *name + "'");
      if (!space) return FailAt(attrAt, "attributes must be separated by white space");
      if (!attributes_.insert(attr).second) return FailAt(attrAt, "attribute '" + attr + "' given twice");
      SkipSpace();
      if (Byte() != '=') return Fail("attribute '" + attr + "' without '='");
      ++pos_;
      SkipSpace();
      const char quote = Byte();
      if (quote != '"' && quote != '\'') return Fail("value of attribute '" + attr + "' not quoted");
      ++pos_;
      if (!AttributeText(quote)) return false;
      ++pos_;
    }
  }

  // Content: of the document from its root start tag on (fragment false:
  // ends with the root's end tag), or a whole entity replacement text
  // (fragment true: its elements must close inside it).
  bool Content(bool fragment) {
    std::vector<std::string> open;
    std::string name;
    bool empty = false;
    if (!fragment) {
      if (!StartTag(&name, &empty)) return false;
      if (empty) return true;
      open.push_back(name);
    }
    size_t nextProgress = pos_ + 65536;
    while (fragment || !open.empty()) {
      if (pos_ >= nextProgress) {
        Progress();
        nextProgress = pos_ + 65536;
      }
      if (AtEnd()) {
        if (open.empty()) return true;
        return Fail("element '" + open.back() + "' not closed" + (fragment ? " inside the entity" : " at the end of the text"));
      }
      const char c = Byte();
      if (c == '&') {
        const size_t at = pos_;
        uint32_t code = 0;
        if (!Reference(&code, &name)) return false;
        if (!name.empty() && !UseEntity(name, at, false)) return false;
        continue;
      }
      if (c != '<') {
        if (c == ']' && Starts("]]>")) return Fail("']]>' in text (write ]]&gt;)");
        // Runs of plain text at once.
        const size_t stop = s().find_first_of("<&]", pos_ + 1);
        pos_ = stop == std::string::npos ? s().size() : stop;
        continue;
      }
      if (Starts("</")) {
        const size_t at = pos_;
        pos_ += 2;
        name = Name();
        if (name.empty()) return FailAt(at, "end tag without a name");
        SkipSpace();
        if (Byte() != '>') return Fail("end tag '" + name + "' not closed with '>'");
        ++pos_;
        if (open.empty()) return FailAt(at, "end tag '" + name + "' without a start tag" + (fragment ? " in the entity" : ""));
        if (open.back() != name) return FailAt(at, "end tag '" + name + "' does not match '" + open.back() + "'");
        open.pop_back();
      } else if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<![CDATA[")) {
        const size_t end = s().find("]]>", pos_ + 9);
        if (end == std::string::npos) return Fail("CDATA section not closed");
        pos_ = end + 3;
      } else if (Starts("<?")) {
        if (!Instruction(true)) return false;
      } else if (Starts("<!")) {
        return Fail("'<!' begins no comment or CDATA section here");
      } else {
        if (!StartTag(&name, &empty)) return false;
        if (!empty) open.push_back(name);
      }
    }
    return true;
  }

  const std::string& doc_;
  const std::string* s_;
  size_t pos_ = 0;
  XmlFacts ownFacts_;
  XmlFacts* facts_;
  std::atomic<size_t>* progress_;
  XmlProblem problem_;
  std::map<std::string, Entity> general_;
  std::map<std::string, Entity> parameter_;
  std::set<std::string> attributes_;
  std::set<std::string> expandedSeen_;
  bool externalSubset_ = false;
  bool peRefs_ = false;
  bool standaloneYes_ = false;
  int depth_ = 0;
  std::string entityName_;  // the outermost entity being checked
  size_t entityRef_ = 0;    // where the document refers to it
};

}  // namespace

void LineAndColumn(const std::string& text, size_t offset, size_t* line, size_t* column) {
  *line = 1;
  *column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++*line;
      *column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++*column;
    }
  }
}

XmlProblem CheckWellFormed(const std::string& text, XmlFacts* facts, std::atomic<size_t>* progress) {
  return Checker(text, facts, progress).Run();
}

}  // namespace pavorm_tool
