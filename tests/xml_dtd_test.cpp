// The internal subset: entity and attribute-list declarations, what ends
// its reading and how that is told, and the cost of large subsets.
#include "ezxml.h"
#include "ezxml_internal.h"
#include "xml_test_support.h"

namespace {

// Triples of the default list of element as "name=default<type>".
std::vector<std::string> Defaults(const ParsedDoc &d, const char *element) {
    std::vector<std::string> got;
    char **list = ezxml_find_defaults(reinterpret_cast<ezxml_root *>(d.root)->attr_defaults, element);
    if (!list) return got;
    for (size_t i = 1; list[i]; i += 3)
        got.push_back(std::string(list[i]) + "=" + (list[i + 1] ? list[i + 1] : "(none)") + list[i + 2]);
    return got;
}

TEST(XmlDtd, InternalSubsetDeclarations) {
    ParsedDoc d(
        "<!DOCTYPE r [\n"
        "<!ENTITY % p 'x'>\n"
        "<!ENTITY ext SYSTEM 'e.xml'>\n"
        "<!-- <!ENTITY hidden 'no'> -->\n"
        "<?pi in subset?>\n"
        "<!ATTLIST r t NMTOKENS #IMPLIED c CDATA #IMPLIED a CDATA 'x' b CDATA 'y'>\n"
        "<!ATTLIST r f CDATA #FIXED 'fx' e (u|v) 'v' n NOTATION (g) #REQUIRED>\n"
        "<!ENTITY g 'g%p;'>\n"
        "<!ENTITY g 'second'>\n"
        "]><r/>");
    ezxml_root *root = reinterpret_cast<ezxml_root *>(d.root);
    char **e = root->entities + 10;
    ASSERT_STREQ(e[0], "g;");
    EXPECT_STREQ(e[1], "gx");
    EXPECT_STREQ(e[2], "g;") << "a second declaration is stored but never reached";
    EXPECT_EQ(e[4], nullptr) << "only g: p is a parameter entity, ext is external, hidden is a comment";
    char **list = root->attr_defaults[0];
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list[0], "r");
    std::vector<std::string> got;
    for (size_t i = 1; list[i]; i += 3)
        got.push_back(std::string(list[i]) + "=" + (list[i + 1] ? list[i + 1] : "(none)") + list[i + 2]);
    EXPECT_EQ(got, (std::vector<std::string>{"t=(none)*", "a=x ", "b=y ", "f=fx ", "e=v*", "n=(none)*"}));
    EXPECT_EQ(root->attr_defaults[1], nullptr);
    EXPECT_STREQ(ezxml_pi(d.root, "pi")[0], "in subset");
    EXPECT_STREQ(ezxml_pi(d.root, "pi")[2], "<");
}

