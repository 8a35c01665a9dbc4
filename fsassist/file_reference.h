// Reference documents of file specifiers: the three exported C functions that
// add, read and count file components. A specifier of kind 2 holds, as UTF-8
// text, a document such as
//   <storage version="1.00"><image><component><data><file path="a.tif"
//   frame="0"></file></data></component></image></storage>
// Null pointers are accepted: the functions then do nothing and give 0.
#ifndef PAVORM_FSASSIST_FILE_REFERENCE_H
#define PAVORM_FSASSIST_FILE_REFERENCE_H

#include "PavoRm51Export.h"

#include "platform/gral/FileSpecifier.h"

extern "C" {

// Adds a file component (file's text as path, frame) to storage's document;
// a storage text of at most three UTF-8 bytes gets a new document. A text
// that reads as no document with an image element leaves storage unchanged.
PAVORM_API void addFileReference(const Gral::FileSpecifier* file, int frame, Gral::FileSpecifier* storage);

// 1 when component index of storage is a file component with a path: file
// receives the path (UTF-16, kind 0) and *frame its frame (0 when absent).
// 0 otherwise; *frame is set to 0 once the file element is found.
PAVORM_API int extractFileReference(const Gral::FileSpecifier* storage, int index, Gral::FileSpecifier* file, int* frame);

// Components named by specifier: 0 for an empty text, 1 for a file name,
// else the number of component elements of the document's image.
PAVORM_API int numComponentsInReference(const Gral::FileSpecifier* specifier);

}  // extern "C"

#endif
