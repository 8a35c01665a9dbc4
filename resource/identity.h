// The library's identity: its module name and instance, and its one-line
// error report.
#ifndef PAVORM_RESOURCE_IDENTITY_H
#define PAVORM_RESOURCE_IDENTITY_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

extern "C" {
// The module name: empty before the library is attached, then "PavoRm".
PAVORM_API const WCHAR* pavoRmName(void);
// The library's own module (its compiled-in resources); null before attach.
PAVORM_API HINSTANCE pavoRmDllInstance(void);
// When `condition` is non-zero, shows string `id` of the library's own module
// in a message box (a missing string is reported by the string loader).
PAVORM_API void AssertWithErrorMessage(int condition, unsigned int id);
}

#endif
