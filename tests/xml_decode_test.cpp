// Decoding modes, character references, UTF-8 forms and the expansion budget.
#include "ezxml.h"
#include "ezxml_internal.h"
#include "xml_test_support.h"

#include <chrono>

namespace {

struct Decoded {
    std::string text;
    bool heap;
};

// readable: bytes the decoder may read past the NUL (as the parser lets it,
// 16 at a time); -1: none, the decoder knows neither end.
Decoded Decode(const std::string &in, char mode, char **table = nullptr, int readable = -1) {
    std::vector<char> buf(in.begin(), in.end());
    buf.push_back('\0');
    // Bytes that would end a run or a reference if they were read as text.
    for (int i = 0; i < readable; ++i) buf.push_back("&<;\r#"[i % 5]);
    ezxml_node *doc = ezxml_new(nullptr);
    char **entities = table ? table : reinterpret_cast<ezxml_root *>(doc)->entities;
    ezxml_decode_options opt{};
    opt.entities = entities;
    if (readable >= 0) {
        opt.end = buf.data() + in.size();
        opt.readable_end = buf.data() + buf.size();
    }
    char *out = ezxml_decode(buf.data(), mode, &opt);
    if (out) {
        EXPECT_EQ(opt.length, strlen(out));
    }
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
    // Numbers outside 1 to U+10FFFF are no characters, whatever the width of long.
    for (const char *kept : {"&#0;", "&#12", "&nosuch;", "&#x;", "&#;", "&#X41;", "&", "&#x100000000;", "&#-256;",
                             "&#-1;", "&#x110000;", "&#1114112;", "&#4294967297;", "&#x100000041;",
                             "&#99999999999999999999;", "&#-99999999999999999999;"})
        EXPECT_EQ(Decode(kept, '&').text, kept) << kept;
    EXPECT_EQ(Decode("&#x10FFFF;&#1114111;", '&').text, "\xF4\x8F\xBF\xBF\xF4\x8F\xBF\xBF");
    // No reference puts a NUL into a text, so nothing behind it is lost.
    ParsedDoc nul("<a>x&#-256;y<b/>z</a>");
    EXPECT_EQ(std::string(nul.root->text), "x&#-256;yz");
    EXPECT_EQ(ToXml(nul.root), "<a>x&amp;#-256;y<b></b>z</a>");
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

TEST(XmlDecode, WideReadingAgreesWithByteReading) {
    // The parser lets the decoder read its buffer 16 bytes at a time and move
    // short runs as 16 bytes; texts of every mix of runs and references, at
    // every distance from the end of the buffer, must decode as byte by byte.
    static char x[] = "x;", long_value[] = "a value longer than its reference &#233;&lt;";
    char *table[16];
    memcpy(table, ezxml_predefined_entities, sizeof ezxml_predefined_entities);
    char *extra[] = {x, long_value, nullptr};
    memcpy(table + 10, extra, sizeof extra);
    const char *pieces[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&#169;", "&#x1F600;", "&#0000065;", "&#x10FFFF;",
                            "&#;", "&#x110000;", "&nosuch;", "&x;", "\r\n", "\r", "\t", " ", "&", "%"};
    unsigned seed = 12345;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 400; ++round) {
        std::string in;
        for (unsigned k = next(12); k > 0; --k) {
            in += std::string(next(3) ? next(6) : next(40), static_cast<char>('a' + next(26)));
            in += pieces[next(sizeof pieces / sizeof *pieces)];
        }
        for (char mode : {'&', ' ', '*', 'c'}) {
            const Decoded bytewise = Decode(in, mode, table);
            for (int readable : {0, 1, 7, 15, 16, 40}) {
                const Decoded wide = Decode(in, mode, table, readable);
                ASSERT_EQ(wide.text, bytewise.text) << "mode " << mode << " readable " << readable << ": " << in;
                ASSERT_EQ(wide.heap, bytewise.heap) << in;
            }
        }
    }
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

// A DTD of levels entities: l0 is "lol", each further one refers width
// times to the one before; the document refers to the last one.
std::string Laughs(int levels, int width, const std::string &body, const std::string &more_dtd = "") {
    std::string dtd = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int i = 1; i < levels; ++i) {
        dtd += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < width; ++k) dtd += "&l" + std::to_string(i - 1) + ";";
        dtd += "'>";
    }
    return dtd + more_dtd + "]>" + body;
}

int Status(const ParsedDoc &d) { return ezxml_parse_status(d.root, nullptr); }

