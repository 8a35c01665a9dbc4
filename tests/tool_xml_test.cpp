// pavorm xml check and xml format as a user runs them. xmllint --noout
// (libxml2) is the reference where it is installed: the hand-written cases
// are checked against it too, and generated documents are compared.
#include <random>

#include "tool_test_support.h"

namespace {

using ToolXml = ToolTest;

bool HaveXmllint() { return portable::RunProcess(portable::HostProgram("xmllint"), {"--version"}).status == 0; }

// xmllint's verdict on a file: 0 well-formed, 1 not, -1 a case it only warns
// about where XML 1.0 has an error (a version such as "1.", which it accepts).
int Xmllint(const std::string& file) {
  const portable::ProcessRun run =
      portable::RunProcess(portable::HostProgram("xmllint"), {"--noout", portable::HostPath(file)});
  if (run.err.find("Unsupported version") != std::string::npos) return -1;
  return run.status == 0 ? 0 : 1;
}

struct Case {
  const char* text;
  bool wellFormed;
};

// From the rules of XML 1.0 (fifth edition): one case per rule, each way.
const Case kCases[] = {
    {"<r/>", true},
    {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><r/>", true},
    {"<?xml encoding=\"UTF-8\"?><r/>", false},                     // version first
    {"<?xml version=\"1.0\" standalone=\"maybe\"?><r/>", false},
    {" <?xml version=\"1.0\"?><r/>", false},                       // declaration not at the start
    {"<r/><?xml version=\"1.0\"?>", false},
    {"<?XML x?><r/>", false},                                      // reserved target
    {"<?pi with text?><r><?pi2?></r>", true},
    {"<r><? no-target?></r>", false},
    {"<r>&undefined;</r>", false},                                 // entity declared
    {"<!DOCTYPE r SYSTEM \"r.dtd\"><r>&maybe;</r>", true},         // may be declared outside
    {"<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE r SYSTEM \"r.dtd\"><r>&maybe;</r>", false},
    {"<!DOCTYPE r [<!ENTITY e \"x&e;\">]><r>&e;</r>", false},      // recursion
    {"<!DOCTYPE r [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><r a='&a;'/>", false},
    {"<!DOCTYPE r [<!ENTITY e \"<a>x</a>\">]><r>&e;&e;</r>", true},
    {"<!DOCTYPE r [<!ENTITY e \"<a>\">]><r>&e;</a></r>", false},   // entity text not balanced
    {"<!DOCTYPE r [<!ENTITY e \"&#60;\">]><r a=\"&e;\"/>", false}, // '<' in an attribute through an entity
    {"<!DOCTYPE r [<!ENTITY e SYSTEM \"e.xml\">]><r a=\"&e;\"/>", false},
    {"<!DOCTYPE r [<!NOTATION n SYSTEM \"n\"><!ENTITY e SYSTEM \"e\" NDATA n>]><r>&e;</r>", false},
    {"<!DOCTYPE r [<!ENTITY e \"a%b\">]><r/>", false},             // PE reference in the internal subset's values
    {"<!DOCTYPE r [<!ENTITY % p \"<!ENTITY e 'x'>\"> %p;]><r>&e;</r>", true},
    {"<!DOCTYPE r [<!ELEMENT r (a|b)*><!ELEMENT a (#PCDATA|b)*><!ATTLIST r x (u|v) 'u' y CDATA #IMPLIED>]><r/>", true},
    {"<!DOCTYPE r [<!ELEMENT r (a|b,c)>]><r/>", false},
    {"<!DOCTYPE r [<!ATTLIST r x CDATA \"<\">]><r/>", false},
    {"<r>&#0;</r>", false},
    {"<r>&#xD800;</r>", false},
    {"<r>&#x10FFFF;&#9;&#x20;</r>", true},
    {"<r>&#X41;</r>", false},                                      // the x is lower case
    {"<r>\x01</r>", false},
    {"<r>\xC3\x28</r>", false},                                    // not UTF-8
    {"<r>\xEF\xBF\xBE</r>", false},                                // U+FFFE
    {"<r \xC3\xA9=\"1\" a.b-c_d=\"2\"/>", true},                   // names beyond ASCII
    {"<r \xC2\xB7x=\"1\"/>", false},                               // U+00B7 does not start a name
    {"<-r/>", false},
    {"<r a=\"1\"b=\"2\"/>", false},
    {"<r a=\"1\" a=\"2\"/>", false},
    {"<r a=1/>", false},
    {"<r a=\"<\"/>", false},
    {"<r>]]></r>", false},
    {"<r><![CDATA[ <&]] ]]></r>", true},
    {"<![CDATA[x]]><r/>", false},
    {"<r><!-- a - b --></r>", true},
    {"<r><!-- a -- b --></r>", false},
    {"<r><!-- a ---></r>", false},
    {"<r></R>", false},
    {"<r/><r/>", false},
    {"text<r/>", false},
    {"<r/>text", false},
    {"", false},
    {"<!DOCTYPE r PUBLIC \"-//A//B\" \"r.dtd\"><r/>", true},
    {"<!DOCTYPE r PUBLIC \"{}\" \"r.dtd\"><r/>", false},           // not a public identifier
};

TEST_F(ToolXml, CheckFollowsTheRulesOfXml10) {
  const bool xmllint = HaveXmllint();
  for (const Case& c : kCases) {
    Write("case.xml", c.text);
    const ToolRun r = Run({"xml", "check", Path("case.xml")});
    EXPECT_EQ(r.status, c.wellFormed ? 0 : 1) << c.text << "\n" << r.err;
    if (!c.wellFormed) {
      EXPECT_EQ(r.err.rfind("pavorm: " + Path("case.xml") + ":", 0), 0u) << r.err;
    }
    if (xmllint) {
      EXPECT_EQ(Xmllint(Path("case.xml")), c.wellFormed ? 0 : 1) << "xmllint: " << c.text;
    }
  }
}

TEST_F(ToolXml, CheckAgreesWithXmllintOnGeneratedDocuments) {
  if (!HaveXmllint()) GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
  const std::vector<std::string> seeds = {
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY e \"t &amp; u\">\n<!ENTITY f \"<b>&e;</b>\">\n"
      "<!ELEMENT r ANY>\n<!ATTLIST r a CDATA \"d\">\n]>\n<r a=\"1\" b='&e;'>x &f; <![CDATA[ <&> ]]>"
      "<!-- c --><?p i?>&#65;&#x42;</r>\n",
      "<r><a x=\"1\"/><b>t</b>&lt;&gt;&amp;&apos;&quot;</r>",
      "<!DOCTYPE r PUBLIC \"-//X//EN\" \"x.dtd\" [<!ENTITY % p \"<!ENTITY g 'y'>\"> %p; ]><r>&g;</r>",
  };
  const std::vector<std::string> pieces = {"<", ">", "&", ";", "#", "x", "\"", "'", "=", "/", "!", "?", "[", "]",
                                           "-", "%", " ", "\n", "<!--", "-->", "<![CDATA[", "]]>", "&e;", "&f;",
                                           "&#0;", "&#x10FFFF;", "\xC3\xA9", "\x01", "<a>", "</a>", "<?xml ?>"};
  std::mt19937 random(20261207);
  const auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
  size_t compared = 0;
  std::vector<std::string> differ;
  for (int i = 0; i < 150; ++i) {
    std::string doc = seeds[below(seeds.size())];
    for (size_t edits = 1 + below(3); edits > 0; --edits) {
      const size_t at = below(doc.size() + 1);
      switch (below(3)) {
        case 0: doc.insert(at, pieces[below(pieces.size())]); break;
        case 1: doc.erase(at, 1 + below(4)); break;
        default: doc.replace(at, 1, pieces[below(pieces.size())]); break;
      }
    }
    Write("gen.xml", doc);
    const int reference = Xmllint(Path("gen.xml"));
    if (reference < 0) continue;
    ++compared;
    const ToolRun r = Run({"xml", "check", Path("gen.xml")});
    if ((r.status == 0) != (reference == 0)) differ.push_back(doc + "\n  pavorm: " + std::to_string(r.status) + " " + r.err);
  }
  EXPECT_GT(compared, 100u);
  for (const std::string& d : differ) ADD_FAILURE() << "xmllint " << "disagrees on:\n" << d;
}

TEST_F(ToolXml, CheckReadsTheEncodingsTheLibraryReadsAndRefusesOthers) {
  const std::string body = "<r>caf\xE9</r>";
  Write("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body);
  EXPECT_EQ(Run({"xml", "check", Path("latin1.xml")}).out,
            Path("latin1.xml") + ": well-formed, root element 'r', 1 element, ISO-8859-1\n");
  Write("cp1252.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80</r>");
  EXPECT_EQ(Run({"xml", "check", Path("cp1252.xml")}).status, 0);
  Write("undeclared.xml", body);  // Latin-1 bytes, read as UTF-8
  EXPECT_NE(Run({"xml", "check", Path("undeclared.xml")}).err.find(":1:7: bytes that are not UTF-8"), std::string::npos);
  Write("ebcdic.xml", "<?xml version=\"1.0\" encoding=\"IBM037\"?><r/>");
  const ToolRun other = Run({"xml", "check", Path("ebcdic.xml")});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("encoding IBM037 is not one the XML library reads"), std::string::npos) << other.err;
  std::string le, be = "\xFE\xFF";
  for (const char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><a/><a/></r>")) {
    le += std::string{c, '\0'};
    be += std::string{'\0', c};
  }
  Write("le.xml", le);  // no byte-order mark
  Write("be.xml", be);
  for (const char* f : {"le.xml", "be.xml"}) {
    const ToolRun r = Run({"xml", "check", Path(f)});
    EXPECT_NE(r.out.find("root element 'r', 3 elements, UTF-16"), std::string::npos) << f << ": " << r.err;
  }
  Write("in.xml", "<doc/>");
  const ToolRun json = Run({"xml", "check", "-", "--json"}, "in.xml");
  EXPECT_EQ(json.out, "{\"file\": \"standard input\", \"well_formed\": true, \"root\": \"doc\", \"elements\": 1, "
                      "\"encoding\": \"UTF-8\"}\n");
}

TEST_F(ToolXml, FormatKeepsEverythingOrSaysWhatItWouldLose) {
  Write("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\">\n  <x>caf\xE9</x>\n</r>\n");
  const ToolRun latin1 = Run({"xml", "format", Path("latin1.xml")});
  ASSERT_EQ(latin1.status, 0) << latin1.err;
  EXPECT_EQ(latin1.out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"\xC3\xA9\">\n  <x>caf\xC3\xA9</x>\n</r>\n");
  EXPECT_EQ(Run({"xml", "check", "-"}, "latin1.xml").status, 0);

  const struct {
    const char* text;
    const char* loss;
  } lossy[] = {
      {"<!DOCTYPE r><r/>", "the DOCTYPE"},
      {"<r><!-- note --></r>", "1 comment"},
      {"<r><?pi x?></r>", "1 processing instruction inside the root element"},
      {"<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", "references to the entity 'e'"},
  };
  for (const auto& c : lossy) {
    Write("lossy.xml", c.text);
    const ToolRun refused = Run({"xml", "format", Path("lossy.xml")});
    EXPECT_EQ(refused.status, 1) << c.text;
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(c.loss), std::string::npos) << refused.err;
    const ToolRun accepted = Run({"xml", "format", Path("lossy.xml"), "--lossy"});
    EXPECT_EQ(accepted.status, 0) << c.text;
    EXPECT_EQ(accepted.err.find("dropped "), 8 + Path("lossy.xml").size() + 2) << accepted.err;
    EXPECT_NE(accepted.err.find(c.loss), std::string::npos) << accepted.err;
  }
  // Instructions outside the root element stay where they were.
  Write("pi.xml", "<?a x?><r>t</r><?b y?>");
  EXPECT_EQ(Run({"xml", "format", Path("pi.xml")}).out, "<?a x?>\n<r>t</r>\n<?b y?>\n");

  Write("tree.xml", "<a><b>x</b> <c><d/><e>t<f/></e></c></a>");
  const ToolRun indented = Run({"xml", "format", Path("tree.xml"), "--indent", "--output", Path("out.xml")});
  ASSERT_EQ(indented.status, 0) << indented.err;
  EXPECT_EQ(Slurp(Path("out.xml")), "<a>\n  <b>x</b>\n  <c>\n    <d></d>\n    <e>t<f></f></e>\n  </c>\n</a>\n");
  Write("bad.xml", "<a><b></a>");
  EXPECT_EQ(Run({"xml", "format", Path("bad.xml")}).status, 1);
}

}  // namespace
