// Small helpers for 0-terminated UTF-16 text (the C runtime's wcs* functions
// work on Linux's 32-bit wchar_t and cannot be used for WCHAR text).
#ifndef PAVORM_PLATFORM_WIN_WIDE_TEXT_H
#define PAVORM_PLATFORM_WIN_WIDE_TEXT_H

#include <cstddef>
#include <string>

#include "platform/win/win_types.h"

namespace pavo {

using WideString = std::basic_string<WCHAR>;

// Number of units before the first 0 unit; 0 for a null pointer.
inline size_t WideLength(const WCHAR* s) {
  if (s == nullptr) return 0;
  const WCHAR* p = s;
  while (*p != 0) ++p;
  return static_cast<size_t>(p - s);
}

// Units before the first 0 unit, but never more than maxUnits.
inline size_t WideLengthBounded(const WCHAR* s, size_t maxUnits) {
  if (s == nullptr) return 0;
  size_t n = 0;
  while (n < maxUnits && s[n] != 0) ++n;
  return n;
}

// Ordinal comparison of 0-terminated texts, as wcscmp on unsigned 16-bit units.
inline int WideCompare(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    const unsigned ua = static_cast<unsigned short>(*a);
    const unsigned ub = static_cast<unsigned short>(*b);
    if (ua != ub) return ua < ub ? -1 : 1;
    if (ua == 0) return 0;
  }
}

// As wcsncmp: compares at most n units.
inline int WideCompareN(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned ua = static_cast<unsigned short>(a[i]);
    const unsigned ub = static_cast<unsigned short>(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
    if (ua == 0) return 0;
  }
  return 0;
}

// Widens ASCII text (tests, fixed names); bytes above 0x7F are taken as Latin-1.
inline WideString WideFromAscii(const char* s) {
  WideString out;
  if (s == nullptr) return out;
  for (; *s != 0; ++s) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*s)));
  return out;
}

}  // namespace pavo

#endif
