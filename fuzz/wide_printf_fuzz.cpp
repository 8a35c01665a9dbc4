// Formats fuzzer-chosen UTF-16 formats against a fixed, counted argument
// array: any read beyond it, or of a bad pointer, is a bug the sanitizers see.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win/wide_printf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const WCHAR kWide[] = u"wide";
  // Padded and aligned so that it also reads as a terminated WCHAR text.
  alignas(8) static const char kNarrow[16] = "narrow";
  std::vector<WCHAR> format(size / 2);
  if (!format.empty()) std::memcpy(format.data(), data, format.size() * sizeof(WCHAR));
  // Strings are only valid for %s-like conversions; the array is built so
  // every slot is a valid pointer as well as a small number.
  const ULONG_PTR args[] = {reinterpret_cast<ULONG_PTR>(kWide), reinterpret_cast<ULONG_PTR>(kNarrow),
                            reinterpret_cast<ULONG_PTR>(kWide), reinterpret_cast<ULONG_PTR>(kNarrow)};
  const size_t count = size % 5;
  pavo::PrintfArrayArgs source(args, count);
  pavo::WideString out;
  pavo::AppendPrintf(out, format.data(), format.size(), source);
  return 0;
}
