// Checks shared by the XML tests and fuzz targets: the structural invariants
// of an ezxml tree and a canonical dump of what a document says, both walked
// with an explicit stack so that inputs of any depth can be checked.
#ifndef PAVORM_TESTS_XML_TREE_CHECK_H
#define PAVORM_TESTS_XML_TREE_CHECK_H

#include "ezxml.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace xmlcheck {

inline bool IsEmptyList(const void* p) { return p == static_cast<const void*>(ezxml_empty_list); }

// Number of name/value pairs of an attribute list (0 for the shared empty list).
inline size_t PairCount(char** attrs) {
  size_t n = 0;
  while (attrs[2 * n]) ++n;
  return n;
}

// The attribute list: pairs, terminator, ownership string with one marker
// per pair, each marker one of space, 0x40, 0x80, 0xC0 (never NUL).
inline std::string CheckAttrs(const ezxml_node* n) {
  if (!n->attrs) return "null attrs";
  if (IsEmptyList(n->attrs)) return "";
  const size_t pairs = PairCount(n->attrs);
  for (size_t i = 0; i < pairs; ++i) {
    if (!n->attrs[2 * i + 1]) return "null attribute value";
  }
  const char* own = n->attrs[2 * pairs + 1];
  if (!own) return "null ownership string";
  if (std::strlen(own) != pairs) {
    return "ownership string has " + std::to_string(std::strlen(own)) + " markers for " +
           std::to_string(pairs) + " attributes";
  }
  for (size_t i = 0; i < pairs; ++i) {
    const unsigned char m = static_cast<unsigned char>(own[i]);
    if (m != 0x20 && m != 0x40 && m != 0x80 && m != 0xC0) return "bad ownership marker " + std::to_string(m);
  }
  return "";
}

// The three child chains of one parent (see ezxml.h). Returns "" when they
// hold, else what is wrong.
inline std::string CheckChildren(const ezxml_node* parent, size_t limit) {
  std::vector<const ezxml_node*> order;
  std::unordered_map<const ezxml_node*, size_t> pos;
  for (const ezxml_node* c = parent->child; c; c = c->ordered) {
    if (pos.count(c)) return "cycle in the document-order chain";
    if (order.size() > limit) return "document-order chain longer than the node count";
    if (c->parent != parent) return "child whose parent is another node";
    if (!c->name) return "child without name";
    if (!order.empty() && c->offset < order.back()->offset) return "offsets decrease in document order";
    pos[c] = order.size();
    order.push_back(c);
  }
  std::unordered_set<const ezxml_node*> seen;
  std::unordered_set<std::string> names;
  size_t last_head = 0;
  for (const ezxml_node* head = parent->child; head; head = head->sibling) {
    auto it = pos.find(head);
    if (it == pos.end()) return "sibling chain holds a node not in document order";
    if (!seen.empty() && it->second <= last_head) return "sibling chain out of document order";
    last_head = it->second;
    if (!names.insert(head->name).second) return std::string("name twice in sibling chain: ") + head->name;
    size_t last = it->second;
    for (const ezxml_node* m = head; m; m = m->next) {
      auto mp = pos.find(m);
      if (mp == pos.end()) return "name chain holds a node not in document order";
      if (!seen.insert(m).second) return "node reached twice through sibling/next";
      if (std::strcmp(m->name, head->name) != 0) return "name chain mixes names";
      if (m != head && mp->second <= last) return "name chain out of document order";
      last = mp->second;
    }
  }
  if (seen.size() != order.size()) return "child not reachable through sibling/next";
  // The head of each name chain is the first element of that name.
  std::unordered_set<std::string> first;
  for (const ezxml_node* c : order) {
    if (first.insert(c->name).second && ezxml_child(const_cast<ezxml_node*>(parent), c->name) != c)
      return std::string("ezxml_child misses the first ") + c->name;
  }
  return "";
}