TEST(XmlDtd, SubsetProblemsEndReadingOnly) {
    // A cycle: b is refused, reading ends, a stays.
    ParsedDoc cyc("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'><!ENTITY c 'c'>]><r>&a;|&c;</r>");
    char **e = reinterpret_cast<ezxml_root *>(cyc.root)->entities + 10;
    EXPECT_STREQ(e[0], "a;");
    EXPECT_EQ(e[2], nullptr);
    EXPECT_STREQ(cyc.root->text, "&b;|&c;");
    size_t at = 0;
    EXPECT_EQ(ezxml_parse_status(cyc.root, &at), EZXML_PARSE_MALFORMED) << "the skipped declarations are told";
    EXPECT_EQ(at, 30u);
    EXPECT_STREQ(ezxml_error(cyc.root), "DTD: an entity that refers to itself");
    ParsedDoc self("<!DOCTYPE r [<!ENTITY s 'x&s;'>]><r>&s;</r>");
    EXPECT_STREQ(self.root->text, "&s;");
    // A parameter reference between declarations ends a non-standalone subset.
    ParsedDoc pe("<!DOCTYPE r [<!ENTITY a 'A'> %x; <!ENTITY b 'B'>]><r>&a;&b;</r>");
    EXPECT_STREQ(pe.root->text, "A&b;");
    EXPECT_EQ(ezxml_parse_status(pe.root, nullptr), EZXML_PARSE_COMPLETE) << "what a reader may skip is no fault";
    ParsedDoc sa("<?xml version='1.0' standalone=\"yes\"?><!DOCTYPE r [<!ENTITY a 'A'> %x; <!ENTITY b 'B'>]><r>&a;&b;</r>");
    EXPECT_STREQ(sa.root->text, "AB");
    // An unquoted default ends its declaration only.
    ParsedDoc bad("<!DOCTYPE r [<!ATTLIST r a CDATA oops b CDATA 'no'><!ATTLIST r c CDATA 'yes'>]><r/>");
    EXPECT_EQ(ezxml_attr(bad.root, "b"), nullptr);
    EXPECT_STREQ(ezxml_attr(bad.root, "c"), "yes");
    EXPECT_EQ(ezxml_parse_status(bad.root, nullptr), EZXML_PARSE_MALFORMED);

    struct {
        const char *subset;
        const char *error;
    } cases[] = {
        {"<!ENTITY e", "DTD: entity declaration without a value"},
        {"<!ENTITY e SYSTEM 'x'", "DTD: unterminated entity declaration"},
        {"<!ENTITY e 'x", "DTD: entity value without its closing quote"},
        {"<!ATTLIST", "DTD: unterminated ATTLIST declaration"},
        {"<!ATTLIST r a", "DTD: attribute without a type"},
        {"<!ATTLIST r a (x|y 'x'", "DTD: enumeration without \")\""},
        {"<!ATTLIST r a CDATA 'x", "DTD: attribute default without its closing quote"},
        {"<!-- x", "DTD: unterminated comment"},
        {"<?p x", "DTD: unterminated processing instruction"},
        {"<!ELEMENT r ANY", "DTD: unterminated declaration"},
    };
    for (const auto &c : cases) {
        ParsedDoc d(std::string("<!DOCTYPE r [") + c.subset + "]><r>t</r>");
        EXPECT_EQ(ezxml_parse_status(d.root, nullptr), EZXML_PARSE_MALFORMED) << c.subset;
        EXPECT_STREQ(ezxml_error(d.root), c.error) << c.subset;
        EXPECT_STREQ(d.root->text, "t") << "the document is read on: " << c.subset;
    }
    ParsedDoc fine("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY x SYSTEM 'x.ent'><!ATTLIST r a CDATA #IMPLIED>]><r/>");
    EXPECT_EQ(ezxml_parse_status(fine.root, nullptr), EZXML_PARSE_COMPLETE) << ezxml_error(fine.root);
}

// Large subsets are looked up through an index: the first declaration of a
// name still wins, names holding ';' still match by prefix, cycles are still
// refused, and a chain too long to check cheaply ends the subset.
TEST(XmlDtd, LargeSubsetsKeepTheirMeaning) {
    std::string dtd = "<!DOCTYPE r [<!ENTITY x '&y;'>";
    for (int i = 0; i < 40; ++i) dtd += "<!ENTITY e" + std::to_string(i) + " 'v" + std::to_string(i) + "'>";
    ParsedDoc d(dtd + "<!ENTITY e5 'dup'><!ENTITY y '&x;'><!ENTITY z 'Z'>]><r>&e39;&e5;&z;</r>");
    EXPECT_STREQ(d.root->text, "v39v5&z;") << "y closes a cycle, so z is never declared";
    ParsedDoc odd(dtd + "<!ENTITY k;l 'KL'><!ENTITY k 'K'>]><r>&k;l;&k;&e7;</r>");
    EXPECT_STREQ(odd.root->text, "KLKv7");

    std::string chain = "<!DOCTYPE r [<!ENTITY c0 'end'>";
    for (int i = 1; i < 3000; ++i) chain += "<!ENTITY c" + std::to_string(i) + " '&c" + std::to_string(i - 1) + ";'>";
    ParsedDoc c(chain + "]><r>&c10;|&c2999;</r>");
    EXPECT_STREQ(c.root->text, "end|&c2999;");
    EXPECT_EQ(ezxml_parse_status(c.root, nullptr), EZXML_PARSE_EXPANSION_LIMIT);
}

