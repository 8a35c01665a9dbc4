// Shared steps of the resource-object kinds for a candidate language file
// (internal): loading it and the text of message IDS_PAVORM_FILE_NOT_FOUND
// for a missing one.
#ifndef PAVORM_RESOURCE_LANGUAGE_FILE_H
#define PAVORM_RESOURCE_LANGUAGE_FILE_H

#include "info/PavoRmInformation.h"
#include "platform/win/win_types.h"
#include "string/PavoRmCString.h"

namespace pavo {

// Loads the expanded path with LoadLibraryExW and flags. Null when the file
// does not exist (*missing set: information's FileExist said 0) or does not
// load (*missing clear). The existence check, a status query, runs only after
// a failed load, unless the loader would add or drop an extension.
HINSTANCE LoadLanguageFile(const PavoRmInformation& information, const PavoRmCString& path, DWORD flags,
                           bool* missing);

// Formats message IDS_PAVORM_FILE_NOT_FOUND ("File "%1!s!" not found!") of
// the library's own resource object with path as its insert. Empty when the
// message cannot be loaded (the string loader has reported that) or its
// inserts do not format.
PavoRmCString FileNotFoundText(const PavoRmCString& path);

}  // namespace pavo

#endif
