// Resource stand-ins over the images of platform/win/modules.h, with Windows'
// return values, last-error codes and buffer rules.
#ifndef PAVORM_PLATFORM_WIN_RESOURCES_H
#define PAVORM_PLATFORM_WIN_RESOURCES_H

#include "platform/win/modules.h"
#include "platform/win/ui_language.h"
#include "platform/win/win_types.h"

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
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The same in one language (0: as FindResourceW).
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
// The resource's bytes (read-only, valid while the module is loaded); null on failure.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
// Size of the resource's bytes; 0 on failure.
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
BOOL FreeResource(HGLOBAL data);  // nothing to free: always FALSE, as on Windows

// String id of the module's string table: copies at most bufferMax - 1 units
// and a 0 and returns the units copied; with bufferMax 0, stores a read-only
// pointer to the (not 0-terminated) text in *(LPCWSTR*)buffer and returns its
// length. 0 when the string is absent or empty.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

#ifdef __cplusplus
}

#include <cstddef>

namespace pavo {
class PeImage;
// String id of the image in the language LoadStringW would choose for
// `uiLanguage`. ERROR_SUCCESS with the (not 0-terminated) text inside the
// image, or an ERROR_RESOURCE_* code.
DWORD FindString(const PeImage& image, UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length);
}  // namespace pavo
#endif

#endif
