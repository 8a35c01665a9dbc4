// Reading and writing of reference documents (see reference_document.h).
#include "fsassist/reference_document.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "ezxml_writer.h"

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

Gral::StringBuffer Utf8Of(const WCHAR* text) { return ToUtf8(PavoRmCString::cnvtToSB(text)); }

Gral::StringBuffer WideOf(const char* utf8) {
  const size_t length = std::strlen(utf8);
  if (length >= static_cast<size_t>(INT_MAX)) throw std::length_error("attribute value too long");
  Gral::StringBuffer wide;
  Gral::StringBuffer(static_cast<int>(length + 1), utf8, Gral::StringBuffer::kUtf8)
      .convert(wide, Gral::StringBuffer::nativeEncoding());
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
  specifier.assign(Gral::StringBuffer(static_cast<int>(length + 1), xml.get(), Gral::StringBuffer::kUtf8),
                   Gral::FileSpecifier::kReference);
}

namespace {

// The writer's block, released on every path (the writer keeps no C++ state).
class DocumentWriter {
 public:
  DocumentWriter() { ezxml_writer_init_on(&m_out, m_first, sizeof m_first); }
  ~DocumentWriter() { ezxml_writer_release(&m_out); }
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  // Markup that needs no escaping, as it stands.
  template <size_t N>
  void Markup(const char (&text)[N]) {
    ezxml_writer_put(&m_out, text, N - 1);
  }
  void Markup(const char* text) { ezxml_writer_put(&m_out, text, std::strlen(text)); }
  void Attribute(const char* name, const char* value) { ezxml_writer_attribute(&m_out, name, value); }

  // The text as a UTF-8 buffer with its terminator.
  Gral::StringBuffer Text() {
    const char* text = ezxml_writer_text(&m_out);
    if (text == nullptr) throw std::bad_alloc();
    const size_t length = ezxml_writer_length(&m_out);
    if (length >= static_cast<size_t>(INT_MAX)) throw std::length_error("reference document too long");
    return Gral::StringBuffer(static_cast<int>(length + 1), text, Gral::StringBuffer::kUtf8);
  }

 private:
  ezxml_writer m_out;
  char m_first[512];  // a one-component document fits; longer paths move to the heap
};

}  // namespace

// The tree of a new document with one component, as the serializer writes
// it: the root with its version, image, component and data, each with start
// and end tags; the storage element's attributes in the order given, escaped
// by the serializer's writer.
Gral::StringBuffer NewDocument(const char* element, const Attribute* attributes, size_t count) {
  DocumentWriter w;
  w.Markup("<storage version=\"1.00\"><image><component><data><");
  w.Markup(element);
  for (size_t i = 0; i < count; ++i) {
    // The writer stops at a NUL, as the serializer does with the tree's copy.
    assert(std::strlen(attributes[i].value) == attributes[i].length);
    w.Attribute(attributes[i].name, attributes[i].value);
  }
  w.Markup("></");
  w.Markup(element);
  w.Markup("></data></component></image></storage>");
  return w.Text();
}

}  // namespace fsassist_detail
