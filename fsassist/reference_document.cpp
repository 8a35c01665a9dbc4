// Reading and writing of reference documents (see reference_document.h).
#include "fsassist/reference_document.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace fsassist_detail {

const char kFileKeyword[] = "file";
const char kInetKeyword[] = "inet";
const char kEmbdKeyword[] = "embd";

namespace {

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
  // The parser overwrites the last byte of its length, the terminator here.
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

namespace {

// Appends value as the serializer writes an attribute value.
void AppendEscaped(std::string& out, const char* value, size_t length) {
  size_t run = 0;
  for (size_t i = 0; i < length; ++i) {
    const char* rep = nullptr;
    switch (value[i]) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = "&quot;"; break;
      case '\n': rep = "&#xA;"; break;
      case '\t': rep = "&#x9;"; break;
      case '\r': rep = "&#xD;"; break;
      default: continue;
    }
    out.append(value + run, i - run).append(rep);
    run = i + 1;
  }
  out.append(value + run, length - run);
}

}  // namespace

void StoreNewDocument(const char* element, const Attribute* attributes, size_t count,
                      Gral::FileSpecifier& specifier) {
  static const char kHead[] = "<storage version=\"1.00\"><image><component><data><";
  static const char kTail[] = "></data></component></image></storage>";
  std::string xml;
  size_t room = sizeof kHead + sizeof kTail + 2 * std::strlen(element) + 4;
  for (size_t i = 0; i < count; ++i) room += std::strlen(attributes[i].name) + attributes[i].length + 4;
  xml.reserve(room);
  xml.append(kHead).append(element);
  for (size_t i = 0; i < count; ++i) {
    xml.append(" ").append(attributes[i].name).append("=\"");
    AppendEscaped(xml, attributes[i].value, attributes[i].length);
    xml.append("\"");
  }
  xml.append("></").append(element).append(kTail);
  if (xml.size() >= static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  const Gral::StringBuffer text(static_cast<int>(xml.size() + 1), xml.c_str(), Gral::StringBuffer::kUtf8);
  specifier.assign(text, Gral::FileSpecifier::kReference);
}

}  // namespace fsassist_detail
