// The process heap: thin stand-ins over the C heap.
#ifndef PAVORM_PLATFORM_WIN_HEAP_H
#define PAVORM_PLATFORM_WIN_HEAP_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008

#ifdef __cplusplus
extern "C" {
#endif

// The one heap of the process.
PAVORM_API HANDLE GetProcessHeap(void);
// A block of dwBytes (0 gives a distinct, freeable block); null with
// ERROR_NOT_ENOUGH_MEMORY when it cannot be had, ERROR_INVALID_HANDLE for a heap
// other than the process heap.
PAVORM_API LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
// Releases a block of HeapAlloc; a null block is accepted and does nothing.
PAVORM_API BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
