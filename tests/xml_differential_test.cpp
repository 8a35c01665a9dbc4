// ezxml against libxml2 on well-formed documents: element names, attribute
// values (with DTD defaults), text content cut at child elements, and
// processing instructions must agree.
//
// Where this library is defined to read a document differently from an XML
// processor, the expected ezxml result is stated beside the libxml2 one
// (DifferencesFromXmlProcessors below):
//  1. An entity's replacement text becomes character data; markup inside it
//     is not parsed into elements.
//  2. A parameter-entity reference between declarations of the internal
//     subset is not expanded; in a document that is not standalone it ends
//     the reading of the subset, so later declarations are not in force.
//  3. A reference to an undeclared general entity stays in the text as
//     written (libxml2 rejects such a document, so it is not compared).
// Other differences are outside these documents: encodings other than UTF-8
// and UTF-16 with a byte-order mark, namespaces (ezxml keeps xmlns
// attributes and prefixes as plain names), and external DTDs and entities,
// which neither side loads here.

#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kLibxml2Options = XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET |
                            XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

using Xml2Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

Xml2Doc ParseWithLibxml2(const std::string& bytes) {
  return Xml2Doc(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                               kLibxml2Options),
                 xmlFreeDoc);
}

const char* Str(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

// The libxml2 tree in the format of xmlcheck::Dump.
void DumpXml2Element(const xmlNode* e, std::string& out) {
  out += '(';
  xmlcheck::AppendEscaped(out, Str(e->name));
  for (const xmlAttr* a = e->properties; a; a = a->next) {
    xmlChar* v = xmlNodeListGetString(e->doc, a->children, 1);
    out += ' ';
    xmlcheck::AppendEscaped(out, Str(a->name));
    out += '=';
    xmlcheck::AppendEscaped(out, Str(v));
    xmlFree(v);
  }
  out += '|';
  for (const xmlNode* c = e->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      xmlcheck::AppendEscaped(out, Str(c->content));
    } else if (c->type == XML_ELEMENT_NODE) {
      DumpXml2Element(c, out);
    }
  }
  out += ')';
}

// Instructions grouped by target in order of first appearance, with "<" for
// those in front of the root element and ">" for the others.
void CollectPis(const xmlNode* n, bool before_root, std::vector<std::string>& order,
                std::map<std::string, std::pair<std::string, std::string>>& by_target) {
  for (; n; n = n->next) {
    if (n->type == XML_ELEMENT_NODE) {
      CollectPis(n->children, false, order, by_target);
      before_root = false;
    } else if (n->type == XML_DTD_NODE) {
      CollectPis(n->children, before_root, order, by_target);
    } else if (n->type == XML_PI_NODE) {
      const std::string target = Str(n->name);
      if (!by_target.count(target)) order.push_back(target);
      auto& entry = by_target[target];
      entry.first += ';';
      xmlcheck::AppendEscaped(entry.first, Str(n->content));
      entry.second += before_root ? '<' : '>';
    }
  }
}

std::string DumpXml2(const xmlDoc* doc) {
  std::string out;
  const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(doc));
  if (!root) return out;
  DumpXml2Element(root, out);
  std::vector<std::string> order;
  std::map<std::string, std::pair<std::string, std::string>> by_target;
  CollectPis(doc->children, true, order, by_target);
  for (const auto& t : order) {
    out += " ?";
    xmlcheck::AppendEscaped(out, t.c_str());
    out += by_target[t].first + "=" + by_target[t].second;
  }
  return out;
}

std::string DumpEzxml(const std::string& bytes) {
  std::vector<char> buf(bytes.begin(), bytes.end());
  ezxml_node* root = ezxml_parse_str(buf.data(), buf.size());
  EXPECT_EQ(xmlcheck::CheckTree(root), "");
  std::string dump = xmlcheck::Dump(root);
  ezxml_free(root);
  return dump;
}

