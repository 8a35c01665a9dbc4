// UTF-16 to UTF-8 for texts that leave the library as bytes (file paths,
// standard error).
#ifndef PAVORM_PLATFORM_WIN_UTF8_TEXT_H
#define PAVORM_PLATFORM_WIN_UTF8_TEXT_H

#include <cstddef>
#include <string>

#include "platform/win/win_types.h"

namespace pavo {

// Appends `length` units of `text` as UTF-8. A lone surrogate makes it return
// false when `strict`, else it becomes U+FFFD.
bool AppendUtf8(const WCHAR* text, size_t length, bool strict, std::string* out);

}  // namespace pavo

#endif
