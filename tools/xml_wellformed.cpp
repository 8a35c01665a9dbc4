#include "tools/xml_wellformed.h"

#include <cstring>
#include <set>
#include <vector>

namespace pavorm_tool {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// XML names: ASCII letters, '_' and ':' to start, then also digits, '-' and
// '.'; every byte of a multi-byte UTF-8 character is taken as a name character.
bool IsNameStart(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

class Checker {
 public:
  explicit Checker(const std::string& text) : s_(text) {
    if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
  }

  XmlProblem Run() {
    // XML 1.0 allows no C0 control but tab, line feed and carriage return;
    // a NUL would also end the parser's text early.
    for (size_t i = pos_; i < s_.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(s_[i]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return ProblemAt(i, "control character not allowed in XML");
    }
    bool rootSeen = false;
    bool doctypeSeen = false;
    std::vector<std::string> open;
    while (pos_ < s_.size()) {
      if (s_[pos_] != '<') {
        if (open.empty()) {
          if (!IsSpace(s_[pos_])) return Problem(rootSeen ? "text after the root element" : "text before the root element");
          ++pos_;
          continue;
        }
        if (s_[pos_] != '&') {
          ++pos_;
        } else if (!Reference()) {
          return problem_;
        }
        continue;
      }
      if (Starts("<!--")) {
        if (!SkipPast(4, "-->", "comment not closed")) return problem_;
      } else if (Starts("<![CDATA[")) {
        if (open.empty()) return Problem("CDATA section outside the root element");
        if (!SkipPast(9, "]]>", "CDATA section not closed")) return problem_;
      } else if (Starts("<?")) {
        if (!SkipPast(2, "?>", "processing instruction not closed")) return problem_;
      } else if (Starts("<!DOCTYPE")) {
        if (rootSeen || !open.empty()) return Problem("DOCTYPE after the root element began");
        if (pos_ + 9 >= s_.size() || !IsSpace(s_[pos_ + 9])) return Problem("DOCTYPE not followed by white space");
        if (doctypeSeen) return Problem("a second DOCTYPE");
        doctypeSeen = true;
        if (!Doctype()) return problem_;
      } else if (Starts("<!")) {
        return Problem("'<!' begins no comment, CDATA section or DOCTYPE");
      } else if (Starts("</")) {
        const size_t at = pos_;
        pos_ += 2;
        const std::string name = Name();
        if (name.empty()) return Problem("end tag without a name");
        SkipSpace();
        if (pos_ >= s_.size() || s_[pos_] != '>') return Problem("end tag '" + name + "' not closed with '>'");
        ++pos_;
        if (open.empty()) return ProblemAt(at, "end tag '" + name + "' without a start tag");
        if (open.back() != name) return ProblemAt(at, "end tag '" + name + "' does not match '" + open.back() + "'");
        open.pop_back();
      } else {
        if (open.empty() && rootSeen) return Problem("a second root element");
        const size_t at = pos_;
        ++pos_;
        const std::string name = Name();
        if (name.empty()) return ProblemAt(at, "'<' not followed by a name");
        bool selfClosed = false;
        if (!Attributes(&selfClosed)) return problem_;
        rootSeen = true;
        if (!selfClosed) open.push_back(name);
      }
    }
    if (!open.empty()) return Problem("element '" + open.back() + "' not closed at the end of the text");
    if (!rootSeen) return Problem("no root element");
    return XmlProblem();
  }

 private:
  bool Starts(const char* prefix) const { return s_.compare(pos_, std::strlen(prefix), prefix) == 0; }

  XmlProblem ProblemAt(size_t at, const std::string& reason) {
    problem_.line = 1;
    problem_.column = 1;
    for (size_t i = 0; i < at && i < s_.size(); ++i) {
      if (s_[i] == '\n') {
        ++problem_.line;
        problem_.column = 1;
      } else {
        ++problem_.column;
      }
    }
    problem_.reason = reason;
    return problem_;
  }
  XmlProblem Problem(const std::string& reason) { return ProblemAt(pos_, reason); }
  bool Fail(size_t at, const std::string& reason) {
    ProblemAt(at, reason);
    return false;
  }

  void SkipSpace() {
    while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
  }

  std::string Name() {
    const size_t start = pos_;
    if (pos_ >= s_.size() || !IsNameStart(s_[pos_])) return std::string();
    while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
    return s_.substr(start, pos_ - start);
  }

  bool SkipPast(size_t skip, const char* end, const char* reason) {
    const size_t at = pos_;
    const size_t found = s_.find(end, pos_ + skip);
    if (found == std::string::npos) return Fail(at, reason);
    pos_ = found + std::strlen(end);
    return true;
  }

  // &name; &#123; &#x1F;
  bool Reference() {
    const size_t at = pos_;
    ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '#') {
      ++pos_;
      const bool hex = pos_ < s_.size() && s_[pos_] == 'x';
      if (hex) ++pos_;
      const size_t digits = pos_;
      unsigned long value = 0;
      while (pos_ < s_.size() && (std::isxdigit(static_cast<unsigned char>(s_[pos_])) != 0) &&
             (hex || (s_[pos_] >= '0' && s_[pos_] <= '9'))) {
        const char c = s_[pos_];
        const unsigned digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        // Past U+10FFFF the value only has to stay too large.
        if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + digit;
        ++pos_;
      }
      if (pos_ == digits) return Fail(at, "character reference without digits");
      // XML 1.0's Char production: a reference to anything else (NUL, most
      // C0 controls, surrogates, U+FFFE/U+FFFF) is not well-formed.
      const bool isChar = value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
                          (value >= 0xE000 && value <= 0xFFFD) || (value >= 0x10000 && value <= 0x10FFFF);
      if (!isChar) return Fail(at, "character reference to a character XML does not allow");
    } else if (Name().empty()) {
      return Fail(at, "'&' not followed by an entity name (write &amp;)");
    }
    if (pos_ >= s_.size() || s_[pos_] != ';') return Fail(at, "reference not closed with ';'");
    ++pos_;
    return true;
  }

  bool Attributes(bool* selfClosed) {
    std::set<std::string> seen;
    for (;;) {
      const bool hadSpace = pos_ < s_.size() && IsSpace(s_[pos_]);
      SkipSpace();
      if (pos_ >= s_.size()) return Fail(pos_, "start tag not closed");
      if (s_[pos_] == '>') {
        ++pos_;
        return true;
      }
      if (Starts("/>")) {
        pos_ += 2;
        *selfClosed = true;
        return true;
      }
      const size_t at = pos_;
      if (!hadSpace) return Fail(at, "attributes must be separated by white space");
      const std::string name = Name();
      if (name.empty()) return Fail(at, "unexpected character in a start tag");
      if (!seen.insert(name).second) return Fail(at, "attribute '" + name + "' given twice");
      SkipSpace();
      if (pos_ >= s_.size() || s_[pos_] != '=') return Fail(pos_, "attribute '" + name + "' without '='");
      ++pos_;
      SkipSpace();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
        return Fail(pos_, "value of attribute '" + name + "' not quoted");
      }
      const char quote = s_[pos_++];
      while (pos_ < s_.size() && s_[pos_] != quote) {
        if (s_[pos_] == '<') return Fail(pos_, "'<' in the value of attribute '" + name + "'");
        if (s_[pos_] == '&') {
          if (!Reference()) return false;
        } else {
          ++pos_;
        }
      }
      if (pos_ >= s_.size()) return Fail(at, "value of attribute '" + name + "' not closed");
      ++pos_;
    }
  }

  // <!DOCTYPE name ... [internal subset] >, quotes and comments honoured.
  bool Doctype() {
    const size_t at = pos_;
    pos_ += 9;
    int depth = 0;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '"' || c == '\'') {
        const size_t close = s_.find(c, pos_ + 1);
        if (close == std::string::npos) return Fail(pos_, "quoted text in DOCTYPE not closed");
        pos_ = close + 1;
      } else if (Starts("<!--")) {
        if (!SkipPast(4, "-->", "comment not closed")) return false;
      } else if (c == '[') {
        ++depth;
        ++pos_;
      } else if (c == ']') {
        if (--depth < 0) return Fail(pos_, "']' without '[' in DOCTYPE");
        ++pos_;
      } else if (c == '>' && depth == 0) {
        ++pos_;
        return true;
      } else {
        ++pos_;
      }
    }
    return Fail(at, "DOCTYPE not closed");
  }

  const std::string& s_;
  size_t pos_ = 0;
  XmlProblem problem_;
};

}  // namespace

XmlProblem CheckWellFormed(const std::string& text) { return Checker(text).Run(); }

}  // namespace pavorm_tool
