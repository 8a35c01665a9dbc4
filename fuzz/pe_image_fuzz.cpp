// Arbitrary bytes as a module image: the parser and every lookup must fail
// cleanly or stay inside the bytes (ASan watches the exact-size copy).
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/win/pe_image.h"
#include "platform/win/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);
  pavo::PeImage image;
  if (image.Open(copy.get(), size) != 0) return 0;

  size_t total = 0;
  image.ForEachString([&](UINT, WORD, const BYTE* bytes, size_t units) { total += bytes[0] + bytes[2 * units - 1]; });
  const WCHAR* text = nullptr;
  size_t length = 0;
  for (UINT id : {0u, 1u, 15u, 16u, 100u, 28500u, 28515u, 65535u}) {
    if (image.FindString(id, 1031, &text, &length) == 0) total += text[0] + text[length - 1];
  }
  static const WCHAR kName[] = {u'C', u'O', u'N', u'F', u'I', u'G', 0};
  const pavo::ResourceKey names[] = {pavo::ResourceKey::FromId(1), pavo::ResourceKey::FromId(28519),
                                     pavo::ResourceKey{kName, 6, 0}};
  for (WORD type : {5, 6, 10, 11, 16}) {
    for (const pavo::ResourceKey& name : names) {
      DWORD error = 0;
      uint32_t e = image.FindDefault(pavo::ResourceKey::FromId(type), name, 1036, &error);
      if (e == 0) e = image.FindLanguage(pavo::ResourceKey::FromId(type), name, 1036, 0x0807, &error);
      pavo::ResourceData d;
      if (e != 0 && image.DataOf(e, &d) && d.size > 0) total += d.bytes[0] + d.bytes[d.size - 1];
    }
  }
  return total == 0xFFFFFFFF;
}
