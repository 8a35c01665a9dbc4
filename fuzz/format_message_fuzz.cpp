// Arbitrary UTF-16 text as a FormatMessageW format over eight counted
// arguments. Every slot holds a valid string, since %s of an integer would be
// the caller's fault on Windows too; integer conversions print the pointers.
// Any read past the eight slots is a fault.
#include <cstdint>
#include <vector>

#include "platform/win/format_message.h"
#include "platform/win/format_message_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const WCHAR kText[] = {u'a', u'b', 0};
  const ULONG_PTR text = reinterpret_cast<ULONG_PTR>(kText);
  const ULONG_PTR args[8] = {text, text, text, text, text, text, text, text};
  const DWORD flags = data[0] | (data[0] & 1 ? FORMAT_MESSAGE_IGNORE_INSERTS : 0);  // width bits
  std::vector<WCHAR> format((size - 1) / 2);
  for (size_t i = 0; i < format.size(); ++i) format[i] = static_cast<WCHAR>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
  pavo::WideString out;
  pavo::FormatMessageText(flags, format.data(), format.size(), args, 8, &out);
  return 0;
}
