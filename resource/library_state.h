// Process-wide state of the library set by its entry routine (internal).
#ifndef PAVORM_RESOURCE_LIBRARY_STATE_H
#define PAVORM_RESOURCE_LIBRARY_STATE_H

#include "platform/win/win_types.h"
#include "string/PavoRmCString.h"

namespace pavo {
PavoRmCString& LibraryModuleName();
void SetLibraryInstance(HINSTANCE instance);
// The handle of the library's own resource image: on Linux the compiled-in
// image (registered on first use), on Windows the image the code is linked into.
HINSTANCE LibraryImageHandle();
// True when the system loader calls the entry routine (the Windows DLL's
// DllMain); otherwise the library's statics do, at start and at exit.
bool EntryRunByLoader();
// Lets the string class's loads by resource-object name find modules through
// the manager (installing twice is harmless). The entry routine installs it
// on attach and removes it on detach; every manager installs it as well.
void InstallModuleLookup() noexcept;
void RemoveModuleLookup() noexcept;
}  // namespace pavo

#endif
