#include "platform/win/local_memory.h"

#include <cstdlib>

#include "platform/win/last_error.h"

extern "C" HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if ((flags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A 0-byte request still gives a distinct block, as Windows' fixed blocks do.
  const size_t size = bytes != 0 ? bytes : 1;
  void* p = (flags & LMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
  if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

extern "C" HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}
