// FormatMessageW over UTF-16 with Windows' insert syntax:
//   %1 ... %99       insert n (as %n!s!)
//   %n!fmt!          insert n formatted by the printf conversion fmt (d, u, x, s, c, I64d, *.*s ...);
//                    a * width or precision takes the inserts that follow n
//   %0               ends the message here (no trailing line break)
//   %n %r %t         CR LF, CR, tab;   %% %. %! and %<other>: the character itself
#ifndef PAVORM_PLATFORM_WIN_FORMAT_MESSAGE_H
#define PAVORM_PLATFORM_WIN_FORMAT_MESSAGE_H

#include "PavoRm51Export.h"

#include <cstdarg>
#include <cstddef>

#include "platform/win/local_memory.h"
#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000

#ifdef __cplusplus
extern "C" {
#endif

// Formats `source` (FORMAT_MESSAGE_FROM_STRING) or message `messageId` of the
// message table of module `source` (FORMAT_MESSAGE_FROM_HMODULE) with the
// inserts taken from `arguments` (a va_list*, or with
// FORMAT_MESSAGE_ARGUMENT_ARRAY a ULONG_PTR array). Returns the units stored
// without the 0. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is a LPWSTR*
// that receives a LocalAlloc block (free it with LocalFree). 0 on failure with
// ERROR_INVALID_PARAMETER (bad insert or conversion, missing arguments),
// ERROR_INSUFFICIENT_BUFFER, ERROR_MR_MID_NOT_FOUND or ERROR_NOT_ENOUGH_MEMORY;
// an empty message also gives 0 (ERROR_NO_WORK_DONE, no block allocated).
PAVORM_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
