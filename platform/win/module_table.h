// The module table behind the module handles: what a handle names, images
// compiled into a binary, reference counts. Internal to the library and its
// tools; hosts use LoadLibraryExW and FreeLibrary.
#ifndef PAVORM_PLATFORM_WIN_MODULE_TABLE_H
#define PAVORM_PLATFORM_WIN_MODULE_TABLE_H

#include <cstddef>

#include "platform/win/modules.h"

namespace pavo {
class PeImage;
// The parsed image behind a handle, or null (last error ERROR_INVALID_HANDLE
// is left to the caller). Valid until the handle's last FreeLibrary. On
// Windows the handle comes from the real LoadLibraryExW: a data-file load is
// read from a copy of its mapped view (whole pages: a file cut inside its
// last page is not seen as cut), a load with flags 0 from its file; an
// image-resource load gives null.
const PeImage* ModuleImage(HMODULE module);
#if !defined(_WIN32)
// Registers an image compiled into the binary (kept for the life of the
// process; FreeLibrary of it succeeds and keeps it). Null when malformed.
HMODULE RegisterEmbeddedImage(const BYTE* data, size_t size);
// Number of references of a loaded handle, 0 when unknown (tests, tools).
unsigned ModuleReferenceCount(HMODULE module);
#endif
}  // namespace pavo

#endif
