// Resource stand-ins over the images of platform/win/modules.h, with Windows'
// return values, last-error codes and buffer rules.
#ifndef PAVORM_PLATFORM_WIN_RESOURCES_H
#define PAVORM_PLATFORM_WIN_RESOURCES_H

#include "PavoRm51Export.h"

#include "platform/win/modules.h"
#include "platform/win/ui_language.h"
#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_VERSION MAKEINTRESOURCEW(16)

#ifdef __cplusplus
extern "C" {
#endif

// The resource of that type and name in the language Windows would choose
// (thread UI language, neutral, U.S. English, first present); null with
// ERROR_RESOURCE_DATA/TYPE/NAME/LANG_NOT_FOUND or ERROR_INVALID_HANDLE.
PAVORM_API HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The same in one language (0: as FindResourceW).
PAVORM_API HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
// The resource's bytes (read-only, valid while the module is loaded); null on failure.
PAVORM_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
// Size of the resource's bytes; 0 on failure.
PAVORM_API DWORD SizeofResource(HMODULE module, HRSRC resource);
PAVORM_API LPVOID LockResource(HGLOBAL data);
PAVORM_API BOOL FreeResource(HGLOBAL data);  // nothing to free: always FALSE, as on Windows

// String id of the module's string table: copies at most bufferMax - 1 units
// and a 0 and returns the units copied; with bufferMax 0, stores a read-only
// pointer to the (not 0-terminated) text in *(LPCWSTR*)buffer and returns its
// length. 0 when the string is absent or empty.
PAVORM_API int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
