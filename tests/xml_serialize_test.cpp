// The serializer: structure, escaping, instructions, DTD defaults, and
// trees too deep or too wide for recursion.
#include "ezxml.h"
#include "xml_test_support.h"

namespace {

TEST(XmlSerialize, BuiltTreeAndMixedContent) {
    ezxml_node *doc = ezxml_new("storage");
    ezxml_set_attr(doc, "version", "1.00");
    ezxml_add_child(ezxml_add_child(doc, "image", 0), "component", 0);
    EXPECT_EQ(ToXml(doc), "<storage version=\"1.00\"><image><component></component></image></storage>");
    ezxml_free(doc);

    ezxml_node *a = ezxml_new("a");
    ezxml_set_txt(a, "t1t2t3");
    ezxml_add_child(a, "c", 4);
    ezxml_add_child(a, "b", 2);
    EXPECT_EQ(ToXml(a), "<a>t1<b></b>t2<c></c>t3</a>");
    // An offset past the end of the parent text puts the child at its end.
    ezxml_add_child(a, "d", 99);
    ezxml_add_child(a, "e", 100);
    EXPECT_EQ(ToXml(a), "<a>t1<b></b>t2<c></c>t3<d></d><e></e></a>");
    EXPECT_EQ(ToXml(nullptr), "");
    ezxml_node *nameless = ezxml_new(nullptr);
    EXPECT_EQ(ToXml(nameless), "");
    ezxml_free(nameless);
    ezxml_free(a);
}

TEST(XmlSerialize, EscapingInTextAndAttributes) {
    ezxml_node *doc = ezxml_new("e");
    ezxml_set_attr(doc, "v", "\"\t\n&<>'\r\xC3\xA9");
    ezxml_set_txt(doc, "\"\t\n&<>'\r\xC3\xA9");
    EXPECT_EQ(ToXml(doc),
              "<e v=\"&quot;&#x9;&#xA;&amp;&lt;&gt;'&#xD;\xC3\xA9\">\"\t\n&amp;&lt;&gt;'&#xD;\xC3\xA9</e>");
    ezxml_free(doc);
}

TEST(XmlSerialize, DuplicateAttributesAndDefaults) {
    ParsedDoc d(
        "<!DOCTYPE r [<!ATTLIST r a CDATA 'da' b CDATA 'db' a CDATA 'again' c CDATA #IMPLIED>]>"
        "<r b='own' x='1' x='2'><r/></r>");
    EXPECT_EQ(ToXml(d.root), "<r b=\"own\" x=\"1\" a=\"da\"><r a=\"da\" b=\"db\"></r></r>");
}

// Each name is written once, with its first value, own attributes before
// the defaults the DTD adds; below and above the count at which the
// serializer switches to a hash set, with names that share their first byte.
// The expected text is built from the input's own order, not the tree's.
TEST(XmlSerialize, ManyAttributesAndDefaultsWriteEachNameOnce) {
    for (int n : {3, 15, 16, 17, 40, 3000}) {
        SCOPED_TRACE(n);
        const int distinct = n * 2 / 3 + 1;
        // Defaults: names the elements set, repeated declarations (the
        // first is binding) and some without a value.
        std::string dtd = "<!DOCTYPE r [<!ATTLIST e";
        std::vector<std::pair<std::string, std::string>> declared;
        std::set<std::string> declared_names;
        for (int k = 0; k < n; ++k) {
            // Names declared without a value are never declared again.
            const bool implied = k % 5 == 4;
            const std::string name = implied       ? "i" + std::to_string(k)
                                     : k % 3 == 0 ? "a" + std::to_string(k % distinct)
                                                  : "d" + std::to_string(k % (n / 2 + 1));
            const std::string value = "D" + std::to_string(k);
            dtd += " " + name + (implied ? " CDATA #IMPLIED" : " CDATA '" + value + "'");
            if (declared_names.insert(name).second) declared.emplace_back(name, implied ? "" : value);
        }
        dtd += ">]>";
        std::string doc = dtd + "<r>";
        std::string expected = "<r>";
        for (int element = 0; element < 3; ++element) {
            // Element 0 sets n attributes, 1 none, 2 a few: the set of names
            // of one element must not leak into the next.
            const int own = element == 0 ? n : element == 1 ? 0 : 2;
            std::string tag = "<e", out = "<e";
            std::set<std::string> seen;
            for (int i = 0; i < own; ++i) {
                const std::string name = "a" + std::to_string(i % distinct), value = std::to_string(i);
                tag += " " + name + "='" + value + "'";
                if (seen.insert(name).second) out += " " + name + "=\"" + value + "\"";
            }
            for (const auto &[name, value] : declared)
                if (!value.empty() && seen.insert(name).second) out += " " + name + "=\"" + value + "\"";
            doc += tag + "/>";
            expected += out + "></e>";
        }
        doc += "</r>";
        expected += "</r>";
        ParsedDoc d(doc);
        EXPECT_EQ(ToXml(d.root), expected);
    }
}

TEST(XmlSerialize, InstructionsAroundTheRootOnly) {
    ParsedDoc d("<?p one?><?q?><r><s/><?p inside?></r><?p two?>");
    EXPECT_EQ(ToXml(d.root), "<?p one?>\n<?q?>\n<r><s></s></r>\n<?p inside?>\n<?p two?>");
    EXPECT_EQ(ToXml(ezxml_child(d.root, "s")), "<s></s>") << "a child: no instructions, no siblings";
}

TEST(XmlSerialize, ChildIsWrittenWithoutItsSurroundings) {
    ParsedDoc d("<r>before<a k='v'>in<b/>side</a>between<a/>after</r>");
    EXPECT_EQ(ToXml(ezxml_child(d.root, "a")), "<a k=\"v\">in<b></b>side</a>");
    EXPECT_EQ(ToXml(d.root), "<r>before<a k=\"v\">in<b></b>side</a>between<a></a>after</r>");
}

// Neither depth nor the number of siblings uses the C stack.
TEST(XmlSerialize, DeepAndWideTreesWithoutRecursion) {
    const int n = 1000000;
    std::string deep;
    deep.reserve(8u * n);
    for (int i = 0; i < n; ++i) deep += "<d>";
    deep += "x";
    for (int i = 0; i < n; ++i) deep += "</d>";
    {
        ParsedDoc d(deep);
        EXPECT_EQ(reinterpret_cast<ezxml_root *>(d.root)->current, nullptr);
        char *out = ezxml_toxml(d.root);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(strlen(out), deep.size());
        EXPECT_EQ(memcmp(out, deep.data(), deep.size()), 0);
        free(out);
    }
    std::string flat = "<w>";
    for (int i = 0; i < n; ++i) flat += "<i>t</i>";
    flat += "</w>";
    ParsedDoc f(flat);
    char *out = ezxml_toxml(f.root);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(out), flat);
    free(out);
}

}  // namespace
