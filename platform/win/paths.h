// File names between the library's UTF-16 text and Linux's UTF-8 file system.
#ifndef PAVORM_PLATFORM_WIN_PATHS_H
#define PAVORM_PLATFORM_WIN_PATHS_H

#include <string>

#include "platform/win/wide_text.h"

namespace pavo {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(const WCHAR* text, size_t length);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
WideString WideFromUtf8(const char* text, size_t length);

// A Windows-style path as a Linux file name: UTF-8, every `\` read as `/`.
std::string NativePath(const WCHAR* path);

}  // namespace pavo

#endif
