// Round-trips fuzzer bytes through the code-page converters with exact and
// too-small buffers; the sanitizers catch any write past them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/code_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const UINT kPages[] = {CP_UTF8, 1252, 932, 936, 949, 950, 1250};
  const UINT cp = kPages[data[0] % (sizeof kPages / sizeof kPages[0])];
  const DWORD flags = (data[1] & 1) != 0 ? MB_ERR_INVALID_CHARS : 0;
  const char* bytes = reinterpret_cast<const char*>(data + 2);
  const int n = static_cast<int>(size - 2);
  if (n == 0) return 0;
  const int units = MultiByteToWideChar(cp, flags, bytes, n, nullptr, 0);
  if (units <= 0) return 0;
  std::vector<WCHAR> wide(static_cast<size_t>(units));
  if (MultiByteToWideChar(cp, flags, bytes, n, wide.data(), units) != units) __builtin_trap();
  if (units > 1) MultiByteToWideChar(cp, flags, bytes, n, wide.data(), units - 1);
  const int back = WideCharToMultiByte(cp, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (back <= 0) __builtin_trap();
  std::vector<char> narrow(static_cast<size_t>(back));
  if (WideCharToMultiByte(cp, 0, wide.data(), units, narrow.data(), back, nullptr, nullptr) != back) __builtin_trap();
  WideCharToMultiByte(cp, 0, wide.data(), units, narrow.data(), back / 2, nullptr, nullptr);
  return 0;
}
