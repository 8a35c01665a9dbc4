// Reading and writing of reference documents (see reference_document.h).
#include "fsassist/reference_document.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/win/code_pages.h"
#include "platform/win/wide_text.h"

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

Gral::StringBuffer Utf8Of(const WCHAR* text) {
  const size_t units = text != nullptr ? pavo::WideLength(text) : 0;
  if (units >= static_cast<size_t>(INT_MAX)) throw std::length_error("text too long");
  // Measured first, so the buffer is exactly the text and its terminator.
  const int bytes = units > 0 ? WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr) : 0;
  if (bytes < 0 || bytes == INT_MAX) throw std::length_error("text too long");
  Gral::StringBuffer utf8(bytes + 1, Gral::StringBuffer::kUtf8);
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

Gral::StringBuffer WideOf(const char* utf8) {
  const size_t length = std::strlen(utf8);
  if (length >= static_cast<size_t>(INT_MAX)) throw std::length_error("attribute value too long");
  // Never more units than bytes; measured so the buffer is exactly the text and its terminator.
  const int units = length > 0 ? MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), nullptr, 0) : 0;
  if (units < 0 || static_cast<size_t>(units) >= static_cast<size_t>(INT_MAX / 2)) throw std::length_error("attribute value too long");
  Gral::StringBuffer wide(2 * units + 2, Gral::StringBuffer::kUtf16);
  if (units > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), reinterpret_cast<WCHAR*>(wide.data()), units);
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

// The serializer's replacements of bytes in an attribute value.
struct EscapeTable {
  const char* replacement[256];
  constexpr EscapeTable() : replacement{} {
    replacement[static_cast<unsigned char>('&')] = "&amp;";
    replacement[static_cast<unsigned char>('<')] = "&lt;";
    replacement[static_cast<unsigned char>('>')] = "&gt;";
    replacement[static_cast<unsigned char>('"')] = "&quot;";
    replacement[static_cast<unsigned char>('\n')] = "&#xA;";
    replacement[static_cast<unsigned char>('\t')] = "&#x9;";
    replacement[static_cast<unsigned char>('\r')] = "&#xD;";
  }
};
constexpr EscapeTable kEscapes;

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
      const char* rep = kEscapes.replacement[static_cast<unsigned char>(value[i])];
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

Gral::StringBuffer NewDocument(const char* element, const Attribute* attributes, size_t count) {
  Writer measure(nullptr);
  WriteDocument(measure, element, attributes, count);
  // Each value byte grows to at most 6 bytes, so the sum stays far from
  // SIZE_MAX for values held in int-sized buffers; the int limit is checked.
  if (measure.length() >= static_cast<size_t>(INT_MAX)) throw std::length_error("reference document too long");
  Gral::StringBuffer text(static_cast<int>(measure.length() + 1), Gral::StringBuffer::kUtf8);
  Writer write(text.data());
  WriteDocument(write, element, attributes, count);
  return text;
}

}  // namespace fsassist_detail
