// ezxml_toxml of a tree, parsed again, gives the same tree: names, the
// attributes a reader sees (DTD defaults are written out), text pieces at
// their offsets and processing instructions. Serializing the re-read tree
// gives the same text again.

#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Text = std::unique_ptr<char, decltype(&std::free)>;

// Serializes node, parses the text, and checks both dumps and a second
// serialization; returns the first text.
std::string RoundTrip(ezxml_node* node) {
  const std::string before = xmlcheck::Dump(node);
  Text out(ezxml_toxml(node), std::free);
  EXPECT_NE(out, nullptr);
  if (!out) return "";
  std::string text = out.get();
  EXPECT_EQ(xmlcheck::Dump(node), before) << "serializing changed the tree";
  std::string copy = text;
  ezxml_node* again = ezxml_parse_str(&copy[0], copy.size());
  EXPECT_EQ(xmlcheck::CheckTree(again), "");
  EXPECT_EQ(xmlcheck::Dump(again), before) << text;
  Text out2(ezxml_toxml(again), std::free);
  EXPECT_STREQ(out2.get(), text.c_str());
  ezxml_free(again);
  return text;
}

std::string ParseAndRoundTrip(std::string doc) {
  SCOPED_TRACE(doc);
  ezxml_node* root = ezxml_parse_str(&doc[0], doc.size());
  EXPECT_NE(xmlcheck::Dump(root), "");
  std::string text = RoundTrip(root);
  ezxml_free(root);
  return text;
}

TEST(XmlRoundTrip, ParsedDocuments) {
  const char* const docs[] = {
      "<r a='&lt;&amp;&gt;&quot;&apos;' b=\"tab&#9;lf&#10;cr&#13;\">x &lt; y &amp; z &gt; q\"'</r>",
      "<r>&#13;a\r\nb\rc<![CDATA[<b>&amp;]]>\t\x0b</r>",
      "<?p one?><?q?><r>a<?p in?>b<e/>c<e>x</e><f/>d</r><?p two?>",
      "<a>t1<b/>t2<c>in</c>t3<b>x<d y='1' y='2'/></b><c/>t4</a>",
      ("<!DOCTYPE r [<!ENTITY e 'a much longer replacement'><!ATTLIST r c CDATA 'd&e;' t NMTOKENS '  a  b '>"
       "<!ATTLIST s k CDATA #IMPLIED j CDATA 'q\"'>]><r t='x'>&e;<s/><s j='own' k=''/></r>"),
      "<r\xC3\xA9 \xC3\xA0='\xE2\x82\xAC'>\xF0\x9F\x98\x80&#x10FFFF;</r\xC3\xA9>",
      // Stopped parses: the tree read so far comes back as it is.
      "<r><a>open<b x='1'>deeper",
      "<r>t<a></b>",
      "<r a='1' b>x</r>",
  };
  for (const char* d : docs) ParseAndRoundTrip(d);
}

TEST(XmlRoundTrip, BuiltTreesWithTextNeedingEscapes) {
  ezxml_node* root = ezxml_new("doc");
  ezxml_set_attr(root, "q", "say \"hi\" & <bye>\t\n\r'");
  ezxml_set_txt(root, "ab<&>\r\"'cd");
  ezxml_node* c = ezxml_add_child(root, "c", 2);
  ezxml_set_txt(c, "inner \r\n]]>");
  ezxml_add_child(root, "c", 5);
  ezxml_node* d = ezxml_add_child(root, "d", 0);
  ezxml_set_attr(d, "a", "");
  ezxml_set_attr(d, "b", "2");
  ezxml_set_attr(d, "a", "1");  // replaced in place, keeps its position
  ezxml_add_child(root, "c", 11);
  EXPECT_EQ(xmlcheck::CheckTree(root), "");
  RoundTrip(root);
  // A child alone: only it and its subtree, none of the text around it.
  const std::string text = RoundTrip(c);
  EXPECT_EQ(text, "<c>inner &#xD;\n]]&gt;</c>");
  ezxml_free(root);
}

}  // namespace
