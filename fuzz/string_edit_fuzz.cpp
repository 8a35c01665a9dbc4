// Checks the linear editing helpers against the literal loops they replace
// (find from position 0, edit, find again from 0) on small alphabets, where
// removals and replacements keep creating new occurrences.
#include <cstddef>
#include <cstdint>
#include <string>

#include "string/PavoRmCString.h"

namespace {

std::u16string Units(const CStringW& s) { return std::u16string(s.GetString(), static_cast<size_t>(s.GetLength())); }

std::u16string Take(const uint8_t*& data, size_t& size, size_t n) {
  std::u16string out;
  for (; n > 0 && size > 0; --n, ++data, --size) out.push_back(static_cast<char16_t>(u'a' + (*data % 3)));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int count = static_cast<int>(data[0] % 5) - 1;  // -1 (all) .. 3
  const size_t patternLength = 1 + data[1] % 4;
  const size_t replacementLength = data[2] % 4;
  data += 3;
  size -= 3;
  const std::u16string pattern = Take(data, size, patternLength);
  const std::u16string replacement = Take(data, size, replacementLength);
  const std::u16string text = Take(data, size, 4096);

  std::u16string expected = text;
  int n = 0;
  // A count of 0 does nothing.
  for (size_t q; count != 0 && (q = expected.find(pattern)) != std::u16string::npos;) {
    expected.erase(q, pattern.size());
    if (++n == count) break;
  }
  PavoRmCString s(text.c_str());
  if (s.Remove(pattern.c_str(), count) != n || Units(s) != expected) __builtin_trap();

  expected = text;
  n = 0;
  for (size_t base = 0, q; count != 0 && (q = expected.find(pattern, base)) != std::u16string::npos;) {
    expected.replace(q, pattern.size(), replacement);
    base = q + replacement.size();
    if (++n == count) break;
  }
  s = text.c_str();
  if (s.Replace(pattern.c_str(), replacement.c_str(), count) != n || Units(s) != expected) __builtin_trap();
  return 0;
}
