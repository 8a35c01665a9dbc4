// FSAssist: file specifiers for images from paths, internet addresses and
// embedded data, and back. A reference specifier (kind 2) holds a reference
// document (see file_reference.h); a file-name specifier (kind 0) a path.
#ifndef PAVORM_FSASSIST_FSASSIST_H
#define PAVORM_FSASSIST_FSASSIST_H

#include "PavoRm51Export.h"

#include "fsassist/file_reference.h"
#include "platform/gral/FileSpecifier.h"
#include "platform/gral/StringBuffer.h"
#include "string/PavoRmCString.h"

namespace FSAssist {

// How a component's data is stored: the element inside its data element.
enum StorageMethod {
  StorageNone = 0,      // not a reference document, or no element recognised
  StorageFile = 1,      // file
  StorageEmbedded = 2,  // embd
  StorageInternet = 3,  // inet
};

// --- storage.cpp ---------------------------------------------------------
// True when text parses as XML with a root element (a file name never does).
PAVORM_API bool isStorage(const PavoRmCString& text);
// The same; false for null or empty text.
PAVORM_API bool isStorage(const WCHAR* text);
// Storage of component index by the first four letters of the first element
// in its data; StorageNone when there is no document, data or element.
PAVORM_API StorageMethod getStorageMethod(const Gral::FileSpecifier& specifier, int index);
// extractFileReference: true when component index is a file with a path.
PAVORM_API bool getFileReference(const Gral::FileSpecifier& storage, int index, Gral::FileSpecifier& file, int& frame);
// More than one component (a file name counts as one).
PAVORM_API bool isMultiComponent(const Gral::FileSpecifier& specifier);
// text as it stands (UTF-16): kind 2 when isStorage(text), else kind 0.
PAVORM_API Gral::FileSpecifier constructFS(const WCHAR* text);
// A new reference document with one file component path, frame.
PAVORM_API Gral::FileSpecifier cvtToFS(const PavoRmCString& path, int frame);
PAVORM_API Gral::FileSpecifier cvtToFS(const Gral::StringBuffer& path, int frame);
PAVORM_API Gral::FileSpecifier cvtToFS(const WCHAR* path, int frame);
// addFileReference with path as a file-name specifier.
PAVORM_API void appendFile(Gral::FileSpecifier& storage, const Gral::StringBuffer& path, int frame);
PAVORM_API void appendFile(Gral::FileSpecifier& storage, const WCHAR* path, int frame);

// --- inet_embedded.cpp ---------------------------------------------------
// A new reference document with one inet component.
PAVORM_API Gral::FileSpecifier cvtToInet(const WCHAR* url);
// Adds an inet component; an empty text gets a new document, a text without
// an image element is left as it is.
PAVORM_API void appendInet(Gral::FileSpecifier& storage, const Gral::StringBuffer& url);
PAVORM_API void appendInet(Gral::FileSpecifier& storage, const WCHAR* url);
// The url of component index; empty when there is none.
PAVORM_API PavoRmCString getInternetReference(const Gral::FileSpecifier& storage, int index);
// A new reference document with one embd component (dictionary first here).
PAVORM_API Gral::FileSpecifier cvtToEmbed(const WCHAR* dictionary, const WCHAR* name);
// name and dictionary of component index (each left untouched when absent);
// false only when the specifier holds no document.
PAVORM_API bool getEmbeddedReference(const Gral::FileSpecifier& storage, int index, PavoRmCString& name,
                          PavoRmCString& dictionary);

}  // namespace FSAssist

#endif
