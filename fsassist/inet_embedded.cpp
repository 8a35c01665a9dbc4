// FSAssist: components stored at an internet address (inet) or embedded in
// the host document (embd).
#include "fsassist/FSAssist.h"
#include "fsassist/reference_document.h"

using namespace fsassist_detail;

namespace {

Attribute AttributeOf(const char* name, const Gral::StringBuffer& utf8) {
  return Attribute{name, utf8.data(), static_cast<size_t>(utf8.textBytes())};
}

// The UTF-8 attribute value as wide text (ill-formed bytes become U+FFFD).
PavoRmCString WideValue(const char* value) {
  return PavoRmCString(reinterpret_cast<const WCHAR*>(WideOf(value).data()));
}

}  // namespace

namespace FSAssist {

Gral::FileSpecifier cvtToInet(const WCHAR* url) {
  const Gral::StringBuffer value = Utf8Of(url);
  const Attribute attribute = AttributeOf("url", value);
  return Gral::FileSpecifier(NewDocument(kInetKeyword, &attribute, 1), Gral::FileSpecifier::kReference);
}

Gral::FileSpecifier cvtToEmbed(const WCHAR* dictionary, const WCHAR* name) {
  const Gral::StringBuffer nameValue = Utf8Of(name), dictionaryValue = Utf8Of(dictionary);
  const Attribute attributes[] = {AttributeOf("name", nameValue), AttributeOf("dictionary", dictionaryValue)};
  return Gral::FileSpecifier(NewDocument(kEmbdKeyword, attributes, 2), Gral::FileSpecifier::kReference);
}

void appendInet(Gral::FileSpecifier& storage, const Gral::StringBuffer& url) {
  const Gral::StringBuffer value = ToUtf8(url);
  const Attribute attribute = AttributeOf("url", value);
  if (storage.text().isEmpty()) {
    storage.assign(NewDocument(kInetKeyword, &attribute, 1), Gral::FileSpecifier::kReference);
    return;
  }
  // The held text is read as UTF-8 like every other reader does, whatever its
  // encoding (constructFS keeps UTF-16), so a wide document is extended too.
  const ParsedReference parsed(storage);
  ezxml_node* image = parsed.image();
  if (image == nullptr) return;
  ezxml_node* inet = AddComponent(image, kInetKeyword);
  SetAttribute(inet, attribute.name, attribute.value, attribute.length);
  StoreDocument(parsed.root(), storage);
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
