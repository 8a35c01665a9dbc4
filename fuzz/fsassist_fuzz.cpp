// Feeds arbitrary text, encodings and kinds to every reader of reference
// documents and to the writers that extend a held document.
// Input: byte 0 = kind (bit 0: 2 or 0) and encoding (bits 1-2) of the held
// text; byte 1 = component index (signed); byte 2 = frame; the rest is the
// held text, and after a 0xFF byte, the text given to the writers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "PavoRm51.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 1 << 16) return 0;
  const int kind = (data[0] & 1) != 0 ? 2 : 0;
  const int encoding = (data[0] >> 1) & 3;  // 3 is no known code
  const int index = static_cast<int8_t>(data[1]);
  const int frame = static_cast<int8_t>(data[2]) * 1000003;
  const char* text = reinterpret_cast<const char*>(data + 3);
  const size_t rest = size - 3;
  const void* cut = std::memchr(text, 0xFF, rest);
  const size_t heldBytes = cut != nullptr ? static_cast<size_t>(static_cast<const char*>(cut) - text) : rest;
  const std::string extra = cut != nullptr ? std::string(text + heldBytes + 1, rest - heldBytes - 1) : std::string("x.tif");

  const Gral::StringBuffer heldText(static_cast<int>(heldBytes), text, encoding);
  const Gral::StringBuffer extraText(static_cast<int>(extra.size()), extra.data(), (data[0] >> 3) & 3);
  Gral::FileSpecifier input(heldText, kind);

  (void)FSAssist::getStorageMethod(input, index);
  (void)FSAssist::isMultiComponent(input);
  Gral::FileSpecifier file;
  int outFrame = 0;
  (void)FSAssist::getFileReference(input, index, file, outFrame);
  (void)FSAssist::getInternetReference(input, index);
  PavoRmCString name, dictionary;
  (void)FSAssist::getEmbeddedReference(input, index, name, dictionary);
  const PavoRmCString asText(heldText);
  (void)FSAssist::isStorage(asText);
  (void)FSAssist::constructFS(asText.GetString());

  const Gral::FileSpecifier path(extraText, 0);
  Gral::FileSpecifier withFile = input;
  addFileReference(&path, frame, &withFile);
  const int before = numComponentsInReference(&input);
  // A document that was written reads back with the new component in it.
  const Gral::StringBuffer& a = withFile.text();
  const bool written = a.size() != input.text().size() ||
                       std::memcmp(a.data(), input.text().data(), static_cast<size_t>(a.size())) != 0;
  if (written && (withFile.kind() != 2 || numComponentsInReference(&withFile) < 1)) __builtin_trap();
  // New documents are written without a tree; they must match the serializer.
  static const char kEmpty[] = "<storage version=\"1.00\"><image></image></storage>";
  Gral::FileSpecifier viaTree(Gral::StringBuffer(sizeof kEmpty, kEmpty, 1), 2);
  FSAssist::appendFile(viaTree, extraText, frame);
  const Gral::FileSpecifier direct = FSAssist::cvtToFS(extraText, frame);
  if (viaTree.text().size() != direct.text().size() ||
      std::memcmp(viaTree.text().data(), direct.text().data(), static_cast<size_t>(direct.text().size())) != 0)
    __builtin_trap();
  Gral::FileSpecifier withInet = input;
  FSAssist::appendInet(withInet, extraText);
  (void)FSAssist::getInternetReference(withInet, before);
  return 0;
}
