// Random sequences of ezxml_add_child, ezxml_insert, ezxml_cut,
// ezxml_set_attr (plain and adopting), ezxml_set_txt and ezxml_free on one
// document, made by ezxml_new or parsed, and the subtrees cut from it.
// After every step the three child chains and the attribute lists of every
// tree must hold, and attribute lookups must see what was set. At the end
// the document goes before or after its cut subtrees (whose nodes may live
// in its blocks).
#include "ezxml.h"
#include "tests/xml_tree_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* step, const std::string& what) {
  std::fprintf(stderr, "after %s: %s\n", step, what.c_str());
  std::abort();
}

const char* const kNames[] = {"a", "b", "c", "dd"};
const char* const kValues[] = {"", "1", "two", "x y"};

struct Bytes {
  const uint8_t* p;
  size_t n;
  uint8_t Next() {
    if (!n) return 0;
    --n;
    return *p++;
  }
};

// All nodes of the subtree at top, top first.
void Collect(ezxml_node* top, std::vector<ezxml_node*>& out) {
  std::vector<ezxml_node*> stack{top};
  while (!stack.empty()) {
    ezxml_node* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    for (ezxml_node* c = n->child; c; c = c->ordered) stack.push_back(c);
  }
}

bool Inside(const ezxml_node* n, const ezxml_node* top) {
  for (; n; n = n->parent) {
    if (n == top) return true;
  }
  return false;
}

char* Dup(const char* s) {
  const size_t len = std::strlen(s) + 1;
  char* d = static_cast<char*>(std::malloc(len));
  if (d) std::memcpy(d, s, len);
  return d;
}

// With XML_FUZZ_TRACE set, each step and the children of every node are
// printed, to read a failing input by hand.
bool Tracing() {
  static const bool on = std::getenv("XML_FUZZ_TRACE") != nullptr;
  return on;
}

void Trace(const char* step, const ezxml_node* n, const std::vector<ezxml_node*>& tops) {
  if (!Tracing()) return;
  std::fprintf(stderr, "%s on %s@%zu (%p)\n", step, n->name, n->offset, static_cast<const void*>(n));
  for (ezxml_node* top : tops) {
    std::vector<ezxml_node*> all;
    Collect(top, all);
    for (const ezxml_node* p : all) {
      if (!p->child) continue;
      std::fprintf(stderr, "  %s(%p):", p->name, static_cast<const void*>(p));
      for (const ezxml_node* c = p->child; c; c = c->ordered) std::fprintf(stderr, " %s@%zu", c->name, c->offset);
      std::fprintf(stderr, " | siblings:");
      for (const ezxml_node* c = p->child; c; c = c->sibling) std::fprintf(stderr, " %s@%zu", c->name, c->offset);
      std::fprintf(stderr, "\n");
    }
  }
}

}  // namespace

// Owned texts (joined, decoded) and lists (a decoded value) in node blocks.
const char kParsed[] =
    "<root a='1'><a>x<b/>y</a><b k='&amp;'>t<![CDATA[c]]></b><c><dd x='2'/>z</c><a/><dd>&lt;</dd></root>";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{data, std::min<size_t>(size, 2048)};
  const uint8_t how = in.Next();
  std::string buffer(kParsed);  // outlives the parsed document
  ezxml_node* root = how & 1 ? ezxml_parse_str(&buffer[0], buffer.size()) : ezxml_new("root");
  if (!root) return 0;
  std::vector<ezxml_node*> cut;  // subtrees cut off, still ours
  while (in.n) {
    const uint8_t op = in.Next() % 7;
    std::vector<ezxml_node*> nodes;
    Collect(root, nodes);
    for (ezxml_node* c : cut) Collect(c, nodes);
    ezxml_node* n = nodes[in.Next() % nodes.size()];
    const char* step = "";
    switch (op) {
      case 0:
        step = "add_child";
        ezxml_add_child(n, kNames[in.Next() % 4], in.Next() % 6);
        break;
      case 1:  // cut a linked node (not a document root, not already cut off)
        step = "cut";
        if (!n->parent || std::find(cut.begin(), cut.end(), n) != cut.end()) break;
        cut.push_back(ezxml_cut(n));
        if (n->next || n->sibling || n->ordered) Fail(step, "cut node keeps links");
        break;
      case 2: {  // insert a cut subtree under a node outside it; inside it is refused
        step = "insert";
        if (cut.empty()) break;
        const size_t i = in.Next() % cut.size();
        if (Inside(n, cut[i])) {
          if (ezxml_insert(cut[i], n, 0) != nullptr) Fail(step, "linked below itself");
          break;
        }
        if (ezxml_insert(cut[i], n, in.Next() % 6) != cut[i]) Fail(step, "refused a cut node");
        if (cut[i]->parent != n) Fail(step, "parent not set");
        cut.erase(cut.begin() + static_cast<long>(i));
        break;
      }
      case 3: {
        step = "set_attr";
        const char* name = kNames[in.Next() % 4];
        const uint8_t v = in.Next();
        const char* value = v % 5 == 4 ? nullptr : kValues[v % 5];
        if (v & 0x80) {  // adopt heap copies
          char* hn = Dup(name);
          char* hv = value ? Dup(value) : nullptr;
          if (!hn || (value && !hv)) {
            std::free(hn);
            std::free(hv);
            break;
          }
          ezxml_set_attr(ezxml_set_flag(n, EZXML_ADOPT_ATTR), hn, hv);
          if (n->flags & EZXML_ADOPT_ATTR) Fail(step, "adopt bit not cleared");
          if (!value) std::free(hv);
        } else {
          ezxml_set_attr(n, name, value);
        }
        const char* got = ezxml_attr(n, name);
        if (value ? !got || std::strcmp(got, value) != 0 : got != nullptr)
          Fail(step, std::string("lookup of ") + name + " gives " + (got ? got : "null"));
        break;
      }
      case 4: {
        step = "set_txt";
        if (in.Next() & 1) {
          char* t = Dup(kValues[in.Next() % 4]);
          if (!t) break;
          ezxml_set_flag(ezxml_set_txt(n, t), EZXML_TEXT_OWNED);
        } else {
          ezxml_set_txt(n, kValues[in.Next() % 4]);
        }
        break;
      }
      case 5: {  // release a cut subtree
        step = "free";
        if (cut.empty()) break;
        const size_t i = in.Next() % cut.size();
        // Other cut subtrees may still name a node of this one as their
        // parent; point them at the document root so that lookups through
        // parent stay on live nodes.
        std::vector<ezxml_node*> gone;
        Collect(cut[i], gone);
        for (ezxml_node* c : cut) {
          for (ezxml_node* a = c->parent; a; a = a->parent) {
            if (std::find(gone.begin(), gone.end(), a) != gone.end()) {
              c->parent = root;
              break;
            }
          }
        }
        ezxml_free(cut[i]);
        cut.erase(cut.begin() + static_cast<long>(i));
        break;
      }
      default: {
        step = "toxml";
        char* text = ezxml_toxml(n);
        if (!text) Fail(step, "null");
        std::free(text);
        break;
      }
    }
    std::vector<ezxml_node*> tops{root};
    tops.insert(tops.end(), cut.begin(), cut.end());
    Trace(step, n, tops);
    std::string e = xmlcheck::CheckTree(root);
    for (ezxml_node* c : cut) {
      if (e.empty()) e = xmlcheck::CheckTree(c);
    }
    if (!e.empty()) Fail(step, e);
  }
  if (how & 2) ezxml_free(root);
  for (ezxml_node* c : cut) ezxml_free(c);
  if (!(how & 2)) ezxml_free(root);
  return 0;
}