void ExpectSameAsLibxml2(const std::string& doc) {
  SCOPED_TRACE(doc);
  Xml2Doc ref = ParseWithLibxml2(doc);
  ASSERT_TRUE(ref) << "libxml2 does not take the document as well-formed";
  const std::string expected = DumpXml2(ref.get());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(DumpEzxml(doc), expected);
}

std::string Utf16(const std::string& utf8, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    std::vector<uint16_t> units;
    if (cp >= 0x10000) {
      units = {static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)),
               static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    } else {
      units = {static_cast<uint16_t>(cp)};
    }
    for (uint16_t u : units) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      out += big_endian ? hi : lo;
      out += big_endian ? lo : hi;
    }
  }
  return out;
}

const char* const kWellFormed[] = {
    // Predefined entities and character references in text and attributes.
    "<r a='&lt;&amp;&gt;&quot;&apos;'>x &lt; y &amp; z &gt; &quot;q&quot; &apos;a&apos;</r>",
    "<r a=\"&#x20AC;&#65;&#x9;&#10;\">&#x20AC;&#65;&#169;&#x10348;&#38;lt;&#38;#60;&#13;</r>",
    // CDATA keeps references and markup as characters; line ends normalised.
    "<r><![CDATA[<b>&amp;</b>]]>tail<![CDATA[]]>&amp;<![CDATA[c\r\nd\re]]></r>",
    // Comments and instructions inside and around the root element.
    "<?p one?><!-- c --><r>a<!-- x -->b<?q in side ?>c<e/>d<?p?></r><?p two?><!--end-->",
    "<?xml version='1.0' standalone='yes'?>\n<?style  type=\"x\"?>\n<r/>\n<?p after?>",
    // Attribute-value normalisation: CR LF, CR, LF and tab become spaces.
    "<r a=\"x\r\ny\tz\nw\rv\" b='  sp  ace '>t\r\nu\rv\n</r>",
    // Mixed content: text pieces and child offsets.
    "<a>t1<b/>t2<c>in</c>t3<b>x</b><c/>t4</a>",
    "<r>\n  <s>\n    <t a='1'/>\n  </s>\n  <s/>\n</r>\n",
    // Internal entities: longer replacements, nested references, references
    // to predefined entities inside replacement texts, first declaration wins.
    "<!DOCTYPE r [<!ENTITY e 'a much longer replacement'><!ENTITY f \"&e; and &#x41;\">"
    "<!ENTITY g \"x&lt;y&#38;#60;\"><!ENTITY e 'second'>]><r a=\"&e;|&f;\">x&e;y&f;&g;</r>",
    "<!DOCTYPE r [<!ENTITY t \"a&#9;b\"><!ENTITY n \"1&#10;2\">]><r a=\"&t;&n;\" b=\"&#9;\">&t;&n;</r>",
    // DTD defaults and attribute types: non-CDATA values are tokenised.
    "<!DOCTYPE r [<!ATTLIST r t NMTOKENS #IMPLIED c CDATA 'dflt' n NMTOKEN '  tok '"
    " i ID #IMPLIED><!ATTLIST e d CDATA \"e-default\" k (a|b) 'b' f CDATA #FIXED \"fx\">]>"
    "<r t=\"  a   b  \" i=\" id1 \"><e/><e d=\"own\" k=\" a \"/></r>",
    "<!DOCTYPE r [<!-- note --><?pi in dtd?><!ELEMENT r ANY><!ATTLIST r a CDATA 'x' b CDATA 'y'>]>"
    "<r/>",
    // An external ID is not loaded by either side.
    "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"none.dtd\" [<!ENTITY e 'v'>]><r>&e;</r>",
    // UTF-8 names and text, quotes of the other kind inside values.
    "<\xC3\xA9t\xC3\xA9 ann\xC3\xA9" "e=\"l\xC3\xA0\" q='say \"hi\"' s=\"it's\">\xC3\xA7" "a\xF0\x9F\x98\x80</\xC3\xA9t\xC3\xA9>",
    "<r a=\"1>2\" b=\"&gt;\" c=\"]]>\">]]&gt; > ]</r>",
    "<a.b-c_d x.y='1'><_e/><F9/></a.b-c_d>",
};

