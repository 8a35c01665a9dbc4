#include "platform/win/last_error.h"

namespace {
// Windows keeps the code per thread; so do we.
thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

extern "C" DWORD GetLastError(void) { return t_lastError; }

extern "C" void SetLastError(DWORD code) { t_lastError = code; }
