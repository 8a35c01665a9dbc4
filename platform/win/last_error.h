// The thread's last-error code and the Windows error codes the stand-ins set.
#ifndef PAVORM_PLATFORM_WIN_LAST_ERROR_H
#define PAVORM_PLATFORM_WIN_LAST_ERROR_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_MORE_DATA 234L
#ifndef ERROR_NO_WORK_DONE
#define ERROR_NO_WORK_DONE 235L  // FormatMessageW: the message came out empty
#endif
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#define ERROR_FILE_INVALID 1006L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_ARITHMETIC_OVERFLOW 534L
#define ERROR_INVALID_INDEX 1413L
// Registry and heap stand-ins.
#define ERROR_DISK_FULL 112L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BUSY 170L
#define ERROR_NOACCESS 998L

#ifdef __cplusplus
extern "C" {
#endif

// The calling thread's last-error code, as set by the most recent failing call.
PAVORM_API DWORD GetLastError(void);
PAVORM_API void SetLastError(DWORD code);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
