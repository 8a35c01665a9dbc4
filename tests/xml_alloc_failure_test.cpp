// The n-th heap allocation of a parse, of a serialization and of tree
// building fails, for every n the operation makes: nothing crashes, the
// tree stays sound and is a prefix of the full one, the parse status says
// out of memory unless the parse lost nothing, and nothing leaks (the
// sanitizer build reports leaks).

#include "ezxml.h"
#include "ezxml_fault.h"
#include "tests/xml_tree_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Element names in document order (pre-order).
std::vector<std::string> Names(const ezxml_node* top) {
  std::vector<std::string> out;
  if (!top || !top->name) return out;
  std::vector<const ezxml_node*> stack{top};
  while (!stack.empty()) {
    const ezxml_node* n = stack.back();
    stack.pop_back();
    out.push_back(n->name);
    std::vector<const ezxml_node*> kids;
    for (const ezxml_node* c = n->child; c; c = c->ordered) kids.push_back(c);
    for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
  }
  return out;
}

// Resets the hook even when an assertion returns early.
struct FailGuard {
  ~FailGuard() { ezxml_fail_allocation(0); }
};

const char* const kDocs[] = {
    "<?p one?><!DOCTYPE r [<!ENTITY e 'a much longer replacement'><!ENTITY % p 'x'>"
    "<!ENTITY f '%p;&e;'><!ATTLIST r t NMTOKENS '  a  b ' c CDATA 'd&e;'><!ATTLIST s k CDATA 'v'>"
    "<?q in dtd?>]><r a='&e;' b=\"&lt;&lt;\" t=' x  y '>t&e;<s/>u&f;<![CDATA[cd]]>"
    "<s k='&e;'>w<x y='1' z='2' w='3'/>&lt;&gt;&amp;</s>v<?p two?></r><?p three?>",
    "<a>t1<b/>t2<c>in</c>t3<b>x</b><c/>t4</a>",
    // Tags with enough names that the serializer tracks them in a hash set.
    "<!DOCTYPE m [<!ATTLIST m d0 CDATA 'x' d1 CDATA 'x' d2 CDATA 'x' d3 CDATA 'x' d4 CDATA 'x' d5 CDATA 'x'"
    " d6 CDATA 'x' d7 CDATA 'x' d8 CDATA 'x' d9 CDATA 'x' a1 CDATA 'x'>]>"
    "<m a0='1' a1='1' a2='1' a3='1' a4='1' a5='1' a6='1' a7='1' a8='1' a9='1' b0='1' b1='1' b2='1'"
    " b3='1' b4='1' b5='1' b6='1' b7='1' a0='2'><m/></m>",
    // Tokenised attributes of children, read right when the index of the
    // declarations cannot be built.
    "<!DOCTYPE r [<!ATTLIST e t NMTOKENS #IMPLIED c CDATA 'd'>]><r><e t=' a  b '/><e t='c' c=' x '/></r>",
};

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

