// Tree model: linking, cutting, attributes, lookups and release.
#include "ezxml.h"
#include "xml_test_support.h"
#include "tests/xml_tree_check.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>

namespace {

const char *Own(const ezxml_node *n) {
    size_t i = 0;
    while (n->attrs[i]) i += 2;
    return n->attrs[i + 1];
}

std::vector<std::string> DocumentOrder(const ezxml_node *parent) {
    std::vector<std::string> out;
    for (const ezxml_node *c = parent->child; c; c = c->ordered) out.push_back(c->name);
    return out;
}

TEST(XmlTree, NewDocumentAndNullArguments) {
    ezxml_node *doc = ezxml_new("root");
    ASSERT_NE(doc, nullptr);
    ezxml_root *root = reinterpret_cast<ezxml_root *>(doc);
    EXPECT_EQ(root->current, doc);
    EXPECT_EQ(doc->attrs, EZXML_EMPTY_LIST);
    EXPECT_EQ(root->attr_defaults, EZXML_EMPTY_LIST);
    EXPECT_EQ(root->instructions, EZXML_EMPTY_LIST);
    EXPECT_STREQ(doc->text, "");
    EXPECT_STREQ(ezxml_error(doc), "");
    // The predefined entities, in their fixed order, then the terminator.
    const char *expected[] = {"lt;", "&#60;", "gt;", "&#62;", "quot;", "&#34;", "apos;", "&#39;", "amp;", "&#38;"};
    for (int i = 0; i < 10; ++i) EXPECT_STREQ(root->entities[i], expected[i]);
    EXPECT_EQ(root->entities[10], nullptr);

    EXPECT_EQ(ezxml_add_child(nullptr, "a", 0), nullptr);
    EXPECT_EQ(ezxml_cut(nullptr), nullptr);
    EXPECT_EQ(ezxml_child(nullptr, "a"), nullptr);
    EXPECT_EQ(ezxml_idx(nullptr, 0), nullptr);
    EXPECT_EQ(ezxml_attr(nullptr, "a"), nullptr);
    EXPECT_EQ(ezxml_set_attr(nullptr, "a", "b"), nullptr);
    EXPECT_EQ(ezxml_set_txt(nullptr, "t"), nullptr);
    EXPECT_EQ(ezxml_set_flag(nullptr, EZXML_TEXT_OWNED), nullptr);
    EXPECT_EQ(ezxml_pi(nullptr, "p"), EZXML_EMPTY_LIST);
    EXPECT_STREQ(ezxml_error(nullptr), "");
    EXPECT_EQ(ezxml_get(nullptr, "a", 0, nullptr), nullptr);
    ezxml_free(nullptr);
    ezxml_free(doc);
}

TEST(XmlTree, InsertKeepsTheThreeChains) {
    ezxml_node *doc = ezxml_new("p");
    ezxml_node *a1 = ezxml_add_child(doc, "a", 0);
    ezxml_node *b = ezxml_add_child(doc, "b", 0);
    ezxml_node *a2 = ezxml_add_child(doc, "a", 0);
    EXPECT_EQ(DocumentOrder(doc), (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(ezxml_child(doc, "a"), a1);
    EXPECT_EQ(a1->next, a2);
    EXPECT_EQ(a1->sibling, b);
    EXPECT_EQ(b->sibling, nullptr);
    ExpectChainsValid(doc);

    // Equal offsets go behind the elements already there.
    ezxml_node *a3 = ezxml_add_child(doc, "a", 0);
    EXPECT_EQ(a2->next, a3);
    EXPECT_EQ(a3->ordered, nullptr);

    ezxml_node *doc2 = ezxml_new("q");
    ezxml_node *x5 = ezxml_add_child(doc2, "x", 5);
    ezxml_node *y = ezxml_add_child(doc2, "y", 3);
    // A smaller offset than the first "x": the new node heads its name and
    // the document order; the old first leaves the sibling chain.
    ezxml_node *x2 = ezxml_add_child(doc2, "x", 2);
    EXPECT_EQ(doc2->child, x2);
    EXPECT_EQ(x2->sibling, y);
    EXPECT_EQ(x2->next, x5);
    EXPECT_EQ(x5->sibling, nullptr);
    ExpectChainsValid(doc2);
    ezxml_free(doc2);
    ezxml_free(doc);
}

// Random inserts and cuts against a model: document order is the stable
// order of offsets, and the chains stay consistent after every step.
TEST(XmlTree, RandomInsertAndCutMatchModel) {
    std::mt19937 rng(12345);
    const char *names[] = {"a", "b", "c", "d"};
    ezxml_node *doc = ezxml_new("r");
    std::vector<ezxml_node *> model;  // document order
    std::vector<ezxml_node *> loose;
    for (int step = 0; step < 600; ++step) {
        int op = static_cast<int>(rng() % 3);
        if (op < 2 || model.empty()) {
            size_t off = rng() % 8;
            ezxml_node *n;
            if (!loose.empty() && op == 1) {
                n = loose.back();
                loose.pop_back();
                ezxml_insert(n, doc, off);
            } else {
                n = ezxml_add_child(doc, names[rng() % 4], off);
            }
            auto pos = std::upper_bound(model.begin(), model.end(), off,
                                        [](size_t o, const ezxml_node *m) { return o < m->offset; });
            model.insert(pos, n);
        } else {
            size_t i = rng() % model.size();
            ezxml_node *n = model[i];
            model.erase(model.begin() + static_cast<long>(i));
            EXPECT_EQ(ezxml_cut(n), n);
            EXPECT_EQ(n->next, nullptr);
            EXPECT_EQ(n->ordered, nullptr);
            EXPECT_EQ(n->parent, doc) << "a cut node keeps its parent";
            loose.push_back(n);
        }
        std::vector<const ezxml_node *> actual;
        for (const ezxml_node *c = doc->child; c; c = c->ordered) actual.push_back(c);
        ASSERT_EQ(actual, std::vector<const ezxml_node *>(model.begin(), model.end())) << "step " << step;
        ExpectChainsValid(doc);
        if (HasFailure()) break;
    }
    for (ezxml_node *n : loose) ezxml_free(n);
    ezxml_free(doc);
}

TEST(XmlTree, CutFirstChildPromotesSameNameSuccessor) {
    ezxml_node *doc = ezxml_new("r");
    ezxml_node *a1 = ezxml_add_child(doc, "a", 0);
    ezxml_node *b = ezxml_add_child(doc, "b", 1);
    ezxml_node *c = ezxml_add_child(doc, "c", 2);
    ezxml_node *a2 = ezxml_add_child(doc, "a", 3);
    ezxml_cut(a1);
    EXPECT_EQ(doc->child, b);
    EXPECT_EQ(ezxml_child(doc, "a"), a2);
    EXPECT_EQ(b->sibling, c);
    EXPECT_EQ(c->sibling, a2);
    ExpectChainsValid(doc);
    ezxml_free(a1);
    ezxml_free(doc);

    // Equal offsets: the promoted successor keeps its document position.
    doc = ezxml_new("root");
    ezxml_node *a_late = ezxml_add_child(doc, "a", 2);
    ezxml_node *a_early = ezxml_add_child(doc, "a", 0);
    ezxml_node *bb = ezxml_add_child(doc, "b", 0);
    ezxml_node *dd = ezxml_add_child(doc, "dd", 2);
    ezxml_free(ezxml_cut(a_early));
    EXPECT_EQ(doc->child, bb);
    EXPECT_EQ(bb->sibling, a_late);
    EXPECT_EQ(a_late->sibling, dd);
    ExpectChainsValid(doc);
    ezxml_free(doc);
}

TEST(XmlTree, SetAttrReplacesRemovesAndAdopts) {
    ezxml_node *doc = ezxml_new("e");
    ezxml_set_attr(doc, "a", "1");
    ezxml_set_attr(doc, "b", "2");
    ezxml_set_attr(doc, "c", "3");
    ezxml_set_attr(doc, "b", "22");
    ASSERT_STREQ(doc->attrs[2], "b");
    EXPECT_STREQ(doc->attrs[3], "22");
    ezxml_set_attr(doc, "a", nullptr);
    EXPECT_STREQ(doc->attrs[0], "b");
    EXPECT_STREQ(doc->attrs[2], "c");
    EXPECT_EQ(doc->attrs[4], nullptr);
    EXPECT_STREQ(doc->attrs[5], "  ");
    ezxml_set_attr(doc, "zz", nullptr);  // absent and no value: nothing

    // Adoption lasts for one call; replacing an adopted value without
    // adoption releases it and leaves the name owned.
    ezxml_set_flag(doc, EZXML_ADOPT_ATTR);
    ezxml_set_attr(doc, strdup("d"), strdup("4"));
    EXPECT_EQ(doc->flags & EZXML_ADOPT_ATTR, 0);
    EXPECT_EQ(static_cast<unsigned char>(Own(doc)[2]), 0xC0);
    ezxml_set_attr(doc, "d", "44");
    EXPECT_EQ(static_cast<unsigned char>(Own(doc)[2]), 0x80);
    // A marker whose last bit is cleared is a space, never NUL.
    ezxml_set_flag(doc, EZXML_ADOPT_ATTR);
    ezxml_set_attr(doc, strdup("b"), strdup("x"));
    EXPECT_EQ(Own(doc)[0], '@');
    ezxml_set_attr(doc, "b", "y");
    EXPECT_EQ(Own(doc)[0], ' ');
    EXPECT_EQ(strlen(Own(doc)), 3u);
    EXPECT_STREQ(ezxml_attr(doc, "d"), "44");
    // Removing an adopted attribute under adoption releases the handed name.
    ezxml_set_flag(doc, EZXML_ADOPT_ATTR);
    ezxml_set_attr(doc, strdup("d"), nullptr);
    EXPECT_EQ(ezxml_attr(doc, "d"), nullptr);
    ezxml_set_flag(doc, EZXML_ADOPT_ATTR);
    ezxml_set_attr(doc, strdup("nothere"), nullptr);
    ezxml_free(doc);  // leak checking under the sanitizers covers ownership
}

// Parsed attribute lists live in the document's blocks; editing them
// gives the node a list of its own without disturbing the others.
TEST(XmlTree, SetAttrOnParsedLists) {
    ParsedDoc d("<r x='1' y='&lt;'><e a='1' b='2' c='&amp;&lt;'/><e a='9'/></r>");
    ezxml_node *e = ezxml_child(d.root, "e");
    ezxml_set_attr(e, "d", "4");
    ezxml_set_attr(e, "a", nullptr);
    ezxml_set_flag(e, EZXML_ADOPT_ATTR);
    ezxml_set_attr(e, strdup("c"), strdup("new"));
    EXPECT_EQ(ToXml(e), "<e b=\"2\" c=\"new\" d=\"4\"></e>");
    EXPECT_STREQ(Own(e), " @ ");
    ezxml_set_attr(d.root, "y", nullptr);
    ezxml_set_attr(d.root, "x", nullptr);
    EXPECT_EQ(d.root->attrs[0], nullptr);
    EXPECT_STREQ(ezxml_attr(e->next, "a"), "9");
}

TEST(XmlTree, OwnedTextAndNames) {
    ezxml_node *doc = ezxml_new(nullptr);
    ezxml_node *c = ezxml_add_child(doc, strdup("child"), 0);
    ezxml_set_flag(c, EZXML_NAME_OWNED);
    ezxml_set_txt(c, strdup("owned"));
    ezxml_set_flag(c, EZXML_TEXT_OWNED);
    ezxml_set_txt(c, "static");  // releases "owned", clears the bit
    EXPECT_EQ(c->flags & EZXML_TEXT_OWNED, 0);
    ezxml_set_txt(c, strdup("again"));
    ezxml_set_flag(c, EZXML_TEXT_OWNED);
    ezxml_free(doc);
}

TEST(XmlTree, IdxAndGetPaths) {
    ParsedDoc d(
        "<r><image><component/><component/><component><data id='x'/><data id='y'/></component></image></r>");
    ezxml_node *comp = ezxml_child(ezxml_child(d.root, "image"), "component");
    EXPECT_EQ(ezxml_idx(comp, 0), comp);
    EXPECT_EQ(ezxml_idx(comp, 3), nullptr);
    EXPECT_EQ(ezxml_idx(comp, -1), nullptr);
    ezxml_node *a = ezxml_get(d.root, "image", 0, "component", 2, "data", 0, reinterpret_cast<char *>(~uintptr_t(0)));
    ezxml_node *b = ezxml_get(d.root, "image", 0, "component", 2, "data", -1);
    ezxml_node *c = ezxml_get(d.root, "image", 0, "component", 2, "data", 1, "");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_STREQ(ezxml_attr(c, "id"), "y");
    EXPECT_EQ(ezxml_get(d.root, "image", 0, "nothing", 0, "data", -1), nullptr);
    EXPECT_EQ(ezxml_get(d.root, "image", 5, "component", 0, nullptr), nullptr);
}

// A cut subtree of a parsed document may be released before or after it.
TEST(XmlTree, CutSubtreeOutlivesOrPrecedesDocument) {
    for (int order = 0; order < 2; ++order) {
        std::string text = "<r>";
        for (int i = 0; i < 200; ++i) text += "<a><b>t</b></a><c/>";
        text += "</r>";
        std::vector<char> buf(text.begin(), text.end());
        ezxml_node *doc = ezxml_parse_str(buf.data(), buf.size());
        ezxml_node *sub = ezxml_cut(ezxml_idx(ezxml_child(doc, "a"), 100));
        ezxml_node *other = ezxml_cut(ezxml_child(doc, "c"));
        ExpectChainsValid(doc);
        ezxml_insert(other, sub, 1);
        EXPECT_EQ(ToXml(sub), "<a><b>t</b><c></c></a>");
        if (order == 0) {
            ezxml_free(sub);
            ezxml_free(doc);
        } else {
            ezxml_free(doc);
            ezxml_free(sub);
        }
    }
}

// A released document's first block serves the next parse, but only once
// nothing lives in it: a cut subtree keeps it, and documents parsed and
// released in several threads never share one.
TEST(XmlTree, FirstBlockServesTheNextParseOnlyWhenEmpty) {
    std::string a_text = "<r><a x=\"1\"><b>keep</b></a></r>", b_text = "<s><t>other</t></s>";
    std::vector<char> a_buf(a_text.begin(), a_text.end());
    ezxml_node *a = ezxml_parse_str(a_buf.data(), a_buf.size());
    ezxml_node *sub = ezxml_cut(ezxml_child(a, "a"));
    ezxml_free(a);
    ParsedDoc b(b_text), c(a_text);
    EXPECT_EQ(ToXml(sub), "<a x=\"1\"><b>keep</b></a>");
    ezxml_free(sub);
    ParsedDoc d(b_text);
    EXPECT_EQ(ToXml(b.root), b_text);
    EXPECT_EQ(ToXml(c.root), a_text);
    EXPECT_EQ(ToXml(d.root), b_text);

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            const std::string text = "<doc n=\"" + std::to_string(t) + "\"><v>" + std::string(40, char('a' + t)) + "</v></doc>";
            for (int i = 0; i < 2000; ++i) {
                ParsedDoc doc(text);
                ezxml_node *v = ezxml_child(doc.root, "v");
                const char *n = ezxml_attr(doc.root, "n");
                if (!v || !n || std::string(v->text) != std::string(40, char('a' + t)) || n[0] != char('0' + t)) ++wrong;
            }
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A parsed document that nothing changed is released by its blocks; one
// that a library function changed is walked node by node. Either way what it
// owns goes back once (the sanitizer build reports leaks and double frees).
TEST(XmlTree, ParsedDocumentsReleaseWhatTheyOwnAfterAnyChange) {
    // Owned texts (joined, decoded longer) and lists (decoded values, a list
    // too long for its block), closed by either reader or left open.
    std::string wide = "<w";
    for (int i = 0; i < 3000; ++i) wide += " a" + std::to_string(i) + "='v'";
    const std::string owners[] = {
        "<!DOCTYPE r [<!ENTITY e 'a longer text'>]><r><a x='&e;'>t<![CDATA[c]]></a><b>&e;</b><c y='&e;'/></r>",
        "<!DOCTYPE r [<!ENTITY e 'a longer text'>]><r><a x='&e;'>t<![CDATA[c]]>u<b>&e;<![CDATA[d]]>",
        "<r><p>x<!-- c -->y</p><q z='&#65;'>1<![CDATA[2]]></q></r>",
        wide + "/>",
        "<r>" + wide + ">t<![CDATA[c]]></w></r>",
    };
    for (const std::string &text : owners) {
        ParsedDoc plain(text), general(text, true);
        EXPECT_EQ(xmlcheck::Dump(plain.root), xmlcheck::Dump(general.root)) << text.substr(0, 80);
    }

    std::string a_text = "<r><a>one</a><b x='1'>two</b></r>", b_text = "<s><t>three</t></s>";
    std::vector<char> a_buf(a_text.begin(), a_text.end()), b_buf(b_text.begin(), b_text.end());
    ezxml_node *a = ezxml_parse_str(a_buf.data(), a_buf.size());
    ezxml_node *b = ezxml_parse_str(b_buf.data(), b_buf.size());
    // A node of a moves to b: b releases it, a no longer does.
    ezxml_node *moved = ezxml_insert(ezxml_cut(ezxml_child(a, "a")), b, 5);
    ASSERT_NE(moved, nullptr);
    ezxml_free(a);
    EXPECT_EQ(ToXml(b), "<s><t>three</t><a>one</a></s>");
    ezxml_free(b);

    // Children, texts, flags and attributes given to parsed nodes.
    std::string c_text = "<r><a>one</a></r>";
    std::vector<char> c_buf(c_text.begin(), c_text.end());
    ezxml_node *c = ezxml_parse_str(c_buf.data(), c_buf.size());
    ezxml_set_flag(ezxml_add_child(ezxml_child(c, "a"), strdup("n"), 3), EZXML_NAME_OWNED);
    ezxml_set_flag(ezxml_set_txt(ezxml_child(c, "a"), strdup("owned")), EZXML_TEXT_OWNED);
    ezxml_set_attr(ezxml_set_flag(c, EZXML_ADOPT_ATTR), strdup("k"), strdup("v"));
    EXPECT_EQ(ToXml(c), "<r k=\"v\"><a>own<n></n>ed</a></r>");
    ezxml_free(c);

    // Each function alone on a parsed node that then owns something.
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<char> buf(c_text.begin(), c_text.end());
        ezxml_node *d = ezxml_parse_str(buf.data(), buf.size()), *n = ezxml_child(d, "a");
        if (kind == 0) ezxml_add_child(n, "n", 0);
        if (kind == 1) n->flags |= EZXML_ADOPT_ATTR, ezxml_set_attr(n, strdup("k"), strdup("v"));
        if (kind == 2) n->text = strdup("owned"), ezxml_set_flag(n, EZXML_TEXT_OWNED);
        ezxml_free(d);
    }
}

// Release walks without recursion: depth and sibling count do not matter.
TEST(XmlTree, FreeDeepAndWideTreesWithoutRecursion) {
    const int n = 1000000;
    ezxml_node *deep = ezxml_new("d");
    ezxml_node *cur = deep;
    for (int i = 0; i < n; ++i) cur = ezxml_add_child(cur, "d", 0);
    ezxml_free(deep);

    std::string wide = "<w>";
    for (int i = 0; i < n; ++i) wide += (i % 3) ? "<x/>" : "<y/>";
    wide += "</w>";
    ParsedDoc d(wide);
    EXPECT_EQ(reinterpret_cast<ezxml_root *>(d.root)->current, nullptr);
    size_t xs = 0;
    for (ezxml_node *x = ezxml_child(d.root, "x"); x; x = x->next) ++xs;
    EXPECT_EQ(xs, static_cast<size_t>(n - (n + 2) / 3));
}

// Records the host made itself are never taken into a tree, released or
// taken for a document; a node is never linked below itself.
TEST(XmlTree, OnlyLibraryRecordsAreLinkedAndReleased) {
    ezxml_node *doc = ezxml_new("r");
    ezxml_node *a = ezxml_add_child(doc, "a", 0);
    ezxml_node *b = ezxml_add_child(a, "b", 0);
    ezxml_node own;  // laid out as published, but not made by the library
    std::memset(&own, 0, sizeof own);
    own.name = const_cast<char *>("own");
    own.attrs = EZXML_EMPTY_LIST;
    own.text = const_cast<char *>("");
    EXPECT_EQ(ezxml_insert(&own, doc, 0), nullptr);
    EXPECT_EQ(ezxml_set_flag(&own, EZXML_LIBRARY_RECORD), &own);
    EXPECT_EQ(own.flags & EZXML_LIBRARY_RECORD, 0) << "the bit cannot be given";
    EXPECT_EQ(ezxml_insert(&own, doc, 0), nullptr);
    EXPECT_EQ(ezxml_parse_status(&own, nullptr), EZXML_PARSE_NO_DOCUMENT);
    ezxml_free(&own);  // ignored: the record is on this stack

    EXPECT_EQ(ezxml_insert(nullptr, doc, 0), nullptr);
    EXPECT_EQ(ezxml_insert(a, nullptr, 0), nullptr);
    ezxml_cut(a);
    EXPECT_EQ(ezxml_insert(a, b, 0), nullptr) << "below itself";
    EXPECT_EQ(ezxml_insert(a, a, 0), nullptr);
    EXPECT_EQ(ezxml_insert(a, doc, 0), a);
    EXPECT_EQ(ToXml(doc), "<r><a><b></b></a></r>");
    // A cut child keeps its parent: a now without children is still above b.
    ezxml_cut(b);
    EXPECT_EQ(ezxml_insert(a, b, 0), nullptr) << "below its own cut child";
    EXPECT_EQ(ezxml_insert(b, a, 0), b);
    EXPECT_EQ(ToXml(doc), "<r><a><b></b></a></r>");
    ezxml_free(doc);
}

}  // namespace
