// Every prefix of documents that hold each construct parses without fault,
// reads nothing behind the prefix (each prefix sits in a heap block of its
// exact size, so the sanitizer build catches a read past it) and gives the
// tree that the parser's stop rules predict:
//  - markup counts only when its closing ">" is inside the prefix; the last
//    byte of the input is overwritten, but a ">" there still closes a tag,
//    comment, CDATA section, instruction, DOCTYPE or end tag;
//  - an end tag whose name is followed by white space before the last byte
//    closes its element even if its ">" was cut off;
//  - character content counts only when the "<" behind it is before the
//    last byte; a cut start tag creates no element; the first incomplete
//    construct ends the parse with the tree read so far;
//  - the parse status calls exactly the whole document complete.

#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Kind { Open, Close, Empty, Text, CData, Pi, Other };

// One construct of a test document: its bytes and what it contributes.
struct Tok {
  Kind kind;
  std::string raw;
  std::string name;                                       // element name or PI target
  std::vector<std::pair<std::string, std::string>> attrs;  // decoded
  std::string value;                                      // decoded text or PI text
};

Tok Open(std::string raw, std::string name, std::vector<std::pair<std::string, std::string>> attrs = {}) {
  return {Kind::Open, std::move(raw), std::move(name), std::move(attrs), ""};
}
Tok Empty(std::string raw, std::string name, std::vector<std::pair<std::string, std::string>> attrs = {}) {
  return {Kind::Empty, std::move(raw), std::move(name), std::move(attrs), ""};
}
Tok Close(std::string raw) { return {Kind::Close, std::move(raw), "", {}, ""}; }
Tok Text(std::string raw, std::string decoded) { return {Kind::Text, std::move(raw), "", {}, std::move(decoded)}; }
Tok CData(std::string raw, std::string decoded) { return {Kind::CData, std::move(raw), "", {}, std::move(decoded)}; }
Tok Pi(std::string raw, std::string target, std::string text) {
  return {Kind::Pi, std::move(raw), std::move(target), {}, std::move(text)};
}
Tok Other(std::string raw) { return {Kind::Other, std::move(raw), "", {}, ""}; }

struct Elem {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::string text;
  std::vector<std::pair<size_t, std::unique_ptr<Elem>>> kids;  // offset, child
};

void DumpElem(const Elem& e, std::string& out) {
  out += '(';
  xmlcheck::AppendEscaped(out, e.name.c_str());
  for (const auto& a : e.attrs) {
    out += ' ';
    xmlcheck::AppendEscaped(out, a.first.c_str());
    out += '=';
    xmlcheck::AppendEscaped(out, a.second.c_str());
  }
  out += '|';
  size_t from = 0;
  for (const auto& k : e.kids) {
    xmlcheck::AppendEscaped(out, e.text.data() + from, k.first - from);
    from = k.first;
    DumpElem(*k.second, out);
  }
  xmlcheck::AppendEscaped(out, e.text.data() + from, e.text.size() - from);
  out += ')';
}

// Whether the construct [start, end) of the document counts in a prefix of
// len bytes (see the rules at the top).
bool Complete(const Tok& t, size_t start, size_t end, size_t len) {
  switch (t.kind) {
    case Kind::Text:
      return end + 1 < len;
    case Kind::Close: {
      const size_t name_end = start + 2 + t.raw.substr(2).find_first_of(" \t\r\n>");
      return end <= len || (t.raw[name_end - start] != '>' && name_end + 1 < len);
    }
    default:
      return end <= len;
  }
}

// The dump (xmlcheck::Dump without DTD defaults) the parser must give for
// the first len bytes of the document; *complete tells whether the root
// element was closed and nothing but the dropped last byte follows what was
// read.
std::string Expected(const std::vector<Tok>& doc, size_t len, bool* complete = nullptr) {
  std::unique_ptr<Elem> root;
  std::vector<Elem*> open;
  bool closed = false;
  std::vector<std::pair<std::string, std::string>> pis;  // target -> ";text..." and positions
  std::vector<std::string> pi_order;
  size_t start = 0;
  for (const Tok& t : doc) {
    const size_t end = start + t.raw.size();
    if (!Complete(t, start, end, len)) break;
    start = end;
    switch (t.kind) {
      case Kind::Open:
      case Kind::Empty: {
        if (closed) return "";  // not in these documents
        auto e = std::make_unique<Elem>();
        e->name = t.name;
        e->attrs = t.attrs;
        Elem* raw = e.get();
        if (!root) {
          root = std::move(e);
        } else {
          open.back()->kids.push_back({open.back()->text.size(), std::move(e)});
        }
        if (t.kind == Kind::Open) {
          open.push_back(raw);
        } else if (open.empty()) {
          closed = true;
        }
        break;
      }
      case Kind::Close:
        open.pop_back();
        closed = open.empty();
        break;
      case Kind::Text:
      case Kind::CData:
        if (!open.empty()) open.back()->text += t.value;
        break;
      case Kind::Pi: {
        size_t i = 0;
        while (i < pi_order.size() && pi_order[i] != t.name) ++i;
        if (i == pi_order.size()) {
          pi_order.push_back(t.name);
          pis.push_back({"", ""});
        }
        pis[i].first += ';';
        xmlcheck::AppendEscaped(pis[i].first, t.value.c_str());
        pis[i].second += root ? '>' : '<';
        break;
      }
      case Kind::Other:
        break;
    }
  }
  if (complete) *complete = closed && len <= start + 1;
  if (!root) return "";
  std::string out;
  DumpElem(*root, out);
  for (size_t i = 0; i < pi_order.size(); ++i) {
    out += " ?";
    xmlcheck::AppendEscaped(out, pi_order[i].c_str());
    out += pis[i].first + "=" + pis[i].second;
  }
  return out;
}