TEST(XmlDtd, AcyclicCheckFollowsChains) {
    char a[] = "a;", av[] = "&b;", b[] = "b;", bv[] = "&c;x", c[] = "c;", cv[] = "plain";
    char *table[] = {a, av, b, bv, c, cv, nullptr};
    EXPECT_TRUE(ezxml_entity_acyclic("d;", "&a;&b;", table));
    EXPECT_FALSE(ezxml_entity_acyclic("c;", "&a;", table));
    EXPECT_FALSE(ezxml_entity_acyclic("d;", "x&d;", table));
}

// The first declaration of an attribute is binding: its type decides how
// values are read and its default is the one given, whatever follows.
TEST(XmlDtd, FirstAttributeDeclarationIsBinding) {
    ParsedDoc d("<!DOCTYPE d [<!ATTLIST d a CDATA #IMPLIED><!ATTLIST d a NMTOKENS #IMPLIED>"
                "<!ATTLIST d t NMTOKENS #IMPLIED t CDATA #IMPLIED>"
                "<!ATTLIST d b CDATA 'first' b CDATA 'second'><!ATTLIST e b CDATA 'other'>"
                "<!ATTLIST d b NMTOKEN 'third' c CDATA 'c'>]><d a='1  2' t='  x  y '/>");
    EXPECT_STREQ(ezxml_attr(d.root, "a"), "1  2");
    EXPECT_STREQ(ezxml_attr(d.root, "t"), "x y");
    EXPECT_STREQ(ezxml_attr(d.root, "b"), "first");
    EXPECT_EQ(Defaults(d, "d"), (std::vector<std::string>{"t=(none)*", "b=first ", "c=c "}));
    EXPECT_EQ(Defaults(d, "e"), (std::vector<std::string>{"b=other "}));
    EXPECT_EQ(ezxml_parse_status(d.root, nullptr), EZXML_PARSE_COMPLETE);
}

// Many defaults on one element and many elements with defaults read in
// time linear in the subset (the timing is in the benchmarks), each
// reachable in declaration order.
TEST(XmlDtd, ManyDefaultsKeepTheirOrder) {
    std::string dtd = "<!DOCTYPE r [<!ATTLIST r";
    for (int i = 0; i < 20000; ++i) dtd += " a" + std::to_string(i) + " CDATA 'v" + std::to_string(i) + "'";
    dtd += ">";
    for (int i = 0; i < 2000; ++i) dtd += "<!ATTLIST e" + std::to_string(i % 500) + " x" + std::to_string(i) + " CDATA 'w'>";
    ParsedDoc d(dtd + "]><r><e7/></r>");
    ASSERT_EQ(ezxml_parse_status(d.root, nullptr), EZXML_PARSE_COMPLETE);
    const std::vector<std::string> got = Defaults(d, "r");
    ASSERT_EQ(got.size(), 20000u);
    EXPECT_EQ(got[0], "a0=v0 ");
    EXPECT_EQ(got[19999], "a19999=v19999 ");
    EXPECT_STREQ(ezxml_attr(d.root, "a12345"), "v12345");
    EXPECT_EQ(Defaults(d, "e7"), (std::vector<std::string>{"x7=w ", "x507=w ", "x1007=w ", "x1507=w "}));
    EXPECT_STREQ(ezxml_attr(ezxml_child(d.root, "e7"), "x1507"), "w");
}

}  // namespace
