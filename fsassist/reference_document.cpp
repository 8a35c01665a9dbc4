// Reading and writing of reference documents (see reference_document.h).
#include "fsassist/reference_document.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace fsassist_detail {

const char kFileKeyword[] = "file";
const char kInetKeyword[] = "inet";
const char kEmbdKeyword[] = "embd";

namespace {

const char kEnd[] = "";  // ends an ezxml_get path

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

Gral::StringBuffer WideOf(const char* utf8) {
  // A UTF-8 buffer of the value and its NUL, converted to UTF-16.
  const size_t length = std::strlen(utf8);
  if (length >= static_cast<size_t>(INT_MAX)) throw std::length_error("attribute value too long");
  const Gral::StringBuffer view(static_cast<int>(length + 1), utf8, Gral::StringBuffer::kUtf8);
  Gral::StringBuffer wide;
  view.convert(wide, Gral::StringBuffer::kUtf16);
  return wide;
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

// The serializer's replacement of a byte in an attribute value, or null.
const char* Escape(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\n': return "&#xA;";
    case '\t': return "&#x9;";
    case '\r': return "&#xD;";
    default: return nullptr;
  }
}

// Appends bytes to a block sized beforehand; measures only when out is null.
class Writer {
 public:
  explicit Writer(char* out) : m_out(out) {}
  void Put(const char* text, size_t length) {
    if (m_out != nullptr) std::memcpy(m_out + m_length, text, length);
    m_length += length;
  }
  void Put(const char* text) { Put(text, std::strlen(text)); }
  void PutEscaped(const char* value, size_t length) {
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
      const char* rep = Escape(value[i]);
      if (rep == nullptr) continue;
      Put(value + run, i - run);
      Put(rep);
      run = i + 1;
    }
    Put(value + run, length - run);
  }
  size_t length() const { return m_length; }

 private:
  char* m_out;
  size_t m_length = 0;
};

void WriteDocument(Writer& w, const char* element, const Attribute* attributes, size_t count) {
  w.Put("<storage version=\"1.00\"><image><component><data><");
  w.Put(element);
  for (size_t i = 0; i < count; ++i) {
    w.Put(" ");
    w.Put(attributes[i].name);
    w.Put("=\"");
    w.PutEscaped(attributes[i].value, attributes[i].length);
    w.Put("\"");
  }
  w.Put("></");
  w.Put(element);
  w.Put("></data></component></image></storage>");
}

}  // namespace

void StoreNewDocument(const char* element, const Attribute* attributes, size_t count,
                      Gral::FileSpecifier& specifier) {
  Writer measure(nullptr);
  WriteDocument(measure, element, attributes, count);
  // Each value byte grows to at most 6 bytes, so the sum stays far from
  // SIZE_MAX for values held in int-sized buffers; the int limit is checked.
  if (measure.length() >= static_cast<size_t>(INT_MAX)) throw std::length_error("reference document too long");
  Gral::StringBuffer text(static_cast<int>(measure.length() + 1), Gral::StringBuffer::kUtf8);
  Writer write(text.data());
  WriteDocument(write, element, attributes, count);
  specifier.assign(text, Gral::FileSpecifier::kReference);
}

}  // namespace fsassist_detail
