// FSAssist: components stored at an internet address (inet) or embedded in
// the host document (embd).
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "fsassist/FSAssist.h"
#include "fsassist/reference_document.h"
#include "platform/win/code_pages.h"

using namespace fsassist_detail;

namespace {

// Sets an attribute to the UTF-8 form of a buffer's text.
void SetTextAttribute(ezxml_node* element, const char* name, const Gral::StringBuffer& text) {
  const Gral::StringBuffer utf8 = ToUtf8(text);
  SetAttribute(element, name, utf8.data(), static_cast<size_t>(utf8.textBytes()));
}

void SetTextAttribute(ezxml_node* element, const char* name, const WCHAR* text) {
  SetTextAttribute(element, name, PavoRmCString::cnvtToSB(text));
}

// The UTF-8 attribute value as wide text (ill-formed bytes become U+FFFD).
PavoRmCString WideValue(const char* value) {
  const size_t n = std::strlen(value) + 1;
  if (n > static_cast<size_t>(INT_MAX)) return PavoRmCString();
  std::u16string wide(n, u'\0');
  const int units = MultiByteToWideChar(CP_UTF8, 0, value, static_cast<int>(n),
                                        reinterpret_cast<WCHAR*>(&wide[0]), static_cast<int>(n));
  if (units <= 0) return PavoRmCString();
  return PavoRmCString(reinterpret_cast<const WCHAR*>(wide.c_str()));
}

// A new one-component document with storage element `element`, filled by fill.
template <class Fill>
Gral::FileSpecifier NewReference(const char* element, Fill fill) {
  Gral::FileSpecifier result;
  TreePtr tree = NewDocument();
  ezxml_node* storage = AddComponent(ezxml_child(tree.get(), "image"), element);
  fill(storage);
  StoreDocument(tree.get(), result);
  return result;
}

}  // namespace

namespace FSAssist {

Gral::FileSpecifier cvtToInet(const WCHAR* url) {
  return NewReference(kInetKeyword, [url](ezxml_node* inet) { SetTextAttribute(inet, "url", url); });
}

Gral::FileSpecifier cvtToEmbed(const WCHAR* dictionary, const WCHAR* name) {
  return NewReference(kEmbdKeyword, [dictionary, name](ezxml_node* embd) {
    SetTextAttribute(embd, "name", name);
    SetTextAttribute(embd, "dictionary", dictionary);
  });
}

void appendInet(Gral::FileSpecifier& storage, const Gral::StringBuffer& url) {
  // The held text is read as UTF-8 like every other reader does, whatever its
  // encoding (constructFS keeps UTF-16), so a wide document is extended too.
  const Gral::StringBuffer& held = storage.text();
  std::unique_ptr<ParsedReference> parsed;
  TreePtr fresh;
  ezxml_node* image = nullptr;
  if (held.isEmpty()) {
    fresh = NewDocument();
    image = ezxml_child(fresh.get(), "image");
  } else {
    parsed.reset(new ParsedReference(storage));
    image = parsed->image();
    if (image == nullptr) return;
  }
  SetTextAttribute(AddComponent(image, kInetKeyword), "url", url);
  StoreDocument(fresh ? fresh.get() : parsed->root(), storage);
}

void appendInet(Gral::FileSpecifier& storage, const WCHAR* url) { appendInet(storage, PavoRmCString::cnvtToSB(url)); }

PavoRmCString getInternetReference(const Gral::FileSpecifier& storage, int index) {
  if (storage.kind() != Gral::FileSpecifier::kReference) return PavoRmCString();
  const ParsedReference parsed(storage);
  const char* url = ezxml_attr(parsed.storage(index, kInetKeyword), "url");
  return url != nullptr ? WideValue(url) : PavoRmCString();
}

bool getEmbeddedReference(const Gral::FileSpecifier& storage, int index, PavoRmCString& name,
                          PavoRmCString& dictionary) {
  if (storage.kind() != Gral::FileSpecifier::kReference) return false;
  const ParsedReference parsed(storage);
  if (parsed.root() == nullptr) return false;
  ezxml_node* embd = parsed.storage(index, kEmbdKeyword);
  if (const char* value = ezxml_attr(embd, "name")) name = WideValue(value);
  if (const char* value = ezxml_attr(embd, "dictionary")) dictionary = WideValue(value);
  return true;
}

}  // namespace FSAssist