// Entity expansion is bounded by its amplification of the input, not by a
// count: a harmless document expands in full, an attack stops early and
// says so.
TEST(XmlDecode, ExpansionBoundedByAmplification) {
    // 10 KB referenced 300 times from an 11 KB document: 3 MB, below the threshold.
    std::string doc = "<!DOCTYPE r [<!ENTITY e '" + std::string(10240, 'v') + "'>]><r>";
    for (int i = 0; i < 300; ++i) doc += "&e;";
    ParsedDoc harmless(doc + "</r>");
    EXPECT_EQ(Status(harmless), EZXML_PARSE_COMPLETE) << ezxml_error(harmless.root);
    EXPECT_EQ(strlen(harmless.root->text), 300u * 10240u);

    // Above the threshold the factor rules: about 9.6 MB from a 100 KB input
    // fits, from a 50 KB input it does not.
    const std::string unit = "<!DOCTYPE r [<!ENTITY e '" + std::string(9600, 'w') + "'>]><r>";
    std::string large = unit, small = unit;
    for (int i = 0; i < 1000; ++i) large += "&e;", small += "&e;";
    large += "<p>" + std::string(100000 - large.size(), ' ') + "</p></r>";
    small += "<p>" + std::string(50000 - small.size(), ' ') + "</p></r>";
    ParsedDoc fits(large);
    EXPECT_EQ(Status(fits), EZXML_PARSE_COMPLETE) << ezxml_error(fits.root);
    EXPECT_EQ(strlen(fits.root->text), 9600u * 1000u);
    ParsedDoc over(small);
    size_t at = 0;
    EXPECT_EQ(ezxml_parse_status(over.root, &at), EZXML_PARSE_EXPANSION_LIMIT);
    EXPECT_EQ(at, unit.size()) << "stopped in the text that expands";
    EXPECT_STREQ(ezxml_error(over.root), "entity expansion over its limit");
    EXPECT_EQ(over.root->child, nullptr) << "nothing behind the stop is read";

    // Attacks in text, in attribute values and in DTD defaults stop within
    // the budget (l6 gives 3 MB, l7 30 MB); the budget is shared by all
    // the texts of a parse.
    std::string shared = "<r>";
    for (int i = 0; i < 30; ++i) shared += "<c>&l5;</c>";
    for (const auto &c : {std::make_pair(std::string("<r>&l7;</r>"), std::string()),
                          std::make_pair(std::string("<r a='&l7;'/>"), std::string()),
                          std::make_pair(std::string("<r/>"), std::string("<!ATTLIST r d CDATA '&l7;'>")),
                          std::make_pair(shared + "</r>", std::string())}) {
        ParsedDoc attack(Laughs(8, 10, c.first, c.second));
        EXPECT_EQ(Status(attack), EZXML_PARSE_EXPANSION_LIMIT) << c.first << c.second;
        EXPECT_EQ(ezxml_attr(attack.root, "a"), nullptr);
        EXPECT_EQ(ezxml_attr(attack.root, "d"), nullptr);
        EXPECT_LE(strlen(attack.root->text), size_t{EZXML_EXPANSION_THRESHOLD});
    }
    std::string pe = "<!DOCTYPE r [<!ENTITY % p0 '" + std::string(10000, 'p') + "'>";
    for (int i = 1; i <= 4; ++i) {
        pe += "<!ENTITY % p" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) pe += "%p" + std::to_string(i - 1) + ";";
        pe += "'>";
    }
    ParsedDoc in_dtd(pe + "]><r/>");
    EXPECT_EQ(Status(in_dtd), EZXML_PARSE_EXPANSION_LIMIT) << "parameter entities share the budget";
    EXPECT_EQ(in_dtd.root->name, nullptr);

    // The classic attack (10^9 times "lol"), and 2^40 expansions of an empty
    // value, end at the budget too.
    ParsedDoc billion(Laughs(10, 10, "<r>&l9;</r>"));
    EXPECT_EQ(Status(billion), EZXML_PARSE_EXPANSION_LIMIT);
    std::string empty = "<!DOCTYPE r [<!ENTITY e0 ''>";
    for (int i = 1; i <= 40; ++i)
        empty += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";&e" + std::to_string(i - 1) + ";'>";
    ParsedDoc flat(empty + "]><r>&e40;</r>");
    EXPECT_EQ(Status(flat), EZXML_PARSE_EXPANSION_LIMIT);

    // Values nest 64 deep at most.
    std::string deep = "<!DOCTYPE r [<!ENTITY n0 'x'>";
    for (int i = 1; i <= 70; ++i) deep += "<!ENTITY n" + std::to_string(i) + " '&n" + std::to_string(i - 1) + ";'>";
    ParsedDoc nested60(deep + "]><r>&n60;</r>");
    EXPECT_STREQ(nested60.root->text, "x");
    ParsedDoc nested70(deep + "]><r>&n70;</r>");
    EXPECT_EQ(Status(nested70), EZXML_PARSE_EXPANSION_LIMIT);
}

}  // namespace