// Every node of the subtree at top (its ordered successors are not part of
// it): chains, attribute lists, non-null texts. "" when all hold.
inline std::string CheckTree(const ezxml_node* top, size_t limit = 50000000) {
  if (!top) return "";
  std::vector<const ezxml_node*> stack{top};
  size_t visited = 0;
  while (!stack.empty()) {
    const ezxml_node* n = stack.back();
    stack.pop_back();
    if (++visited > limit) return "more nodes than the limit (cycle?)";
    if (!n->text) return "null text";
    std::string e = CheckAttrs(n);
    if (e.empty()) e = CheckChildren(n, limit);
    if (!e.empty()) return std::string(n->name ? n->name : "(root)") + ": " + e;
    for (const ezxml_node* c = n->child; c; c = c->ordered) stack.push_back(c);
  }
  return "";
}

// Escapes bytes that the dump uses as syntax, and unprintable ones, as \XX.
inline void AppendEscaped(std::string& out, const char* s, size_t n) {
  static const char hex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c >= 0x7F || std::strchr("\\|()=;", c)) {
      out += '\\';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}
inline void AppendEscaped(std::string& out, const char* s) { AppendEscaped(out, s, std::strlen(s)); }

struct DumpOptions {
  bool defaults = true;      // add DTD defaults that an element does not set
  bool instructions = true;  // add the root's processing instructions
};

// What a document says, as one string: per element "(name a=v ...|text)" with
// each child written where its offset places it in the text. Attributes are
// those a reader sees: the first of each name, then the DTD defaults the
// element does not set. A nameless node dumps as "".
inline std::string Dump(const ezxml_node* top, DumpOptions opt = {}) {
  std::string out;
  if (!top || !top->name) return out;
  const ezxml_node* root = top;
  while (root->parent) root = root->parent;
  const auto* doc = reinterpret_cast<const ezxml_root*>(root);

  struct Frame {
    const ezxml_node* node;
    const ezxml_node* next_child;
    size_t from;
    size_t len;
  };
  std::vector<Frame> stack;
  auto open = [&](const ezxml_node* n) {
    out += '(';
    AppendEscaped(out, n->name);
    std::unordered_set<std::string> own;
    for (size_t i = 0; n->attrs[2 * i]; ++i) {
      if (!own.insert(n->attrs[2 * i]).second) continue;
      out += ' ';
      AppendEscaped(out, n->attrs[2 * i]);
      out += '=';
      AppendEscaped(out, n->attrs[2 * i + 1]);
    }
    if (opt.defaults && doc->attr_defaults && !IsEmptyList(doc->attr_defaults)) {
      for (char*** list = doc->attr_defaults; *list; ++list) {
        if (std::strcmp((*list)[0], n->name) != 0) continue;
        // The first triple of a name decides, even one without a default.
        for (char** t = *list + 1; *t; t += 3) {
          if (!own.insert(t[0]).second || !t[1]) continue;
          out += ' ';
          AppendEscaped(out, t[0]);
          out += '=';
          AppendEscaped(out, t[1]);
        }
        break;
      }
    }
    out += '|';
    stack.push_back({n, n->child, 0, std::strlen(n->text)});
  };
  open(top);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next_child) {
      const ezxml_node* c = f.next_child;
      const size_t to = c->offset < f.len ? c->offset : f.len;
      if (to > f.from) {
        AppendEscaped(out, f.node->text + f.from, to - f.from);
        f.from = to;
      }
      f.next_child = c->ordered;
      open(c);  // may reallocate the stack: f is not used after this
      continue;
    }
    AppendEscaped(out, f.node->text + f.from, f.len - f.from);
    out += ')';
    stack.pop_back();
  }
  if (opt.instructions && !top->parent && doc->instructions && !IsEmptyList(doc->instructions)) {
    for (char*** list = doc->instructions; *list; ++list) {
      out += " ?";
      AppendEscaped(out, (*list)[0]);
      size_t i = 1;
      for (; (*list)[i]; ++i) {
        out += ';';
        AppendEscaped(out, (*list)[i]);
      }
      out += '=';
      AppendEscaped(out, (*list)[i + 1]);
    }
  }
  return out;
}

}  // namespace xmlcheck

#endif  // PAVORM_TESTS_XML_TREE_CHECK_H
