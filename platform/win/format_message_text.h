// The formatting core of FormatMessageW, for callers inside the library that
// know how many arguments they hold.
#ifndef PAVORM_PLATFORM_WIN_FORMAT_MESSAGE_TEXT_H
#define PAVORM_PLATFORM_WIN_FORMAT_MESSAGE_TEXT_H

#include <cstddef>

#include "platform/win/format_message.h"
#include "platform/win/wide_printf.h"
#include "platform/win/wide_text.h"

namespace pavo {
// The formatting core with a known number of arguments: an insert past `count`
// fails with ERROR_INVALID_PARAMETER instead of reading. Returns ERROR_SUCCESS
// or the error code; `out` receives the text, and is left empty on failure.
// A text longer than maxUnits fails with ERROR_NOT_ENOUGH_MEMORY, checked
// before each insert is built and appended.
DWORD FormatMessageText(DWORD flags, const WCHAR* format, size_t formatLength, const ULONG_PTR* args,
                        size_t count, WideString* out, size_t maxUnits = kPrintfMaxOutput);
}  // namespace pavo

#endif
