// Arbitrary bytes as a module image: the parser and every lookup must fail
// cleanly or stay inside the bytes (ASan watches the exact-size copy, and a
// module that opens must hand out only ranges inside the file), and the
// damage check must finish on anything.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win/pe_image.h"
#include "platform/win/resources.h"

namespace {

// Aborts when [bytes, bytes + length) is not inside the file.
void RequireInside(const uint8_t* file, size_t size, const void* bytes, size_t length) {
  const uintptr_t begin = reinterpret_cast<uintptr_t>(file);
  const uintptr_t at = reinterpret_cast<uintptr_t>(bytes);
  if (at < begin || at - begin > size || length > size - (at - begin)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);
  const uint8_t* file = copy.get();
  pavo::PeImage image;
  if (image.Open(file, size) != 0) return 0;

  size_t total = 0;
  image.ForEachString([&](UINT, WORD, const BYTE* bytes, size_t units) {
    RequireInside(file, size, bytes, 2 * units);
    total += bytes[0] + bytes[2 * units - 1];
  });
  const WCHAR* text = nullptr;
  size_t length = 0;
  for (LANGID ui : {1031, 1033}) {
    for (UINT id : {0u, 1u, 15u, 16u, 100u, 28500u, 28515u, 65535u}) {
      if (image.FindString(id, ui, &text, &length) != 0) continue;
      RequireInside(file, size, text, 2 * length);
      total += text[0] + text[length - 1];
    }
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
      if (e != 0 && image.DataOf(e, &d) && d.size > 0) {
        RequireInside(file, size, d.bytes, d.size);
        total += d.bytes[0] + d.bytes[d.size - 1];
      }
    }
  }
  std::vector<pavo::ResourceDamage> damage;
  if (!image.CheckResources(&damage, 64) && damage.empty()) std::abort();  // damage is always listed
  return total == 0xFFFFFFFF;
}
