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
// Lets the string class's loads by resource-object name find modules through
// the manager (installing twice is harmless). The entry routine installs it
// on attach and removes it on detach; every manager installs it as well.
void InstallModuleLookup() noexcept;
void RemoveModuleLookup() noexcept;
}  // namespace pavo

#endif
