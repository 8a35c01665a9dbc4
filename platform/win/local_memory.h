// LocalAlloc / LocalFree: the allocator of buffers that Windows functions
// hand to their caller (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER).
#ifndef PAVORM_PLATFORM_WIN_LOCAL_MEMORY_H
#define PAVORM_PLATFORM_WIN_LOCAL_MEMORY_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#ifdef __cplusplus
extern "C" {
#endif

// A block of `bytes` (zeroed with LMEM_ZEROINIT); null with
// ERROR_NOT_ENOUGH_MEMORY, or ERROR_INVALID_PARAMETER for other flags.
PAVORM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Releases a block; returns null on success (also for null), as Windows does.
PAVORM_API HLOCAL LocalFree(HLOCAL block);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
