// Decoding modes, character references, UTF-8 forms, the internal subset
// and the entity budget.
#include "ezxml.h"
#include "ezxml_internal.h"
#include "xml_test_support.h"

#include <chrono>

namespace {

struct Decoded {
    std::string text;
    bool heap;
};

Decoded Decode(const std::string &in, char mode, char **table = nullptr) {
    std::vector<char> buf(in.begin(), in.end());
    buf.push_back('\0');
    ezxml_node *doc = ezxml_new(nullptr);
    char **entities = table ? table : reinterpret_cast<ezxml_root *>(doc)->entities;
    char *out = ezxml_decode(buf.data(), entities, mode);
    Decoded d{out ? out : "<null>", out != buf.data()};
    if (out && out != buf.data()) free(out);
    ezxml_free(doc);
    return d;
}

TEST(XmlDecode, ModesTreatTheSameInputDifferently) {
    const std::string in = "  a\r\n\tb &amp; &#65;\rc  ";
    EXPECT_EQ(Decode(in, '&').text, "  a\n\tb & A\nc  ");
    EXPECT_EQ(Decode(in, 'c').text, "  a\n\tb &amp; &#65;\nc  ");
    EXPECT_EQ(Decode(in, ' ').text, "  a  b & A c  ");
    EXPECT_EQ(Decode(in, '*').text, "a b & A c");
    EXPECT_EQ(Decode("\x0B\x0C", ' ').text, "  ");
    EXPECT_EQ(Decode("\x0B\x0C", '&').text, "\x0B\x0C");
    // Characters written by a reference are not white-space-normalised again.
    EXPECT_EQ(Decode("a&#9;b&#10;", ' ').text, "a\tb\n");
    EXPECT_EQ(Decode("&#32;&#32;x&#32;&#32;", '*').text, "x") << "collapse applies to the result";
}

TEST(XmlDecode, CharacterReferences) {
    EXPECT_EQ(Decode("&#x20AC;&#65;", '&').text, "\xE2\x82\xAC" "A");
    for (const char *kept : {"&#0;", "&#12", "&nosuch;", "&#x;", "&#;", "&#X41;", "&", "&#x100000000;"})
        EXPECT_EQ(Decode(kept, '&').text, kept) << kept;
    // Read as the C runtime reads numbers: leading space, sign, 0x prefix.
    EXPECT_EQ(Decode("&# 65;&#x0x42;&#+67;", '&').text, "ABC");
    Decoded shrink = Decode("&amp;&quot;&apos;", '&');
    EXPECT_EQ(shrink.text, "&\"'");
    EXPECT_FALSE(shrink.heap) << "no reference here was replaced by something longer";
    Decoded grow = Decode("x &lt; y &amp; z", '&');
    EXPECT_EQ(grow.text, "x < y & z");
    EXPECT_TRUE(grow.heap) << "&#60; is longer than &lt;";
    // A reference is replaced first, then what it produced is read again.
    EXPECT_EQ(Decode("&amp;#60;", '&').text, "&#60;");
}

// Short references are read on a quick path, long or unusual ones as the
// C runtime reads them; both must give the same characters, and the
// predefined names keep their place ahead of declared ones.
TEST(XmlDecode, QuickAndFullReadingsAgree) {
    EXPECT_EQ(Decode("&#65;&#0000065;&#00000065;&#x41;&#x00041;&#x0000041;", '&').text, "AAAAAA");
    EXPECT_EQ(Decode("&#x1F600;&#x0001F600;&#128512;&#000128512;", '&').text,
              "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80");
    for (const char *kept : {"&ltx;", "&lt", "&amp", "&apo;", "&quo;", "&g;", "&l", "&a"})
        EXPECT_EQ(Decode(kept, '&').text, kept) << kept;

    static char lt[] = "lt;", x[] = "x;", long_value[] = "a value much longer than its reference";
    char *table[16];
    memcpy(table, ezxml_predefined_entities, sizeof ezxml_predefined_entities);
    char *extra[] = {lt, x, x, long_value, nullptr};
    memcpy(table + 10, extra, sizeof extra);
    EXPECT_EQ(Decode("&lt;&x;", '&', table).text, "<" + std::string(long_value))
        << "the predefined lt comes first in the table";

    // A text that moved to the heap for one growth keeps growing correctly.
    std::string in = "&lt;" + std::string(300, 'p');
    std::string want = "<" + std::string(300, 'p');
    for (int i = 0; i < 50; ++i) {
        in += "&x;";
        want += long_value;
    }
    Decoded grown = Decode(in, '&', table);
    EXPECT_TRUE(grown.heap);
    EXPECT_EQ(grown.text, want);
}

TEST(XmlDecode, Utf8FormsAtEveryLengthBoundary) {
    struct {
        long v;
        const char *bytes;
    } cases[] = {
        {0x41, "\x41"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10348, "\xF0\x90\x8D\x88"},
        {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
        {0x200000, "\xF8\x88\x80\x80\x80"},
        {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
        {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
        {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
        {-1, "\xFF"},
    };
    for (const auto &c : cases) {
        char out[8];
        size_t n = ezxml_utf8_encode(c.v, out);
        EXPECT_EQ(std::string(out, n), std::string(c.bytes)) << std::hex << c.v;
    }
}

TEST(XmlDecode, InternalSubsetDeclarations) {
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

TEST(XmlDecode, SubsetProblemsEndReadingOnly) {
    // A cycle: b is refused, reading ends, a stays.
    ParsedDoc cyc("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'><!ENTITY c 'c'>]><r>&a;|&c;</r>");
    char **e = reinterpret_cast<ezxml_root *>(cyc.root)->entities + 10;
    EXPECT_STREQ(e[0], "a;");
    EXPECT_EQ(e[2], nullptr);
    EXPECT_STREQ(cyc.root->text, "&b;|&c;");
    ParsedDoc self("<!DOCTYPE r [<!ENTITY s 'x&s;'>]><r>&s;</r>");
    EXPECT_STREQ(self.root->text, "&s;");
    // A parameter reference between declarations ends a non-standalone subset.
    ParsedDoc pe("<!DOCTYPE r [<!ENTITY a 'A'> %x; <!ENTITY b 'B'>]><r>&a;&b;</r>");
    EXPECT_STREQ(pe.root->text, "A&b;");
    ParsedDoc sa("<?xml version='1.0' standalone=\"yes\"?><!DOCTYPE r [<!ENTITY a 'A'> %x; <!ENTITY b 'B'>]><r>&a;&b;</r>");
    EXPECT_STREQ(sa.root->text, "AB");
    // An unquoted default ends its declaration only.
    ParsedDoc bad("<!DOCTYPE r [<!ATTLIST r a CDATA oops b CDATA 'no'><!ATTLIST r c CDATA 'yes'>]><r/>");
    EXPECT_EQ(ezxml_attr(bad.root, "b"), nullptr);
    EXPECT_STREQ(ezxml_attr(bad.root, "c"), "yes");
}

// Nested entities that would grow exponentially stop at a budget
// proportional to the input, in bounded time, and leave the unexpanded
// references in the text.
TEST(XmlDecode, EntityExpansionIsBounded) {
    std::string dtd = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int i = 1; i <= 30; ++i) {
        dtd += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) dtd += "&l" + std::to_string(i - 1) + ";";
        dtd += "'>";
    }
    const std::string text = dtd + "]><r a='&l30;'>&l30;<c>&l30;</c></r>";
    auto start = std::chrono::steady_clock::now();
    ParsedDoc d(text);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);
    const size_t text_len = strlen(d.root->text), attr_len = strlen(ezxml_attr(d.root, "a"));
    const size_t budget = ezxml_default_budget(text.size());
    EXPECT_GT(attr_len + text_len, 1000u) << "expansion happens up to the budget";
    EXPECT_LE(attr_len + text_len + strlen(ezxml_child(d.root, "c")->text), budget + 64 * text.size());
    EXPECT_NE(strstr(ezxml_child(d.root, "c")->text, "&l"), nullptr) << "the rest stays as written";

    // Wide-but-flat entities whose expansion adds nothing still cost steps.
    std::string empty = "<!DOCTYPE r [<!ENTITY e0 ''>";
    for (int i = 1; i <= 40; ++i)
        empty += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";&e" + std::to_string(i - 1) + ";'>";
    start = std::chrono::steady_clock::now();
    ParsedDoc flat(empty + "]><r>&e40;</r>");
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);
}

// Large subsets are looked up through an index: the first declaration of a
// name still wins, names holding ';' still match by prefix, cycles are still
// refused, and a chain too long to check cheaply ends the subset.
TEST(XmlDecode, LargeSubsetsKeepTheirMeaning) {
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
}

TEST(XmlDecode, AcyclicCheckFollowsChains) {
    char a[] = "a;", av[] = "&b;", b[] = "b;", bv[] = "&c;x", c[] = "c;", cv[] = "plain";
    char *table[] = {a, av, b, bv, c, cv, nullptr};
    EXPECT_TRUE(ezxml_entity_acyclic("d;", "&a;&b;", table));
    EXPECT_FALSE(ezxml_entity_acyclic("c;", "&a;", table));
    EXPECT_FALSE(ezxml_entity_acyclic("d;", "x&d;", table));
    EXPECT_EQ(Decode("[&a;]", '&', table).text, "[plainx]");
}

}  // namespace
