#include "platform/win/paths.h"

#include <climits>

#if defined(_WIN32)
#include "platform/win/utf8_text.h"

namespace pavo {

// Without ICU: the library's own UTF-8, with the same U+FFFD rules.
std::string Utf8FromWide(const WCHAR* text, size_t length) {
  std::string out;
  if (text != nullptr) AppendUtf8(text, length, false, &out);
  return out;
}

WideString WideFromUtf8(const char* text, size_t length) {
  WideString out;
  if (text == nullptr || length == 0) return out;
  size_t units = 0;
  DecodeUtf8(text, length, false, nullptr, 0, &units);
  out.resize(units);
  DecodeUtf8(text, length, false, &out[0], out.size(), &units);
  return out;
}

}  // namespace pavo
#else
#include <unicode/ustring.h>

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

}  // namespace pavo
#endif

namespace pavo {

std::string NativePath(const WCHAR* path) {
  std::string out = Utf8FromWide(path, WideLength(path));
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace pavo
