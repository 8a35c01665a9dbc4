// The parser links each child into its parent's three chains in O(1) with a
// name table per open element. Random documents whose parents have from one
// to hundreds of distinct child names, nested so that the tables of several
// open elements are in use at once, must give the same chains as building
// the same tree one ezxml_insert at a time, in every form a tag can take.

#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// What one element of a generated document holds.
struct Expected {
  std::string name;
  size_t offset = 0;
  std::vector<Expected> children;
};

// Writes an element with a random mix of children: empty and open tags,
// with or without attributes, end tags with a space before ">", text pieces.
class Generator {
 public:
  explicit Generator(unsigned seed) : rnd_(seed) {}

  void Element(std::string& out, Expected& e, int depth, size_t pool) {
    const int form = Pick(4);
    out += "<" + e.name + (form == 1 ? " k='v'" : "") + ">";
    size_t text = 0;
    const size_t kids = depth >= 4 ? 0 : Pick(depth == 0 ? 400 : 40);
    for (size_t i = 0; i < kids; ++i) {
      if (Pick(3) == 0) {
        out += "tx";
        text += 2;
      }
      Expected c;
      // First bytes that repeat among names and ones that do not: a list of
      // names is searched only for a child whose first byte it has seen.
      const size_t k = Pick(pool);
      c.name = std::string(1, static_cast<char>('a' + k % 23)) + std::to_string(k);
      c.offset = text;
      if (Pick(2) == 0) {
        out += "<" + c.name + (Pick(2) ? "/>" : " a='1'/>");
      } else {
        Element(out, c, depth + 1, 1 + Pick(Pick(2) ? 5 : 300));
      }
      e.children.push_back(std::move(c));
    }
    out += form == 2 ? "</" + e.name + " >" : "</" + e.name + ">";
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rnd_); }
  std::mt19937 rnd_;
};

// The same tree built with ezxml_add_child, which links by walking the chains.
void Build(ezxml_node* parent, const Expected& e) {
  for (const Expected& c : e.children) Build(ezxml_add_child(parent, c.name.c_str(), c.offset), c);
}

// Names, offsets, document order, name chains and sibling chain agree.
std::string Compare(const ezxml_node* a, const ezxml_node* b) {
  if (!a || !b) return a == b ? "" : "one tree lacks a node";
  if (std::string(a->name) != b->name || a->offset != b->offset)
    return std::string("node ") + a->name + " differs from " + b->name;
  const ezxml_node *x = a->child, *y = b->child;
  for (; x && y; x = x->ordered, y = y->ordered) {
    std::string e = Compare(x, y);
    if (!e.empty()) return e;
  }
  if (x || y) return std::string("children of ") + a->name + " differ in number";
  for (x = a->child, y = b->child; x && y; x = x->sibling, y = y->sibling) {
    if (std::string(x->name) != y->name) return std::string("sibling chain of ") + a->name + " differs";
    const ezxml_node *u = x, *v = y;
    for (; u && v; u = u->next, v = v->next)
      if (u->offset != v->offset) return std::string("name chain ") + x->name + " differs";
    if (u || v) return std::string("name chain ") + x->name + " differs in length";
  }
  return x || y ? std::string("sibling chain of ") + a->name + " differs in length" : "";
}

TEST(XmlNameChains, ManyDistinctNamesUnderNestedParents) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generator gen(seed);
    Expected top;
    top.name = "r";
    std::string text;
    gen.Element(text, top, 0, seed == 1 ? 1 : 600);
    std::vector<char> buf(text.begin(), text.end());
    ezxml_node* parsed = ezxml_parse_str(buf.data(), buf.size());
    ASSERT_EQ(ezxml_parse_status(parsed, nullptr), EZXML_PARSE_COMPLETE) << ezxml_error(parsed);
    EXPECT_EQ(xmlcheck::CheckTree(parsed), "");
    ezxml_node* built = ezxml_new("r");
    Build(built, top);
    EXPECT_EQ(Compare(parsed, built), "");
    ezxml_free(built);
    ezxml_free(parsed);
  }
}

}  // namespace