std::string Join(const std::vector<Tok>& doc) {
  std::string s;
  for (const Tok& t : doc) s += t.raw;
  return s;
}

// Parses every prefix of the document (and the document with a trailing
// line feed) and compares with the prediction.
void CheckEveryPrefix(const std::vector<Tok>& doc) {
  const std::string text = Join(doc);
  SCOPED_TRACE(text);
  const xmlcheck::DumpOptions opt{false, true};
  ASSERT_NE(Expected(doc, text.size()), "");
  for (size_t len = 0; len <= text.size() + 1; ++len) {
    SCOPED_TRACE("prefix length " + std::to_string(len));
    const std::string input = len <= text.size() ? text.substr(0, len) : text + "\n";
    std::unique_ptr<char, decltype(&std::free)> buf(static_cast<char*>(std::malloc(input.size() + 1)),
                                                    std::free);
    std::memcpy(buf.get(), input.data(), input.size());
    ezxml_node* root = ezxml_parse_str(buf.get(), input.size());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(xmlcheck::CheckTree(root), "");
    bool complete = false;
    const std::string expected = Expected(doc, std::min(len, text.size()), &complete);
    if (len > text.size()) complete = true;  // the dropped byte is the line feed
    EXPECT_EQ(ezxml_parse_status(root, nullptr) == EZXML_PARSE_COMPLETE, complete) << ezxml_error(root);
    EXPECT_EQ(ezxml_error(root)[0] == '\0', complete);
    EXPECT_EQ(xmlcheck::Dump(root, opt), expected);
    ezxml_free(root);
  }
}

TEST(XmlTruncation, ElementsAttributesAndText) {
  CheckEveryPrefix({
      Open("<r a=\"1\" b='x&amp;y' c = \"3\">", "r", {{"a", "1"}, {"b", "x&y"}, {"c", "3"}}),
      Empty("<s/>", "s"),
      Text("t&lt;u&#65;v", "t<uAv"),
      Open("<e x='&#x20AC;&gt;' y=''>", "e", {{"x", "\xE2\x82\xAC>"}, {"y", ""}}),
      Text("&#x20AC;&#65;&amp;&#38;&quot;", "\xE2\x82\xAC" "A&&\""),
      Close("</e>"),
      Open("<f>", "f"),
      Close("</f  >"),
      Text(" w ", " w "),
      Empty("<g k=\"v\" />", "g", {{"k", "v"}}),
      Close("</r>"),
  });
}

TEST(XmlTruncation, CommentsCdataAndInstructions) {
  CheckEveryPrefix({
      Other("<?xml version=\"1.0\" standalone='yes'?>"),
      Pi("<?p before?>", "p", "before"),
      Other("<!-- lead -->"),
      Open("<r>", "r"),
      Text("a", "a"),
      Other("<!--c-->"),
      Text("b", "b"),
      CData("<![CDATA[<&amp;>]]>", "<&amp;>"),
      Text("c", "c"),
      Pi("<?q in side?>", "q", "in side"),
      Pi("<?p?>", "p", ""),
      Text("d", "d"),
      Close("</r>"),
      Pi("<?p after?>", "p", "after"),
      Other("<!--tail-->"),
  });
}

TEST(XmlTruncation, DoctypeWithSubsetAndEntities) {
  CheckEveryPrefix({
      Other("<!DOCTYPE r [<!ENTITY e 'long replacement text'><!ENTITY c \"&#65;&e;\">"
            "<!ATTLIST r t NMTOKENS #IMPLIED><!-- note --><!ELEMENT r ANY>]>"),
      Open("<r t=\"  a   b \" v=\"&e;\">", "r", {{"t", "a b"}, {"v", "long replacement text"}}),
      Text("&e;|&c;|&lt;", "long replacement text|Along replacement text|<"),
      Empty("<s/>", "s"),
      Text("&#x10348;", "\xF0\x90\x8D\x88"),
      Close("</r>"),
  });
}

TEST(XmlTruncation, Utf16PrefixesStayInBounds) {
  // A UTF-16 input is converted first; whatever its prefix, the parse stays
  // within the given bytes and builds a sound tree.
  const std::string utf8 = "<r a='\xE2\x82\xAC'>x<s/>\xF0\x9F\x98\x80</r>";
  std::string in = "\xFF\xFE";
  for (unsigned char c : std::string("<r a='")) in += {static_cast<char>(c), '\0'};
  in += std::string("\xAC\x20", 2);
  for (unsigned char c : std::string("'>x<s/>")) in += {static_cast<char>(c), '\0'};
  in += std::string("\x3D\xD8\x00\xDE", 4);
  for (unsigned char c : std::string("</r>")) in += {static_cast<char>(c), '\0'};
  for (size_t len = 0; len <= in.size(); ++len) {
    std::unique_ptr<char, decltype(&std::free)> buf(static_cast<char*>(std::malloc(len + 1)), std::free);
    std::memcpy(buf.get(), in.data(), len);
    ezxml_node* root = ezxml_parse_str(buf.get(), len);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(xmlcheck::CheckTree(root), "") << len;
    if (len == in.size()) {
      std::string copy = utf8;
      ezxml_node* ref = ezxml_parse_str(&copy[0], copy.size());
      EXPECT_EQ(xmlcheck::Dump(root), xmlcheck::Dump(ref));
      ezxml_free(ref);
    }
    ezxml_free(root);
  }
}

}  // namespace
