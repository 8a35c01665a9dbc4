#include "tools/module_writer.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace pavorm_tool {
namespace {

// Layout constants of a PE32+ image (Microsoft's PE format documentation).
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kPeOffset = 0x78;          // after the DOS header and its stub
constexpr uint32_t kOptionalHeaderSize = 240;  // PE32+ with 16 data directories
constexpr uint32_t kSectionRva = kSectionAlignment;
constexpr uint16_t kMachineAmd64 = 0x8664;
// IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LARGE_ADDRESS_AWARE | IMAGE_FILE_DLL
constexpr uint16_t kFileCharacteristics = 0x0002 | 0x0020 | 0x2000;
// HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT: what lld-link gives a DLL;
// there is nothing to relocate, so any base address serves.
constexpr uint16_t kDllCharacteristics = 0x0020 | 0x0040 | 0x0100;
constexpr uint16_t kSubsystemWindowsGui = 2;
// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ
constexpr uint32_t kRsrcCharacteristics = 0x00000040 | 0x40000000;
constexpr uint32_t kRtString = 6;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
// Keeps every RVA and size of the image far inside 32 bits.
constexpr uint64_t kMaxImageSize = uint64_t{1} << 31;

// The DOS stub every linker writes: prints that the program needs Windows.
const unsigned char kDosStub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
const char kDosMessage[] = "This program cannot be run in DOS mode.\r\r\n$";

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// Little-endian stores into a buffer whose size the caller has fixed.
class Bytes {
 public:
  explicit Bytes(std::vector<unsigned char>* buffer) : b_(*buffer) {}
  void U8(size_t at, unsigned v) { b_.at(at) = static_cast<unsigned char>(v); }
  void U16(size_t at, unsigned v) {
    U8(at, v & 0xFF);
    U8(at + 1, (v >> 8) & 0xFF);
  }
  void U32(size_t at, uint32_t v) {
    U16(at, v & 0xFFFF);
    U16(at + 2, v >> 16);
  }
  void U64(size_t at, uint64_t v) {
    U32(at, static_cast<uint32_t>(v));
    U32(at + 4, static_cast<uint32_t>(v >> 32));
  }
  void Put(size_t at, const void* data, size_t size) {
    if (size == 0) return;
    if (at > b_.size() || size > b_.size() - at) throw std::out_of_range("module layout");
    std::memcpy(b_.data() + at, data, size);
  }

 private:
  std::vector<unsigned char>& b_;
};

// One string block of one language: 16 entries, each a length word and its units.
struct Block {
  unsigned short blockId;  // id / 16 + 1
  unsigned short language;
  const pavo::WideString* entries[16];
  uint32_t dataOffset;  // inside the section
  uint32_t dataSize;
};

}  // namespace

