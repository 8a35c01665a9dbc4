// The library's entry routine, run as Windows runs DllMain: on Windows by the
// DLL's DllMain; on Linux by the shared library's load-time constructor
// (reason 1) and unload-time destructor (reason 0); in a static link, by the
// same objects at program start and exit.
#ifndef PAVORM_RESOURCE_ENTRY_H
#define PAVORM_RESOURCE_ENTRY_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#ifndef DLL_PROCESS_ATTACH  // <windows.h> has the same
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#endif

extern "C" {
// Attach registers the library as an extension module and sets its identity;
// detach deregisters it. Returns 1, or 0 when the registration fails.
BOOL PavoRmDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

#endif
