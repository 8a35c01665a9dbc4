// Reading and writing of reference documents (see reference_document.h).
#include "fsassist/reference_document.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace fsassist_detail {

const char kFileKeyword[] = "file";
const char kInetKeyword[] = "inet";
const char kEmbdKeyword[] = "embd";

namespace {

const char kRootName[] = "storage";  // constant: the tree does not own it
const char kEnd[] = "";              // ends an ezxml_get path

char* CopyBytes(const char* text, size_t length) {
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) throw std::bad_alloc();
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

}  // namespace

Gral::StringBuffer ToUtf8(const Gral::StringBuffer& text) {
  Gral::StringBuffer utf8;
  text.convert(utf8, Gral::StringBuffer::kUtf8);
  return utf8;
}

ParsedReference::ParsedReference(const Gral::FileSpecifier& specifier)
    : ParsedReference(ToUtf8(specifier.text())) {}

ParsedReference::ParsedReference(Gral::StringBuffer privateText) : m_text(std::move(privateText)), m_root(nullptr) {
  // The private copy is UTF-8, so the parse length is its byte count; the
  // parser overwrites the last byte, which is the terminator.
  int length = m_text.size();
  if (m_text.encoding() == Gral::StringBuffer::kUtf16) length /= 2;
  if (length < 1) return;
  m_root = ezxml_parse_str(m_text.data(), static_cast<size_t>(length));
}

ParsedReference::~ParsedReference() { ezxml_free(m_root); }

ezxml_node* ParsedReference::image() const { return ezxml_get(m_root, "image", 0, kEnd); }

ezxml_node* ParsedReference::data(int index) const {
  return ezxml_get(m_root, "image", 0, "component", index, "data", 0, kEnd);
}

ezxml_node* ParsedReference::storage(int index, const char* element) const {
  return ezxml_get(m_root, "image", 0, "component", index, "data", 0, element, -1);
}

ezxml_node* AddElement(ezxml_node* parent, const char* name, size_t offset) {
  char* owned = CopyBytes(name, std::strlen(name));
  ezxml_node* child = ezxml_add_child(parent, owned, offset);
  if (child == nullptr) {
    std::free(owned);
    throw std::bad_alloc();
  }
  ezxml_set_flag(child, EZXML_NAME_OWNED);
  return child;
}

void SetAttribute(ezxml_node* node, const char* name, const char* value, size_t length) {
  char* ownedName = CopyBytes(name, std::strlen(name));
  char* ownedValue = nullptr;
  try {
    ownedValue = CopyBytes(value, length);
  } catch (...) {
    std::free(ownedName);
    throw;
  }
  ezxml_set_flag(node, EZXML_ADOPT_ATTR);
  if (ezxml_set_attr(node, ownedName, ownedValue) == nullptr) {
    std::free(ownedName);
    std::free(ownedValue);
    throw std::bad_alloc();
  }
}

TreePtr NewDocument() {
  TreePtr root(ezxml_new(kRootName));
  if (!root) throw std::bad_alloc();
  SetAttribute(root.get(), "version", "1.00", 4);
  AddElement(root.get(), "image", 0);
  return root;
}

ezxml_node* AddComponent(ezxml_node* image, const char* element) {
  size_t count = 0;
  for (ezxml_node* c = ezxml_child(image, "component"); c != nullptr; c = c->next) ++count;
  ezxml_node* component = AddElement(image, "component", count);
  ezxml_node* data = AddElement(component, "data", 0);
  return AddElement(data, element, 0);
}

void StoreDocument(ezxml_node* root, Gral::FileSpecifier& specifier) {
  std::unique_ptr<char, decltype(&std::free)> xml(ezxml_toxml(root), &std::free);
  if (!xml) throw std::bad_alloc();
  const size_t length = std::strlen(xml.get());
  if (length >= static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  const Gral::StringBuffer text(static_cast<int>(length + 1), xml.get(), Gral::StringBuffer::kUtf8);
  specifier.assign(text, Gral::FileSpecifier::kReference);
}

}  // namespace fsassist_detail
