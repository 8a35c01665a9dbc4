// The in-place parser: structure, text pieces, attributes, failure stops,
// input ends and UTF-16 input.
#include "ezxml.h"
#include "xml_test_support.h"
#include "xml_tree_check.h"

namespace {

ezxml_root *Root(ezxml_node *n) { return reinterpret_cast<ezxml_root *>(n); }

TEST(XmlParse, TextPiecesOffsetsAndOwnership) {
    ParsedDoc d("<a>t1<b/>t2<c/>t3</a>");
    EXPECT_STREQ(d.root->name, "a");
    EXPECT_STREQ(d.root->text, "t1t2t3");
    EXPECT_NE(d.root->flags & EZXML_TEXT_OWNED, 0) << "joined pieces are an own text";
    EXPECT_EQ(ezxml_child(d.root, "b")->offset, 2u);
    EXPECT_EQ(ezxml_child(d.root, "c")->offset, 4u);
    EXPECT_EQ(Root(d.root)->current, nullptr);

    ParsedDoc single("<a>plain</a>");
    EXPECT_EQ(single.root->flags & EZXML_TEXT_OWNED, 0) << "one piece stays in the buffer";
    EXPECT_GE(single.root->text, single.buf.data());
    EXPECT_LT(single.root->text, single.buf.data() + single.buf.size());

    ParsedDoc grown("<a>x &lt; y &amp; z</a>");
    EXPECT_STREQ(grown.root->text, "x < y & z");
    EXPECT_NE(grown.root->flags & EZXML_TEXT_OWNED, 0);

    ParsedDoc cdata("<a>1<![CDATA[<b>&amp;</b>]]>2</a>");
    EXPECT_STREQ(cdata.root->text, "1<b>&amp;</b>2");
    EXPECT_EQ(cdata.root->child, nullptr);
}

TEST(XmlParse, AttributesNormalisedAndDeclared) {
    ParsedDoc d("<a x='1\r\n2\t3\r4' y=\"&lt;q&gt;\" bare z = 'v' w=unquoted>text</a>");
    EXPECT_STREQ(ezxml_attr(d.root, "x"), "1 2 3 4");
    EXPECT_STREQ(ezxml_attr(d.root, "y"), "<q>");
    EXPECT_STREQ(ezxml_attr(d.root, "bare"), "");
    EXPECT_STREQ(ezxml_attr(d.root, "z"), "v");
    EXPECT_STREQ(ezxml_attr(d.root, "w"), "");
    EXPECT_STREQ(ezxml_attr(d.root, "unquoted"), "") << "a bare word behind = is the next name";
    // Markers: the grown value is owned, the others are spaces.
    const char *own = d.root->attrs[2 * 6 + 1];
    EXPECT_STREQ(own, " @    ");

    std::string many = "<m";
    for (int i = 0; i < 40; ++i) many += " a" + std::to_string(i) + "='&#" + std::to_string(48 + i) + ";'";
    ParsedDoc m(many + "><m" + many.substr(2) + "/></m>");
    for (ezxml_node *n : {m.root, m.root->child}) {
        ASSERT_NE(n, nullptr);
        EXPECT_STREQ(ezxml_attr(n, "a39"), "W");
        EXPECT_STREQ(n->attrs[81], std::string(40, ' ').c_str());
    }
    // Lists too long to share a node block (5000 pairs) are read whole too.
    std::string huge = "<h";
    for (int i = 0; i < 5000; ++i) huge += " b" + std::to_string(i) + "='&#" + std::to_string(48 + i % 10) + ";'";
    ParsedDoc h(huge + "><h" + huge.substr(2) + "/>tail</h>");
    for (ezxml_node *n : {h.root, h.root->child}) {
        ASSERT_NE(n, nullptr);
        EXPECT_STREQ(ezxml_attr(n, "b4999"), "9");
    }
    EXPECT_STREQ(h.root->text, "tail");
    EXPECT_NE(ezxml_set_attr(h.root->child, "b0", "changed"), nullptr);
    EXPECT_STREQ(ezxml_attr(h.root->child, "b0"), "changed");

    ParsedDoc t(
        "<!DOCTYPE r [<!ATTLIST r t NMTOKENS #IMPLIED c CDATA #IMPLIED d CDATA 'dflt'>]>"
        "<r t='  a   b  ' c='  a   b  '><r/></r>");
    EXPECT_STREQ(ezxml_attr(t.root, "t"), "a b");
    EXPECT_STREQ(ezxml_attr(t.root, "c"), "  a   b  ");
    EXPECT_STREQ(ezxml_attr(t.root, "d"), "dflt") << "the DTD default stands in";
    EXPECT_STREQ(ezxml_attr(ezxml_child(t.root, "r"), "d"), "dflt");
    EXPECT_EQ(ezxml_attr(t.root, "none"), nullptr);
}

TEST(XmlParse, StartTagsInsideAnElementReadAsTheRootElementsTag) {
    // Start tags with plain attributes are read by quicker lanes than the
    // general reader, one for the root element and one inside it; all three
    // must give the same element, status and bytes written into the buffer,
    // with attribute types declared or not.
    const std::string nine = "<e a='1' b='2' c='3' d='4' e='5' f='6' g='7' h='8' i='9'/>";
    const char *tags[] = {"<e a=\"1\" b='2'/>", "<e a=\"1\"b=\"2\">t</e>", "<e  a=\"x\"  \t>u</e>",
                          "<e a = \"1\"/>", "<e a=\"1&amp;\"/>", "<e a=\"x y\"/>", "<e a=\"\t\r\n\"/>",
                          "<e a/>", "<e a=1/>", "<e =\"1\"/>", "<e a=\"\"/>", "<e a=\"1\" / >", "<e a=\"1\"/x>",
                          "<e a=\"1", "<e a='\"'/>", "<e a=\"'\"/>", "<e a=\"1\" a=\"2\"/>",
                          "<e a=\"1\"></e>", "<e a=\" 1  2 \"/>", nine.c_str(),
                          "<e a='1' b='2' c='3' d='4' e='5' f='6' g='7' h='8'/>"};
    for (const std::string declared : {"", "<!DOCTYPE r [<!ATTLIST e a NMTOKENS #IMPLIED b CDATA 'x' z ID #IMPLIED>]>",
                                       "<!DOCTYPE r [<!ATTLIST zz a NMTOKENS #IMPLIED>]>"}) {
        for (const char *tag : tags) {
            const std::string t = tag;
            ParsedDoc root(declared + t + " "), inside(declared + "<r>" + t + "</r>");
            ParsedDoc root_general(declared + t + " ", true), inside_general(declared + "<r>" + t + "</r>", true);
            ASSERT_NE(inside.root, nullptr);
            ASSERT_NE(inside_general.root, nullptr);
            EXPECT_EQ(ToXml(inside.root), ToXml(inside_general.root)) << tag;
            EXPECT_EQ(ToXml(root.root), ToXml(root_general.root)) << tag;
            EXPECT_EQ(ezxml_parse_status(inside.root, nullptr), ezxml_parse_status(inside_general.root, nullptr)) << tag;
            EXPECT_EQ(ezxml_parse_status(root.root, nullptr), ezxml_parse_status(root_general.root, nullptr)) << tag;
            EXPECT_EQ(inside.buf, inside_general.buf) << tag;
            EXPECT_EQ(root.buf, root_general.buf) << tag;
            const bool made = root.root && root.root->name;
            EXPECT_EQ(made ? ToXml(root.root) : "", inside.root->child ? ToXml(inside.root->child) : "") << tag;
            EXPECT_EQ(ezxml_parse_status(root.root, nullptr), ezxml_parse_status(inside.root, nullptr)) << tag;
            EXPECT_TRUE(std::equal(root.buf.begin() + declared.size(), root.buf.begin() + declared.size() + t.size(),
                                   inside.buf.begin() + declared.size() + 3))
                << tag;
            if (made && inside.root->child) {
                EXPECT_EQ(xmlcheck::CheckTree(inside.root), "") << tag;
                for (int i = 0; root.root->attrs[i]; ++i)
                    EXPECT_STREQ(root.root->attrs[i], inside.root->child->attrs[i]);
                const size_t n = xmlcheck::PairCount(root.root->attrs);
                EXPECT_STREQ(root.root->attrs[2 * n + 1], inside.root->child->attrs[2 * n + 1]) << "markers of " << tag;
                EXPECT_STREQ(ezxml_attr(inside.root->child, "b"), ezxml_attr(root.root, "b")) << tag;
            }
        }
    }
}

// The quicker lanes open and close the root element too, also where the
// input's last byte (which the parser overwrites) closes a tag.
TEST(XmlParse, RootElementEdgesReadAsTheGeneralReaderReadsThem) {
    using namespace std::string_literals;
    for (const std::string &d : {"<r/>"s, "<r a='1'/>"s, "<r a='1'/"s, "<r a='1'"s, "<r></r>"s, "<r></r"s, "<r></r >"s,
                                 "<r></rr>"s, "<r><a></a>"s, "<r><a></a></r>"s, "<r a='1' b=\"2\">t</r>x"s, "<r></r><s/>"s,
                                 "<r></r>  "s, "<?xml version='1.0'?><r k='v'><a/></r>"s, "<r>t\0</r>"s, "<r a='1'>\0</r>"s}) {
        const char *doc = d.c_str();
        ParsedDoc quick(d), general(d, true);
        size_t at_quick = 0, at_general = 0;
        EXPECT_EQ(ezxml_parse_status(quick.root, &at_quick), ezxml_parse_status(general.root, &at_general)) << doc;
        EXPECT_EQ(at_quick, at_general) << doc;
        EXPECT_STREQ(ezxml_error(quick.root), ezxml_error(general.root)) << doc;
        EXPECT_EQ(quick.root->name ? ToXml(quick.root) : "", general.root->name ? ToXml(general.root) : "") << doc;
        EXPECT_EQ(quick.buf, general.buf) << doc;
    }
}

// Default lists are found by element name among many, including lists that
// a DOCTYPE met later in the document adds; the serializer finds them too.
TEST(XmlParse, DefaultListsAmongMany) {
    std::string dtd = "<!DOCTYPE r [";
    std::string body;
    for (int i = 0; i < 40; ++i) {
        const std::string n = "e" + std::to_string(i);
        dtd += "<!ATTLIST " + n + " d CDATA 'v" + std::to_string(i) + "' t NMTOKENS #IMPLIED>";
        body += "<" + n + " t=' a  " + n + " '/>";
    }
    ParsedDoc d(dtd + "]><r>" + body + "<!DOCTYPE q [<!ATTLIST late t NMTOKENS 'x  y'>]><late t=' p  q '/></r>");
    for (int i = 0; i < 40; ++i) {
        const std::string n = "e" + std::to_string(i);
        ezxml_node *e = ezxml_child(d.root, n.c_str());
        ASSERT_NE(e, nullptr) << n;
        EXPECT_EQ(std::string(ezxml_attr(e, "d")), "v" + std::to_string(i));
        EXPECT_EQ(std::string(ezxml_attr(e, "t")), "a " + n) << "token mode from the element's own list";
    }
    ezxml_node *late = ezxml_child(d.root, "late");
    ASSERT_NE(late, nullptr);
    EXPECT_STREQ(ezxml_attr(late, "t"), "p q") << "a list added after the root element began";
    EXPECT_EQ(ToXml(ezxml_child(d.root, "e39")), "<e39 t=\"a e39\" d=\"v39\"></e39>");
}

TEST(XmlParse, EntitiesFromTheInternalSubset) {
    ParsedDoc d("<!DOCTYPE r [<!ENTITY e 'a much longer replacement'>]><r>x&e;y</r>");
    EXPECT_STREQ(d.root->text, "xa much longer replacementy");
    EXPECT_NE(d.root->flags & EZXML_TEXT_OWNED, 0);

    ParsedDoc both("<!DOCTYPE r [ <!ENTITY % p 'P'> <!ENTITY g '[%p;]'> ]><r a='&g;'>&g;%p;</r>");
    EXPECT_STREQ(both.root->text, "[P]%p;") << "parameter entities expand only in entity values";
    EXPECT_STREQ(ezxml_attr(both.root, "a"), "[P]");
}

TEST(XmlParse, InstructionsAndDeclaration) {
    ParsedDoc d("<?xml version='1.0' standalone='yes'?><?p one?><r><?q?></r><?p two?>");
    EXPECT_EQ(Root(d.root)->standalone, 1);
    const char **p = ezxml_pi(d.root, "p");
    ASSERT_STREQ(p[0], "one");
    ASSERT_STREQ(p[1], "two");
    EXPECT_EQ(p[2], nullptr);
    EXPECT_STREQ(p[3], "<>");
    EXPECT_STREQ(ezxml_pi(d.root, "q")[0], "");
    EXPECT_EQ(ezxml_pi(d.root, "xml"), EZXML_EMPTY_LIST);
    EXPECT_EQ(ezxml_pi(ezxml_child(d.root, "nothing"), "p"), EZXML_EMPTY_LIST);
}

// Each stop keeps what was complete before it, and the status tells why
// and where the parse stopped.
TEST(XmlParse, FailuresStopWithTheTreeSoFar) {
    struct Case {
        std::string text;
        const char *root_name;  // nullptr: no element
        bool closed;
        const char *children;   // names of root's children, in order
        int status;
        size_t offset;
        const char *error;
    } cases[] = {
        {"", nullptr, false, "", EZXML_PARSE_MALFORMED, 0, "no root element"},
        {"no markup", nullptr, false, "", EZXML_PARSE_MALFORMED, 9, "no root element"},
        {"<a></b>", "a", false, "", EZXML_PARSE_MISMATCHED_TAG, 3, "end tag </b> does not close <a>"},
        {"<a/><b/>", "a", true, "", EZXML_PARSE_MALFORMED, 4, "element <b> behind the root element"},
        {"<a/></a>", "a", true, "", EZXML_PARSE_MISMATCHED_TAG, 4, "end tag </a> closes no open element"},
        {"<a><b x='1></a>", "a", false, "", EZXML_PARSE_UNTERMINATED, 8, "input ends inside an attribute value"},
        {"<a><b/ ></a>", "a", false, "", EZXML_PARSE_MALFORMED, 5, nullptr},
        {"<a><b x='1'", "a", false, "", EZXML_PARSE_UNTERMINATED, 8, "input ends inside an attribute value"},
        {"<a><b x='1' ", "a", false, "", EZXML_PARSE_UNTERMINATED, 3, "input ends inside a start tag"},
        {"<a><c/><!-- x -- y --></a>", "a", false, "c", EZXML_PARSE_MALFORMED, 14, "\"--\" inside a comment"},
        {"<a><!-- x --", "a", false, "", EZXML_PARSE_UNTERMINATED, 3, "input ends inside a comment"},
        {"<a><![CDATA[x</a>", "a", false, "", EZXML_PARSE_UNTERMINATED, 3, "input ends inside a CDATA section"},
        {"<a><?pi x</a>", "a", false, "", EZXML_PARSE_UNTERMINATED, 3, "input ends inside a processing instruction"},
        {"<a><!x></a>", "a", false, "", EZXML_PARSE_MALFORMED, 3, nullptr},
        {"<a>< b/></a>", "a", false, "", EZXML_PARSE_MALFORMED, 3, nullptr},
        {"<a><b><c>", "a", false, "b", EZXML_PARSE_UNCLOSED_ELEMENT, 9, "unclosed element <c>"},
        {"<a><b></b", "a", false, "b", EZXML_PARSE_UNTERMINATED, 6, "input ends inside an end tag"},
        {"</a>", nullptr, false, "", EZXML_PARSE_MISMATCHED_TAG, 0, "end tag </a> closes no open element"},
        {"<!DOCTYPE a [ <!ENTITY e 'x'> ", nullptr, false, "", EZXML_PARSE_UNTERMINATED, 0, "input ends inside a DOCTYPE"},
        {std::string("<a/>\0<b/>", 9), "a", true, "", EZXML_PARSE_MALFORMED, 4, "a NUL byte inside the text"},
    };
    for (const Case &c : cases) {
        ParsedDoc d(c.text);
        ASSERT_NE(d.root, nullptr) << c.text;
        if (c.root_name)
            EXPECT_STREQ(d.root->name, c.root_name) << c.text;
        else
            EXPECT_EQ(d.root->name, nullptr) << c.text;
        EXPECT_EQ(Root(d.root)->current == nullptr, c.closed) << c.text;
        std::string names;
        for (ezxml_node *k = d.root->child; k; k = k->ordered) names += k->name;
        EXPECT_EQ(names, c.children) << c.text;
        size_t offset = 12345;
        EXPECT_EQ(ezxml_parse_status(d.root, &offset), c.status) << c.text;
        EXPECT_EQ(offset, c.offset) << c.text;
        if (c.error)
            EXPECT_STREQ(ezxml_error(d.root), c.error) << c.text;
        else
            EXPECT_STRNE(ezxml_error(d.root), "") << c.text;
        if (d.root->child) {
            EXPECT_EQ(ezxml_parse_status(d.root->child, nullptr), c.status) << "any node of the document tells";
        }
    }
}

TEST(XmlParse, StatusOfCompleteAndBuiltDocuments) {
    for (const std::string &text : {std::string("<a>x</a>"), std::string("<?p?><a><b/>t<![CDATA[c]]></a><!--e-->\n"),
                                     std::string("<a/>\0\0", 6)}) {
        ParsedDoc d(text);
        size_t offset = 0;
        EXPECT_EQ(ezxml_parse_status(d.root, &offset), EZXML_PARSE_COMPLETE) << text;
        EXPECT_EQ(offset, text.size()) << text;
        EXPECT_STREQ(ezxml_error(d.root), "");
    }
    ezxml_node *built = ezxml_new("r");
    ezxml_node *child = ezxml_add_child(built, "c", 0);
    size_t offset = 99;
    EXPECT_EQ(ezxml_parse_status(child, &offset), EZXML_PARSE_COMPLETE);
    EXPECT_EQ(offset, 0u);
    ezxml_free(built);
    offset = 99;
    EXPECT_EQ(ezxml_parse_status(nullptr, &offset), EZXML_PARSE_NO_DOCUMENT);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(ezxml_parse_status(nullptr, nullptr), EZXML_PARSE_NO_DOCUMENT);
}

TEST(XmlParse, LastByteAndInputEnd) {
    for (const std::string &text : {std::string("<a>x</a>"), std::string("<a>x</a>\n"), std::string("<a>x</a>\0", 9)}) {
        ParsedDoc d(text);
        EXPECT_EQ(Root(d.root)->current, nullptr) << text;
        EXPECT_STREQ(d.root->text, "x");
    }
    // Text behind the last markup is dropped; so is text before the root.
    ParsedDoc open("junk<a>x<b/>tail");
    EXPECT_STREQ(open.root->text, "x");
    // An embedded NUL ends the input.
    ParsedDoc embedded(std::string("<a>x\0</a>", 9));
    EXPECT_NE(Root(embedded.root)->current, nullptr);
    // The parse reads exactly `length` bytes: an unterminated heap buffer.
    for (const char *text : {"<a b='", "<a><!--", "<a><![CDATA[", "<!DOCTYPE a [", "<a>&#x", "<a><?p"}) {
        size_t n = strlen(text);
        char *exact = static_cast<char *>(malloc(n));
        memcpy(exact, text, n);
        ezxml_node *r = ezxml_parse_str(exact, n);
        ezxml_free(r);
        free(exact);
    }
}

TEST(XmlParse, DoctypeForms) {
    ParsedDoc d("<!DOCTYPE r SYSTEM 'r.dtd' [ <!ATTLIST r a CDATA '[x]'> ] ><r/>");
    EXPECT_STREQ(d.root->name, "r");
    EXPECT_STREQ(ezxml_attr(d.root, "a"), "[x]");
    // The subset ends at the first "]" followed by ">", even inside quotes.
    ParsedDoc cut("<!DOCTYPE r [ <!ATTLIST r a CDATA 'x]>'> ]><r/>");
    EXPECT_EQ(ezxml_attr(cut.root, "a"), nullptr);
    ParsedDoc no_subset("<!DOCTYPE r SYSTEM 'r.dtd'><r>t</r>");
    EXPECT_STREQ(no_subset.root->text, "t");
}

std::string Utf16(const std::string &ascii_and_euro, bool big_endian) {
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < ascii_and_euro.size(); ++i) {
        unsigned u = static_cast<unsigned char>(ascii_and_euro[i]);
        if (u == 0xE2) {  // the euro sign E2 82 AC
            u = 0x20AC;
            i += 2;
        }
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST(XmlParse, Utf16InputMatchesUtf8) {
    const std::string utf8 = "<a k='\xE2\x82\xAC'>x<b>\xE2\x82\xAC</b>y</a>";
    ParsedDoc ref(utf8);
    for (bool be : {false, true}) {
        std::string u16 = Utf16(utf8, be);
        const std::string copy = u16;
        std::vector<char> buf(u16.begin(), u16.end());
        ezxml_node *r = ezxml_parse_str(buf.data(), buf.size());
        EXPECT_EQ(ToXml(r), ToXml(ref.root));
        EXPECT_EQ(std::string(buf.begin(), buf.end()), copy) << "the caller's buffer is only read";
        EXPECT_NE(Root(r)->utf8_copy, nullptr);
        ezxml_free(r);
    }
    // A surrogate pair gives one 4-byte character.
    std::string pair = std::string("\xFF\xFE<\0a\0>\0", 8) + std::string("\x3D\xD8\x00\xDE", 4) + std::string("<\0/\0a\0>\0", 8);
    ParsedDoc p(pair);
    EXPECT_STREQ(p.root->text, "\xF0\x9F\x98\x80");
    ParsedDoc mark_only(std::string("\xFF\xFE", 2));
    EXPECT_EQ(mark_only.root->name, nullptr);
}

TEST(XmlParse, AlternatingSiblingNamesKeepChains) {
    std::string text = "<r>";
    for (int i = 0; i < 300; ++i) text += (i % 3 == 0) ? "<a/>" : (i % 3 == 1) ? "<b/>x" : "<c><a/></c>";
    text += "</r>";
    ParsedDoc d(text);
    ExpectChainsValid(d.root);
    size_t count = 0;
    for (ezxml_node *b = ezxml_child(d.root, "b"); b; b = b->next) ++count;
    EXPECT_EQ(count, 100u);
    EXPECT_EQ(ezxml_idx(ezxml_child(d.root, "b"), 99)->offset, 99u);
}

// Names, texts and attribute values are scanned 16 bytes at a time once
// they run past their first bytes; the wide test only picks candidates. Runs
// of every length up to past two wide steps, each ended (or not) by every
// kind of byte, at the buffer's very end too (the test's buffer is exactly
// the document), must read as the byte-by-byte general reader reads them.
TEST(XmlParse, LongRunsReadAsTheGeneralReaderReadsThem) {
    const std::string enders[] = {"", " ", "\t", "\n", "\r", "/", ">", "<", "&", "&amp;", "\"", "'", "=",
                                  std::string(1, '\0'), "\x01", "\x08", "\x0B", "\x0C", "\x0E", "\x1F", "\x7F", "\xC3\xA9"};
    for (size_t len = 0; len <= 40; ++len) {
        const std::string run(len, 'n');
        for (const std::string &e : enders) {
            const std::string name = "n" + run + e, text = run + e, value = run + e;
            const std::string docs[] = {
                "<r><" + name + ">x</" + name + "></r>",
                "<r><" + name + "/></r>",
                "<r><" + name,
                "<r>" + text + "</r>",
                "<r><a/>" + text + "<b/>" + text + "</r>",
                "<r>" + text,
                "<r><e a=\"" + value + "\" b='" + value + "'/></r>",
                "<r><e a=\"" + value,
            };
            for (const std::string &doc : docs) {
                ParsedDoc quick(doc), general(doc, true);
                size_t at_quick = 0, at_general = 0;
                ASSERT_NE(quick.root, nullptr);
                EXPECT_EQ(ezxml_parse_status(quick.root, &at_quick), ezxml_parse_status(general.root, &at_general))
                    << len << " " << doc;
                EXPECT_EQ(at_quick, at_general) << doc;
                EXPECT_EQ(ToXml(quick.root), ToXml(general.root)) << doc;
                EXPECT_STREQ(quick.root->text, general.root->text) << doc;
                EXPECT_EQ(quick.buf, general.buf) << doc;
            }
        }
    }
}

// The white space between many children is joined into the parent's text,
// growing one own block: the same text, offsets and bytes as the general
// reader's, with pieces of every length.
TEST(XmlParse, JoinedTextBetweenManyChildren) {
    std::string doc = "<r>";
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string piece(static_cast<size_t>(i % 37), i % 2 ? ' ' : '\n');
        doc += piece + "<c>" + std::to_string(i) + "</c>";
        expected += piece;
    }
    doc += "\n</r>";
    expected += "\n";
    ParsedDoc quick(doc), general(doc, true);
    EXPECT_EQ(std::string(quick.root->text), expected);
    EXPECT_STREQ(quick.root->text, general.root->text);
    EXPECT_EQ(quick.buf, general.buf);
    size_t offset = 0, i = 0;
    for (ezxml_node *c = quick.root->child; c; c = c->ordered, ++i) {
        offset += i % 37;
        EXPECT_EQ(c->offset, offset);
    }
    EXPECT_EQ(i, 200u);
    EXPECT_EQ(xmlcheck::CheckTree(quick.root), "");
}

// Declared attributes: CDATA ones (with or without defaults) do not change
// how a tag reads; tokenised ones collapse the spaces of their values. The
// quick reader gives what the general one gives, in runs of one name and
// alternating names, with an element's declarations split over two lists.
TEST(XmlParse, DeclaredAttributesReadAsTheGeneralReaderReadsThem) {
    const std::string dtd =
        "<!DOCTYPE r [<!ATTLIST e c CDATA #IMPLIED d CDATA 'dflt'>"
        "<!ATTLIST e t NMTOKENS #IMPLIED><!ATTLIST f c CDATA #REQUIRED>"
        "<!ATTLIST g k (one|two) #IMPLIED>]>";
    const std::string tags[] = {"<e c='a  b' t='x'/>", "<e t='  x   y '/>", "<e c=' s ' t='p q'/>", "<f c='  p  q '/>",
                                "<g k='one'/>",        "<g k=' two '/>",    "<e/>",                 "<h t=' u  v '/>"};
    std::string body;
    for (int i = 0; i < 64; ++i) body += tags[(i * 5 / 3) % 8] + (i % 3 ? "" : "\n");
    ParsedDoc quick(dtd + "<r>" + body + "</r>"), general(dtd + "<r>" + body + "</r>", true);
    ASSERT_NE(quick.root, nullptr);
    EXPECT_EQ(ToXml(quick.root), ToXml(general.root));
    EXPECT_EQ(quick.buf, general.buf);
    for (ezxml_node *q = quick.root->child, *g = general.root->child; q || g; q = q->ordered, g = g->ordered) {
        ASSERT_TRUE(q && g);
        for (const char *a : {"c", "d", "t", "k"}) {
            const char *qv = ezxml_attr(q, a), *gv = ezxml_attr(g, a);
            EXPECT_EQ(qv ? std::string(qv) : "<none>", gv ? std::string(gv) : "<none>") << q->name << " " << a;
        }
    }
    ezxml_node *e = ezxml_child(quick.root, "e");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(ezxml_attr(e, "c"), "a  b") << "CDATA keeps its spaces";
    EXPECT_STREQ(ezxml_attr(e, "d"), "dflt");
    EXPECT_STREQ(ezxml_attr(ezxml_idx(e, 1), "t"), "x y") << "tokens are collapsed";
    EXPECT_STREQ(ezxml_attr(ezxml_child(quick.root, "f"), "c"), "  p  q ");
    EXPECT_STREQ(ezxml_attr(ezxml_idx(ezxml_child(quick.root, "g"), 1), "k"), "two");
    EXPECT_STREQ(ezxml_attr(ezxml_child(quick.root, "h"), "t"), " u  v ") << "undeclared: CDATA";
}

}  // namespace