std::string WriteStringModule(const ModuleStrings& strings, std::vector<unsigned char>* out) {
  out->clear();
  // Blocks by block id, then language: the order of the directory's levels.
  std::map<unsigned, std::map<unsigned short, Block>> blocks;
  for (const auto& language : strings) {
    for (const auto& entry : language.second) {
      const unsigned id = entry.first;
      const pavo::WideString& text = entry.second;
      if (id > 0xFFFF) return "string id " + std::to_string(id) + " is above 65535";
      if (text.empty()) return "string " + std::to_string(id) + " is empty (a module cannot hold an empty string)";
      if (text.size() > kMaxStringUnits) {
        return "string " + std::to_string(id) + " has " + std::to_string(text.size()) +
               " UTF-16 units, more than the 65535 an entry holds";
      }
      const unsigned short blockId = static_cast<unsigned short>((id >> 4) + 1);
      Block& block = blocks[blockId][language.first];
      if (block.blockId == 0) {
        block = Block{blockId, language.first, {}, 0, 0};
      }
      block.entries[id & 15] = &text;
    }
  }
  size_t blockCount = 0;
  for (const auto& b : blocks) blockCount += b.second.size();

  // The section: root directory (one type), the type's directory (one entry
  // per block id), one language directory per block id, the data entries,
  // then the data, each 8-aligned as resource compilers lay it out.
  const uint64_t rootSize = 16 + 8;
  const uint64_t typeDirSize = 16 + 8 * static_cast<uint64_t>(blocks.size());
  uint64_t langDirsSize = 0;
  for (const auto& b : blocks) langDirsSize += 16 + 8 * static_cast<uint64_t>(b.second.size());
  const uint64_t dataEntriesAt = rootSize + typeDirSize + langDirsSize;
  uint64_t cursor = AlignUp(dataEntriesAt + 16 * static_cast<uint64_t>(blockCount), 8);
  for (auto& b : blocks) {
    for (auto& l : b.second) {
      Block& block = l.second;
      uint64_t size = 0;
      for (const pavo::WideString* e : block.entries) size += 2 + 2 * static_cast<uint64_t>(e ? e->size() : 0);
      if (cursor + size > kMaxImageSize) return "the strings do not fit into a module of 2 GiB";
      block.dataOffset = static_cast<uint32_t>(cursor);
      block.dataSize = static_cast<uint32_t>(size);
      cursor = AlignUp(cursor + size, 8);
    }
  }
  const uint64_t sectionSize = cursor;
  const uint64_t headersSize = AlignUp(kPeOffset + 4 + 20 + kOptionalHeaderSize + 40, kFileAlignment);
  const uint64_t rawSize = AlignUp(sectionSize, kFileAlignment);
  const uint64_t imageSize = kSectionRva + AlignUp(sectionSize, kSectionAlignment);
  if (headersSize + rawSize > kMaxImageSize || imageSize > kMaxImageSize) {
    return "the strings do not fit into a module of 2 GiB";
  }

  std::vector<unsigned char> file(static_cast<size_t>(headersSize + rawSize), 0);
  Bytes w(&file);
  // DOS header: "MZ", one 512-byte page, header of 4 paragraphs, the stub's
  // relocation table at 0x40 (none), and the PE header's offset.
  w.U16(0x00, 0x5A4D);
  w.U16(0x02, kPeOffset);
  w.U16(0x04, 1);
  w.U16(0x08, 4);
  w.U16(0x10, 0xFFFF);  // maximum extra paragraphs
  w.U16(0x12, 0xB8);    // initial SP
  w.U16(0x18, 0x40);
  w.U32(0x3C, kPeOffset);
  w.Put(0x40, kDosStub, sizeof kDosStub);
  w.Put(0x40 + sizeof kDosStub, kDosMessage, sizeof kDosMessage - 1);

  // PE signature and COFF header: one section, no symbols; the time stamp is
  // 0 so that the same strings always give the same bytes.
  const size_t coff = kPeOffset + 4;
  w.U32(kPeOffset, 0x00004550);
  w.U16(coff + 0, kMachineAmd64);
  w.U16(coff + 2, 1);
  w.U16(coff + 16, kOptionalHeaderSize);
  w.U16(coff + 18, kFileCharacteristics);

  const size_t opt = coff + 20;
  w.U16(opt + 0, 0x20B);  // PE32+
  w.U32(opt + 8, static_cast<uint32_t>(rawSize));  // SizeOfInitializedData
  // No code: SizeOfCode, AddressOfEntryPoint and BaseOfCode stay 0.
  w.U64(opt + 24, 0x180000000ull);  // ImageBase, the usual one of 64-bit DLLs
  w.U32(opt + 32, kSectionAlignment);
  w.U32(opt + 36, kFileAlignment);
  w.U16(opt + 40, 6);  // operating system 6.0
  w.U16(opt + 48, 6);  // subsystem 6.0
  w.U32(opt + 56, static_cast<uint32_t>(imageSize));
  w.U32(opt + 60, static_cast<uint32_t>(headersSize));
  w.U16(opt + 68, kSubsystemWindowsGui);
  w.U16(opt + 70, kDllCharacteristics);
  w.U64(opt + 72, 0x100000);  // stack reserve
  w.U64(opt + 80, 0x1000);    // stack commit
  w.U64(opt + 88, 0x100000);  // heap reserve
  w.U64(opt + 96, 0x1000);    // heap commit
  w.U32(opt + 108, 16);       // data directories
  const size_t resourceDirectory = opt + 112 + 8 * 2;
  w.U32(resourceDirectory, kSectionRva);
  w.U32(resourceDirectory + 4, static_cast<uint32_t>(sectionSize));

  const size_t section = opt + kOptionalHeaderSize;
  w.Put(section, ".rsrc", 5);
  w.U32(section + 8, static_cast<uint32_t>(sectionSize));
  w.U32(section + 12, kSectionRva);
  w.U32(section + 16, static_cast<uint32_t>(rawSize));
  w.U32(section + 20, static_cast<uint32_t>(headersSize));
  w.U32(section + 36, kRsrcCharacteristics);

  // The resource directory. Offsets below are from the section's start.
  const size_t base = static_cast<size_t>(headersSize);
  auto directory = [&](size_t at, size_t idEntries) {
    w.U16(base + at + 14, static_cast<unsigned>(idEntries));  // no named entries
  };
  if (!blocks.empty()) {
    directory(0, 1);
    w.U32(base + 16, kRtString);
    w.U32(base + 20, kSubdirectoryBit | static_cast<uint32_t>(rootSize));
    directory(static_cast<size_t>(rootSize), blocks.size());
  }
  size_t typeEntry = static_cast<size_t>(rootSize) + 16;
  size_t langDir = static_cast<size_t>(rootSize + typeDirSize);
  size_t dataEntry = static_cast<size_t>(dataEntriesAt);
  for (const auto& b : blocks) {
    w.U32(base + typeEntry, b.first);
    w.U32(base + typeEntry + 4, kSubdirectoryBit | static_cast<uint32_t>(langDir));
    typeEntry += 8;
    directory(langDir, b.second.size());
    size_t langEntry = langDir + 16;
    for (const auto& l : b.second) {
      const Block& block = l.second;
      w.U32(base + langEntry, block.language);
      w.U32(base + langEntry + 4, static_cast<uint32_t>(dataEntry));  // a leaf: high bit clear
      langEntry += 8;
      w.U32(base + dataEntry, kSectionRva + block.dataOffset);  // the data's RVA
      w.U32(base + dataEntry + 4, block.dataSize);
      dataEntry += 16;
      size_t at = base + block.dataOffset;
      for (const pavo::WideString* e : block.entries) {
        const size_t units = e != nullptr ? e->size() : 0;
        w.U16(at, static_cast<unsigned>(units));
        at += 2;
        for (size_t i = 0; i < units; ++i, at += 2) w.U16(at, static_cast<unsigned short>((*e)[i]));
      }
    }
    langDir = langEntry;
  }
  out->swap(file);
  return std::string();
}

}  // namespace pavorm_tool
