// Code-page conversion between UTF-16 and narrow text, with Windows' rules for
// sizes, flags and last-error codes.
#ifndef PAVORM_PLATFORM_WIN_CODE_PAGES_H
#define PAVORM_PLATFORM_WIN_CODE_PAGES_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define CP_ACP 0          // the process's ANSI code page
#define CP_OEMCP 1        // the OEM code page that goes with it
#define CP_THREAD_ACP 3   // same as CP_ACP here
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

#ifdef __cplusplus
extern "C" {
#endif

// The ANSI code page: PAVORM_ACP when it names a usable code page, else the
// one matching the locale's charset (UTF-8 locales give 65001).
PAVORM_API UINT GetACP(void);
// The OEM code page paired with the ANSI one (850 for 1252, 65001 for 65001, ...).
PAVORM_API UINT GetOEMCP(void);
// Nonzero when the code page can be converted by this process.
PAVORM_API BOOL IsValidCodePage(UINT codePage);

// UTF-16 -> narrow text. Returns the bytes written (or needed when
// cbMultiByte is 0); 0 on failure with the last error set. A cchWideChar of
// -1 converts through the terminator, which is then counted. When the result
// does not fit, nothing is written (ERROR_INSUFFICIENT_BUFFER).
PAVORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int cchWideChar,
                        LPSTR multiByteText, int cbMultiByte, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);

// Narrow text -> UTF-16, with the same size rules (counts in UTF-16 units).
PAVORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteText, int cbMultiByte,
                        LPWSTR wideText, int cchWideChar);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