TEST(XmlDifferential, AgreesWithLibxml2OnWellFormedDocuments) {
  for (const char* doc : kWellFormed) ExpectSameAsLibxml2(doc);
}

TEST(XmlDifferential, Utf16InputAgreesWithLibxml2) {
  const std::string docs[] = {
      "<r a=\"\xE2\x82\xAC\">x &lt; \xF0\x9F\x98\x80<c>\xC3\xA9</c>&#x10348;</r>",
      "<?p one?><!DOCTYPE r [<!ENTITY e 'long replacement \xE2\x82\xAC'>]><r>&e;<![CDATA[&e;]]></r>",
  };
  for (const std::string& d : docs) {
    for (bool be : {false, true}) {
      const std::string in = Utf16(d, be);
      ExpectSameAsLibxml2(in);
      // The same tree as the UTF-8 form of the document.
      EXPECT_EQ(DumpEzxml(in), DumpEzxml(d));
    }
  }
}

TEST(XmlDifferential, DefaultsAreFoundByAttributeLookup) {
  const std::string d =
      "<!DOCTYPE r [<!ATTLIST e d CDATA 'dv' n NMTOKENS '  x  y ' i CDATA #IMPLIED>]>"
      "<r><e/><e d='own'/></r>";
  Xml2Doc ref = ParseWithLibxml2(d);
  ASSERT_TRUE(ref);
  std::vector<char> buf(d.begin(), d.end());
  ezxml_node* root = ezxml_parse_str(buf.data(), buf.size());
  const xmlNode* x = xmlDocGetRootElement(ref.get())->children;
  for (ezxml_node* e = ezxml_child(root, "e"); e; e = e->next, x = x->next) {
    for (const char* name : {"d", "n", "i"}) {
      xmlChar* v = xmlGetProp(x, reinterpret_cast<const xmlChar*>(name));
      const char* mine = ezxml_attr(e, name);
      if (v) {
        EXPECT_STREQ(mine, Str(v)) << name;
      } else {
        EXPECT_EQ(mine, nullptr) << name;
      }
      xmlFree(v);
    }
  }
  ezxml_free(root);
}

TEST(XmlDifferential, DifferencesFromXmlProcessors) {
  // 1. Markup in a replacement text: libxml2 makes an element b, ezxml text.
  {
    const std::string d = "<!DOCTYPE r [<!ENTITY m \"<b>bold</b>\">]><r>x&m;y</r>";
    Xml2Doc ref = ParseWithLibxml2(d);
    ASSERT_TRUE(ref);
    EXPECT_EQ(DumpXml2(ref.get()), "(r|x(b|bold)y)");
    EXPECT_EQ(DumpEzxml(d), "(r|x<b>bold</b>y)");
  }
  // 2. A parameter entity that declares q: libxml2 expands it, ezxml stops
  // reading the subset there (the document is not standalone), so q stays
  // undeclared and its reference stays as written; e before it is in force.
  {
    const std::string d =
        "<!DOCTYPE r [<!ENTITY e 'E'><!ENTITY % p \"<!ENTITY q 'pv'>\"> %p; ]><r>&e;&q;</r>";
    Xml2Doc ref = ParseWithLibxml2(d);
    ASSERT_TRUE(ref);
    EXPECT_EQ(DumpXml2(ref.get()), "(r|Epv)");
    EXPECT_EQ(DumpEzxml(d), "(r|E&q\\3B)");
  }
  // 3. An undeclared entity: libxml2 refuses the document, ezxml keeps it.
  {
    const std::string d = "<r>a&nosuch;b</r>";
    EXPECT_FALSE(ParseWithLibxml2(d));
    EXPECT_EQ(DumpEzxml(d), "(r|a&nosuch\\3Bb)");
  }
}

}  // namespace