TEST(XmlAllocFailure, EveryAllocationOfAParse) {
  std::vector<std::string> docs(std::begin(kDocs), std::end(kDocs));
  docs.push_back(Utf16Le("<r a='1'>x<b>y</b>z</r>"));
  // A child whose list is too long to share its node's block.
  std::string wide = "<r><h";
  for (int i = 0; i < 4000; ++i) wide += " a" + std::to_string(i) + "='v'";
  docs.push_back(wide + " z='&#49;'/></r>");
  // Name tables of nested elements past the parser's inline room, and
  // elements nested deeper than its inline level stack.
  std::string names = "<r>";
  for (int i = 0; i < 60; ++i) {
    const std::string n = "n" + std::to_string(i);
    names += i % 9 ? "<" + n + "/>" : "<" + n + "><a/><b/><a/>" + n + "<c x='1'/></" + n + ">";
  }
  for (int i = 0; i < 40; ++i) names += "<d" + std::to_string(i % 3) + ">";
  for (int i = 40; i-- > 0;) names += "</d" + std::to_string(i % 3) + ">";
  docs.push_back(names + "</r>");
  for (const std::string& doc : docs) {
    SCOPED_TRACE(doc.substr(0, 200));
    FailGuard guard;
    std::string full_copy = doc;
    ezxml_fail_allocation(0);
    ezxml_node* full = ezxml_parse_str(&full_copy[0], full_copy.size());
    const long count = ezxml_allocation_count();
    const std::vector<std::string> all = Names(full);
    ASSERT_GT(count, 0);
    for (long n = 1; n <= count; ++n) {
      std::string copy = doc;
      ezxml_fail_allocation(n);
      ezxml_node* root = ezxml_parse_str(&copy[0], copy.size());
      ezxml_fail_allocation(0);
      if (!root) continue;  // the root itself could not be had
      EXPECT_EQ(xmlcheck::CheckTree(root), "") << "allocation " << n;
      const std::vector<std::string> got = Names(root);
      ASSERT_LE(got.size(), all.size()) << "allocation " << n;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "allocation " << n;
      // A failed allocation is told, unless the parse did without it.
      const int status = ezxml_parse_status(root, nullptr);
      if (status == EZXML_PARSE_COMPLETE) {
        EXPECT_EQ(xmlcheck::Dump(root), xmlcheck::Dump(full)) << "allocation " << n;
      } else {
        EXPECT_EQ(status, EZXML_PARSE_OUT_OF_MEMORY) << "allocation " << n << ": " << ezxml_error(root);
      }
      // What was read can still be serialized and released.
      std::free(ezxml_toxml(root));
      ezxml_free(root);
    }
    ezxml_free(full);
  }
}

TEST(XmlAllocFailure, EveryAllocationOfASerialization) {
  for (const char* doc : kDocs) {
    SCOPED_TRACE(doc);
    FailGuard guard;
    std::string copy = doc;
    ezxml_node* root = ezxml_parse_str(&copy[0], copy.size());
    const std::string before = xmlcheck::Dump(root);
    ezxml_fail_allocation(0);
    char* full = ezxml_toxml(root);
    const long count = ezxml_allocation_count();
    ASSERT_NE(full, nullptr);
    for (long n = 1; n <= count; ++n) {
      ezxml_fail_allocation(n);
      char* out = ezxml_toxml(root);
      ezxml_fail_allocation(0);
      // A shortened text is acceptable, a wrong one is not.
      if (out) {
        EXPECT_EQ(std::strncmp(out, full, std::strlen(out)), 0) << "allocation " << n;
      }
      std::free(out);
      EXPECT_EQ(xmlcheck::Dump(root), before) << "allocation " << n;
    }
    std::free(full);
    ezxml_free(root);
  }
}

// Builds a small document the way the file-reference code does, with adopted
// attribute strings, and releases it.
void BuildAndFree() {
  ezxml_node* root = ezxml_new("storage");
  ezxml_set_attr(root, "version", "1.00");
  ezxml_node* image = ezxml_add_child(root, "image", 0);
  for (int i = 0; i < 3; ++i) {
    ezxml_node* file = ezxml_add_child(ezxml_add_child(ezxml_add_child(image, "component", i), "data", 0),
                                       "file", 0);
    if (!file) continue;  // out of memory: the rest of the tree is still released
    char* name = static_cast<char*>(std::malloc(8));
    char* value = static_cast<char*>(std::malloc(8));
    if (name && value) {
      std::strcpy(name, "path");
      std::strcpy(value, "a.tif");
      ezxml_set_attr(ezxml_set_flag(file, EZXML_ADOPT_ATTR), name, value);
    } else {
      std::free(name);
      std::free(value);
    }
    ezxml_set_attr(file, "frame", "0");
    ezxml_set_attr(file, "frame", nullptr);
  }
  EXPECT_EQ(xmlcheck::CheckTree(root), "");
  std::free(ezxml_toxml(root));
  ezxml_free(root);
}

TEST(XmlAllocFailure, EveryAllocationOfTreeBuilding) {
  FailGuard guard;
  ezxml_fail_allocation(0);
  BuildAndFree();
  const long count = ezxml_allocation_count();
  ASSERT_GT(count, 0);
  for (long n = 1; n <= count; ++n) {
    ezxml_fail_allocation(n);
    BuildAndFree();
    ezxml_fail_allocation(0);
  }
}

}  // namespace
