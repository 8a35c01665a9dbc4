#include "platform/win/heap.h"

#include <cstdint>
#include <cstdlib>

#include "platform/win/last_error.h"

namespace {
// Any distinct non-null value serves as the handle; this one's address is used.
char g_processHeap;
}  // namespace

extern "C" HANDLE GetProcessHeap(void) { return &g_processHeap; }

extern "C" LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (hHeap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dwBytes > static_cast<SIZE_T>(PTRDIFF_MAX)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const size_t size = dwBytes == 0 ? 1 : static_cast<size_t>(dwBytes);
  void* block = (dwFlags & HEAP_ZERO_MEMORY) ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

extern "C" BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
  (void)dwFlags;
  if (hHeap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::free(lpMem);
  return TRUE;
}
