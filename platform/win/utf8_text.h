// UTF-8 <-> UTF-16 with Windows' handling of bad input: a lone surrogate
// encodes as U+FFFD, and every maximal ill-formed subsequence of UTF-8
// decodes as one U+FFFD. Used by the code-page functions and wherever text
// leaves the library as bytes (file paths, standard error).
#ifndef PAVORM_PLATFORM_WIN_UTF8_TEXT_H
#define PAVORM_PLATFORM_WIN_UTF8_TEXT_H

#include <cstddef>
#include <string>

#include "platform/win/win_types.h"

namespace pavo {

enum class Utf8Status {
  kOk,
  kInvalid,  // strict and the input is ill-formed; the output is unspecified
  kNoRoom,   // the result did not fit; the output holds a prefix of it
};

// Encodes length units into out, which has room for capacity bytes; a null
// out only measures. *produced is the byte count of the whole result, also
// when it did not fit.
Utf8Status EncodeUtf8(const WCHAR* text, size_t length, bool strict, char* out, size_t capacity,
                      size_t* produced);

// Decodes length bytes into out, which has room for capacity units; a null
// out only measures. *produced is the unit count of the whole result.
Utf8Status DecodeUtf8(const char* text, size_t length, bool strict, WCHAR* out, size_t capacity,
                      size_t* produced);

// Appends length units of text as UTF-8. A lone surrogate makes it return
// false (out unchanged) when strict, else it becomes U+FFFD.
bool AppendUtf8(const WCHAR* text, size_t length, bool strict, std::string* out);

}  // namespace pavo

#endif
