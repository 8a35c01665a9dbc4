// Module stand-ins: a module handle names a resource image, either a PE file
// mapped read-only or an image compiled into a binary. No code of a module
// ever runs; flags 0 and the data-file flags both give access to resources.
#ifndef PAVORM_PLATFORM_WIN_MODULES_H
#define PAVORM_PLATFORM_WIN_MODULES_H

#include "PavoRm51Export.h"

#include <cstddef>

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100

#ifdef __cplusplus
extern "C" {
#endif

// Maps the PE file `fileName` and returns its handle, or null with the last
// error set (ERROR_MOD_NOT_FOUND / ERROR_FILE_NOT_FOUND, ERROR_BAD_EXE_FORMAT,
// ERROR_FILE_INVALID for an empty file loaded as data, ERROR_INVALID_PARAMETER).
// ERROR_BAD_EXE_FORMAT for a file that is no PE image or whose section table
// or resource directory lies outside the file, and for flags 0 and
// LOAD_LIBRARY_AS_IMAGE_RESOURCE also a file cut short inside a section (a
// data-file load keeps what is there). A file already loaded with flags 0
// is shared and counted, by any load, as Windows does; otherwise each
// data-file load maps the file anew and gets its own handle. The search-path
// flags are taken and change nothing (a resource-only module has no
// dependencies); unknown flags are refused. `file` must be null.
PAVORM_API HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
PAVORM_API HMODULE LoadLibraryW(LPCWSTR fileName);
// Drops one reference; the last one unmaps the file. 0 for an unknown handle.
PAVORM_API BOOL FreeLibrary(HMODULE module);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
