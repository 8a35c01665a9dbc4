// The decoder in each of its modes, reached through documents that put the
// fuzzed string where each mode applies: element text, CDATA, an undeclared
// (CDATA) and a tokenised attribute value, an entity value, a processing
// instruction, DTD defaults, and a subset of entities that refer to each
// other. Where the string holds nothing the mode rewrites, the result is
// checked against the rules of that mode (line ends, white space).
#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& got, const std::string& want) {
  std::fprintf(stderr, "%s\n  got:  %s\n  want: %s\n", what, got.c_str(), want.c_str());
  std::abort();
}

bool Has(const std::string& s, const char* any) { return s.find_first_of(any, 0, std::strlen(any) + 1) != std::string::npos; }

// CR LF and lone CR become LF.
std::string LineEnds(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      out += '\n';
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string AttributeMode(const std::string& s) {
  std::string out = LineEnds(s);
  for (char& c : out) {
    if (std::strchr("\t\n\v\f\r", c) && c) c = ' ';
  }
  return out;
}

std::string TokenMode(const std::string& s) {
  std::string out;
  for (char c : AttributeMode(s)) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct Parsed {
  std::string bytes;  // the buffer the tree points into
  ezxml_node* root;
  explicit Parsed(std::string doc) : bytes(std::move(doc)) {
    root = ezxml_parse_str(&bytes[0], bytes.size());
    const std::string e = xmlcheck::CheckTree(root);
    if (!e.empty()) Fail("tree", e, "");
    std::free(ezxml_toxml(root));
  }
  ~Parsed() { ezxml_free(root); }
  std::string Text() const { return root && root->name ? root->text : "(no element)"; }
};

void Expect(const char* mode, const std::string& got, const std::string& want) {
  if (got != want) Fail(mode, got, want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::string s(reinterpret_cast<const char*>(data) + 1, size - 1);
  // The string plus a closing tag must survive as the parse's last byte is
  // dropped only behind the root element.
  switch (data[0] % 8) {
    case 0: {  // text mode
      Parsed p("<r>" + s + "</r>");
      if (!Has(s, "&<")) Expect("text", p.Text(), LineEnds(s));
      break;
    }
    case 1: {  // CDATA mode: only line ends change
      Parsed p("<r><![CDATA[" + s + "]]></r>");
      if (s.find("]]>") == std::string::npos && !Has(s, "")) Expect("cdata", p.Text(), LineEnds(s));
      break;
    }
    case 2: {  // attribute mode (undeclared attribute)
      Parsed p("<r a=\"" + s + "\"/>");
      const char* v = ezxml_attr(p.root, "a");
      if (!Has(s, "\"&")) Expect("attribute", v ? v : "(none)", AttributeMode(s));
      break;
    }
    case 3: {  // token mode (declared NMTOKENS)
      Parsed p("<!DOCTYPE r [<!ATTLIST r a NMTOKENS #IMPLIED>]><r a=\"" + s + "\"/>");
      const char* v = ezxml_attr(p.root, "a");
      if (!Has(s, "\"&")) Expect("token", v ? v : "(none)", TokenMode(s));
      break;
    }
    case 4: {  // entity-value mode, then the value in text mode
      Parsed p("<!DOCTYPE r [<!ENTITY % p 'pv'><!ENTITY e \"" + s + "\">]><r>&e;</r>");
      if (!Has(s, "\"%&]")) Expect("entity value", p.Text(), LineEnds(s));
      break;
    }
    case 5: {  // processing instruction: stored as written, behind the target
      Parsed p("<?t " + s + "?><r/>");
      const char** pi = ezxml_pi(p.root, "t");
      const size_t lead = s.find_first_not_of(" \t\r\n");
      if (s.find("?>") == std::string::npos && !Has(s, ""))
        Expect("instruction", pi[0] ? pi[0] : "(none)", lead == std::string::npos ? "" : s.substr(lead));
      break;
    }
    case 6: {  // DTD defaults in attribute and token mode
      Parsed p("<!DOCTYPE r [<!ATTLIST r a CDATA \"" + s + "\" b NMTOKENS \"" + s + "\">]><r/>");
      if (!Has(s, "\"&]")) {
        const char* a = ezxml_attr(p.root, "a");
        const char* b = ezxml_attr(p.root, "b");
        Expect("default a", a ? a : "(none)", AttributeMode(s));
        Expect("default b", b ? b : "(none)", TokenMode(s));
      }
      break;
    }
    default: {  // entities that refer to each other, in text and attributes
      const size_t q = s.size() / 4;
      Parsed p("<!DOCTYPE r [<!ENTITY a \"" + s.substr(0, q) + "\"><!ENTITY b \"" + s.substr(q, q) +
               "\"><!ENTITY % c \"" + s.substr(2 * q, q) + "\"><!ENTITY d \"%c;&a;&b;\">]><r x=\"" +
               s.substr(3 * q) + "&d;\">" + s.substr(3 * q) + "&a;&b;&d;</r>");
      break;
    }
  }
  return 0;
}
