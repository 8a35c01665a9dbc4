// pavorm check, ref and xml on real files.
#include "tool_test_support.h"

namespace {

using ToolFiles = ToolTest;

TEST_F(ToolFiles, CheckFindsMissingExtraAndChangedInserts) {
  // "OK" is "OK" in German and French: allowed to stay as the base text.
  const ToolRun good =
      Run({"check", Lang("PavoRmenu.dll"), Lang("PavoRmdeu.dll"), Lang("PavoRmfra.dll"), "--allow", "28514"});
  EXPECT_EQ(good.status, 0) << good.out;
  const std::string flawed = TestModule("ToolCheck.dll");
  const ToolRun bad = Run({"check", Lang("PavoRmenu.dll"), flawed, "--allow", "28514"});
  EXPECT_EQ(bad.status, 1);
  const std::string& o = bad.out;
  EXPECT_NE(o.find(flawed + ": 28500: inserts differ: base %1!d! %2!s!, here %1!s! %2!s!"), std::string::npos) << o;
  EXPECT_NE(o.find(flawed + ": 28503: inserts differ: base %1!s! %2!s!, here %1!s!\n"), std::string::npos) << o;
  EXPECT_NE(o.find(flawed + ": missing 28504\n"), std::string::npos) << o;
  EXPECT_NE(o.find(flawed + ": extra 28599\n"), std::string::npos) << o;
  // Width and a bare %2 (a string) match %1!d! and %2!s!; %n and %% are no inserts.
  EXPECT_EQ(o.find(": 28502:"), std::string::npos) << o;
  EXPECT_EQ(o.find(": 28505:"), std::string::npos) << o;
  EXPECT_NE(o.find(flawed + ": 4 problem(s)"), std::string::npos) << o;
}

TEST_F(ToolFiles, ReferenceDocumentsKeepEveryComponent) {
  const std::string path = "Bilder/Ä & \"x\" <1>.tif";
  ASSERT_EQ(Run({"ref", "new", "doc.xml", "--file", path, "--frame", "7"}).status, 0);
  ASSERT_EQ(Run({"ref", "add", "doc.xml", "--inet", "http://h/p?a=1&b=2"}).status, 0);
  ASSERT_EQ(Run({"ref", "add", "doc.xml", "--file", "second.tif", "--output", "copy.xml"}).status, 0);
  const ToolRun shown = Run({"ref", "show", "copy.xml", "--json"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("{\"storage\": \"file\", \"path\": \"Bilder/Ä & \\\"x\\\" <1>.tif\", \"frame\": 7}"),
            std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("{\"storage\": \"internet\", \"url\": \"http://h/p?a=1&b=2\"}"), std::string::npos);
  EXPECT_NE(shown.out.find("\"path\": \"second.tif\", \"frame\": 0"), std::string::npos);
  EXPECT_NE(Run({"ref", "show", "doc.xml"}).out.find("doc.xml: 2 components"), std::string::npos);
  // The documents are XML that the checker accepts.
  EXPECT_EQ(Run({"xml", "check", "copy.xml"}).status, 0);

  ASSERT_EQ(Run({"ref", "new", "e.xml", "--embedded", "img", "--dictionary", "dict"}).status, 0);
  EXPECT_NE(Run({"ref", "show", "e.xml"}).out.find("0  embedded img in dictionary dict"), std::string::npos);
  EXPECT_EQ(Run({"ref", "new", "e.xml", "--embedded", "img"}).status, 2);
}

TEST_F(ToolFiles, XmlCheckLocatesProblemsAndFormatIsStable) {
  struct Case {
    const char* text;
    const char* where;
  };
  const Case broken[] = {
      {"<a>", "1:4"},                       {"<a></a><b/>", "1:8"},
      {"<a x=1/>", "1:6"},                  {"<a x='1' x='2'/>", "1:10"},
      {"<a>\n &nbsp</a>", "2:2"},           {"<!-- open", "1:1"},
      {"text<a/>", "1:1"},                  {"<a><![CDATA[x</a>", "1:4"},
      {"", "1:1"},                          {"<a b=\"<\"/>", "1:7"},
      {"<a>\x01</a>", "1:4"},               {"<!DOCTYPEr><r/>", "1:1"},
      {"<a>&a*b;</a>", "1:4"},              {"<!ELEMENT a><a/>", "1:1"},
  };
  for (const Case& c : broken) {
    Write("b.xml", c.text);
    const ToolRun r = Run({"xml", "check", "b.xml"});
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_EQ(r.err.find(std::string("b.xml:") + c.where + ": "), 8u) << c.text << " -> " << r.err;
  }
  Write("g.xml",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"v&#38;#38;w\"> <!ATTLIST r d CDATA \"z\">]>\n"
        "<r a=\"&e;\">t &amp; &#x41;<![CDATA[<x>]]><!-- c --><k/><k>2</k></r>\n");
  const ToolRun ok = Run({"xml", "check", "g.xml"});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("root element 'r', 3 elements"), std::string::npos) << ok.out;
  // The DOCTYPE, the comment and the entity cannot stay: --lossy.
  EXPECT_EQ(Run({"xml", "format", "g.xml"}).status, 1);
  const ToolRun once = Run({"xml", "format", "g.xml", "--output", "f1.xml", "--lossy"});
  ASSERT_EQ(once.status, 0) << once.err;
  const ToolRun twice = Run({"xml", "format", "f1.xml"});
  ASSERT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(twice.out, Slurp(Path("f1.xml")));
  EXPECT_NE(twice.out.find("t &amp; A&lt;x&gt;"), std::string::npos) << twice.out;
}

}  // namespace

namespace {

// Names beyond ASCII reach the tool whole (on Windows through its UTF-16
// command line, not the ANSI code page) and come back in its messages.
TEST_F(ToolFiles, FileNamesBeyondAsciiAreReadAndTold) {
  const std::string name = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE6\x97\xA5.xml";  // Grüße € 日
  Write(name, "<r>\xC3\xA9</r>");
  const ToolRun r = Run({"xml", "check", name});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(name + ": well-formed", 0), 0u) << r.out;
  const ToolRun missing = Run({"xml", "check", "no-" + name});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("pavorm: no-" + name + ":", 0), 0u) << missing.err;
}

}  // namespace
