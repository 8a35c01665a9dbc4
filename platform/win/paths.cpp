#include "platform/win/paths.h"

#include <unicode/ustring.h>

#include <climits>

namespace pavo {

std::string Utf8FromWide(const WCHAR* text, size_t length) {
  std::string out;
  if (text == nullptr || length == 0) return out;
  if (length > static_cast<size_t>(INT32_MAX) / 3) return out;
  // Each UTF-16 unit gives at most three UTF-8 bytes.
  out.resize(length * 3);
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(&out[0], static_cast<int32_t>(out.size()), &written,
                     reinterpret_cast<const UChar*>(text), static_cast<int32_t>(length), 0xFFFD,
                     nullptr, &status);
  if (U_FAILURE(status)) return std::string();
  out.resize(static_cast<size_t>(written));
  return out;
}

WideString WideFromUtf8(const char* text, size_t length) {
  WideString out;
  if (text == nullptr || length == 0) return out;
  if (length > static_cast<size_t>(INT32_MAX)) return out;
  // A UTF-8 byte never gives more than one UTF-16 unit.
  out.resize(length);
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(&out[0]), static_cast<int32_t>(out.size()),
                       &written, text, static_cast<int32_t>(length), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return WideString();
  out.resize(static_cast<size_t>(written));
  return out;
}

std::string NativePath(const WCHAR* path) {
  std::string out = Utf8FromWide(path, WideLength(path));
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace pavo
