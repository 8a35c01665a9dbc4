// Process-wide state of the library set by its entry routine (internal).
#ifndef PAVORM_RESOURCE_LIBRARY_STATE_H
#define PAVORM_RESOURCE_LIBRARY_STATE_H

#include "platform/win/win_types.h"
#include "string/PavoRmCString.h"

namespace pavo {
PavoRmCString& LibraryModuleName();
void SetLibraryInstance(HINSTANCE instance);
// The handle of the library's compiled-in resource image (registered on first use).
HINSTANCE LibraryImageHandle();
}  // namespace pavo

#endif
