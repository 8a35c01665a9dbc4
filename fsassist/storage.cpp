// FSAssist: telling references from file names, storage methods, file components.
#include <cstring>

#include "fsassist/FSAssist.h"
#include "fsassist/reference_document.h"

using namespace fsassist_detail;

namespace FSAssist {

bool isStorage(const PavoRmCString& text) {
  const ParsedReference parsed(ToUtf8(PavoRmCString::cnvtToSB(text)));
  return parsed.root() != nullptr && parsed.root()->name != nullptr;
}

bool isStorage(const WCHAR* text) {
  if (text == nullptr || *text == 0) return false;
  return isStorage(PavoRmCString(text));
}

StorageMethod getStorageMethod(const Gral::FileSpecifier& specifier, int index) {
  if (specifier.kind() != Gral::FileSpecifier::kReference) return StorageNone;
  const ParsedReference parsed(specifier);
  const ezxml_node* data = parsed.data(index);
  const ezxml_node* element = data != nullptr ? data->child : nullptr;
  if (element == nullptr || element->name == nullptr) return StorageNone;
  // Four letters only: "filename" is a file, "fil" nothing.
  if (std::strncmp(element->name, kFileKeyword, 4) == 0) return StorageFile;
  if (std::strncmp(element->name, kInetKeyword, 4) == 0) return StorageInternet;
  if (std::strncmp(element->name, kEmbdKeyword, 4) == 0) return StorageEmbedded;
  return StorageNone;
}

bool getFileReference(const Gral::FileSpecifier& storage, int index, Gral::FileSpecifier& file, int& frame) {
  return extractFileReference(&storage, index, &file, &frame) != 0;
}

bool isMultiComponent(const Gral::FileSpecifier& specifier) { return numComponentsInReference(&specifier) > 1; }

Gral::FileSpecifier constructFS(const WCHAR* text) {
  Gral::FileSpecifier result;
  const int kind = isStorage(text) ? Gral::FileSpecifier::kReference : Gral::FileSpecifier::kFileName;
  result.assign(PavoRmCString::cnvtToSB(text), kind);
  return result;
}

// A new document, as addFileReference gives into an empty specifier, built
// straight into the result.
Gral::FileSpecifier cvtToFS(const Gral::StringBuffer& path, int frame) {
  return Gral::FileSpecifier(NewFileDocument(ToUtf8(path), frame), Gral::FileSpecifier::kReference);
}

Gral::FileSpecifier cvtToFS(const PavoRmCString& path, int frame) { return cvtToFS(path.cnvtToSB(), frame); }

Gral::FileSpecifier cvtToFS(const WCHAR* path, int frame) {
  return Gral::FileSpecifier(NewFileDocument(Utf8Of(path), frame), Gral::FileSpecifier::kReference);
}

void appendFile(Gral::FileSpecifier& storage, const Gral::StringBuffer& path, int frame) {
  const Gral::FileSpecifier file(path, Gral::FileSpecifier::kFileName);
  addFileReference(&file, frame, &storage);
}

void appendFile(Gral::FileSpecifier& storage, const WCHAR* path, int frame) {
  appendFile(storage, PavoRmCString::cnvtToSB(path), frame);
}

}  // namespace FSAssist
