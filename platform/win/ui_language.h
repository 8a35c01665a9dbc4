// The user-interface language that resource lookups prefer, as Windows keeps
// it: a user default and an optional per-thread choice.
#ifndef PAVORM_PLATFORM_WIN_UI_LANGUAGE_H
#define PAVORM_PLATFORM_WIN_UI_LANGUAGE_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#ifdef __cplusplus
extern "C" {
#endif

// The user's UI language: PAVORM_UI_LANGUAGE (a LANGID, decimal or 0x hex) when
// set, else the locale of LC_ALL / LC_MESSAGES / LANG; 1033 for "C" and POSIX.
PAVORM_API LANGID GetUserDefaultUILanguage(void);
// The calling thread's UI language: its own choice, else the user's.
PAVORM_API LANGID GetThreadUILanguage(void);
// Sets the calling thread's UI language (0 returns to the user's) and returns
// the language now in force.
PAVORM_API LANGID SetThreadUILanguage(LANGID language);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
