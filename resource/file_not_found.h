// The text of message 28505 ("File "%1!s!" not found!") for a language file
// that does not exist (internal to the resource-object kinds).
#ifndef PAVORM_RESOURCE_FILE_NOT_FOUND_H
#define PAVORM_RESOURCE_FILE_NOT_FOUND_H

#include "string/PavoRmCString.h"

namespace pavo {
// Formats message 28505 of the library's own resource object with path as its
// insert. Returns the text; empty when the message cannot be loaded (the
// string loader has reported that) or its inserts do not format.
PavoRmCString FileNotFoundText(const PavoRmCString& path);
}  // namespace pavo

#endif
