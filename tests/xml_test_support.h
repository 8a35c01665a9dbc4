// Helpers shared by the XML library's unit tests.
#ifndef PAVORM_TESTS_XML_TEST_SUPPORT_H
#define PAVORM_TESTS_XML_TEST_SUPPORT_H

#include "ezxml.h"
#include "ezxml_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

// A parsed document together with the buffer it points into.
struct ParsedDoc {
    std::vector<char> buf;
    ezxml_node *root = nullptr;
    // general: every tag read by the general readers (the reference for the
    // quicker lanes).
    explicit ParsedDoc(const std::string &text, bool general = false) : buf(text.begin(), text.end()) {
        root = general ? ezxml_parse_str_general(buf.data(), buf.size()) : ezxml_parse_str(buf.data(), buf.size());
    }
    ~ParsedDoc() { ezxml_free(root); }
    ParsedDoc(const ParsedDoc &) = delete;
    ParsedDoc &operator=(const ParsedDoc &) = delete;
};

inline std::string ToXml(ezxml_node *node) {
    char *s = ezxml_toxml(node);
    std::string out = s ? s : "<null>";
    free(s);
    return out;
}

// Checks the three child chains of one parent: document order by offset,
// every child once through sibling + next, names consistent, parents set.
inline void ExpectChainsValid(const ezxml_node *parent) {
    std::vector<const ezxml_node *> ordered;
    for (const ezxml_node *c = parent->child; c; c = c->ordered) {
        ASSERT_LT(ordered.size(), 10000000u) << "document-order chain loops";
        if (!ordered.empty()) {
            EXPECT_LE(ordered.back()->offset, c->offset);
        }
        EXPECT_EQ(c->parent, parent);
        ordered.push_back(c);
    }
    std::set<const ezxml_node *> seen;
    std::set<std::string> names;
    size_t first_pos = 0;
    for (const ezxml_node *f = parent->child; f; f = f->sibling) {
        size_t fp = 0;
        while (fp < ordered.size() && ordered[fp] != f) ++fp;
        if (f != parent->child) {
            EXPECT_GT(fp, first_pos) << "sibling chain out of document order at " << f->name;
        }
        first_pos = fp;
        EXPECT_TRUE(names.insert(f->name).second) << "name twice in the sibling chain: " << f->name;
        size_t last_pos = 0;
        for (const ezxml_node *n = f; n; n = n->next) {
            EXPECT_STREQ(n->name, f->name);
            EXPECT_TRUE(seen.insert(n).second) << "child reached twice";
            if (n != f) {
                EXPECT_EQ(n->sibling, nullptr);
            }
            size_t pos = 0;
            while (pos < ordered.size() && ordered[pos] != n) ++pos;
            ASSERT_LT(pos, ordered.size()) << "name-chain member missing from document order";
            if (n != f) {
                EXPECT_GT(pos, last_pos) << "name chain out of document order";
            }
            last_pos = pos;
        }
    }
    EXPECT_EQ(seen.size(), ordered.size());
}

#endif
