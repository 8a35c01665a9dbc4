// Bounds-checked reader of a PE32 / PE32+ file held as bytes (a read-only
// file mapping or an image compiled into a binary): its headers, section
// table and resource directory. Nothing of the file is trusted: every offset
// and size is checked against the bytes given, and the resource tree is
// validated once in Open() so that lookups only follow checked links.
#ifndef PAVORM_PLATFORM_WIN_PE_IMAGE_H
#define PAVORM_PLATFORM_WIN_PE_IMAGE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/win_types.h"

namespace pavo {

// A resource type or name as FindResourceW takes it: a 16-bit id, or a name
// of `length` units (compared as Windows does, without regard to case).
struct ResourceKey {
  const WCHAR* name = nullptr;  // null for an id
  size_t length = 0;
  WORD id = 0;

  static ResourceKey FromId(WORD value) {
    ResourceKey k;
    k.id = value;
    return k;
  }
};

// Turns a FindResourceW argument (MAKEINTRESOURCEW value, "#123" or a name)
// into a key. Returns false for a null or empty name.
bool MakeResourceKey(LPCWSTR value, ResourceKey* key);

// Where a resource's bytes lie inside the image.
struct ResourceData {
  const BYTE* bytes = nullptr;
  DWORD size = 0;
};

class PeImage {
 public:
  static constexpr unsigned kMaxSections = 96;  // the Windows loader's limit

  PeImage() = default;
  ~PeImage();
  PeImage(const PeImage&) = delete;
  PeImage& operator=(const PeImage&) = delete;

  // Checks the headers, the section table and the root of the resource
  // directory of [data, data + size). Returns ERROR_SUCCESS, or
  // ERROR_BAD_EXE_FORMAT for anything malformed. The bytes must outlive the
  // object. Deeper levels are checked as lookups walk them: the tree has a
  // fixed depth of three, so a link back up cannot make a walk loop.
  DWORD Open(const BYTE* data, size_t size);

  bool Is64() const { return is64_; }
  bool HasResources() const { return rsrc_ != nullptr; }

  // Offset (from the resource directory's start) of the data entry of
  // type/name in the language Windows would choose: `uiLanguage`, neutral,
  // U.S. English, else the first present. 0 and an ERROR_RESOURCE_* code when
  // absent or malformed.
  uint32_t FindDefault(const ResourceKey& type, const ResourceKey& name, LANGID uiLanguage,
                       DWORD* error) const;
  // The same for one language: that exact language, then its primary language
  // with the neutral sub-language (FindResourceExW; language 0 means FindDefault).
  uint32_t FindLanguage(const ResourceKey& type, const ResourceKey& name, LANGID uiLanguage,
                        LANGID language, DWORD* error) const;

  // The bytes of the data entry at `entryOffset`; false when the entry or its
  // bytes do not lie inside the file.
  bool DataOf(uint32_t entryOffset, ResourceData* out) const;
  // Address of a data entry inside the image (the HRSRC value) and back.
  const BYTE* EntryAddress(uint32_t entryOffset) const { return rsrc_ + entryOffset; }
  bool EntryOffsetOf(const void* address, uint32_t* entryOffset) const;

  // String id (16-bit) in the language LoadStringW chooses: the block of the
  // first of `uiLanguage`, neutral, U.S. English present, else its first
  // language. ERROR_SUCCESS with the text inside the image (not 0-terminated),
  // or an ERROR_RESOURCE_* code. Served from an index built by the first call
  // (safe from any number of threads at once).
  DWORD FindString(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const;

  // Calls fn(id, language, bytes, units) for every non-empty string-table
  // entry; `bytes` holds `units` UTF-16LE units. For tests and tools.
  template <typename Fn>
  void ForEachString(Fn&& fn) const;

 private:
  struct Section {
    DWORD va;
    DWORD rawSize;
    DWORD rawOffset;
  };
  // A checked view of one resource directory.
  struct Dir {
    uint32_t offset = 0;
    uint32_t named = 0;
    uint32_t ids = 0;
    uint32_t Entry(uint32_t i) const { return offset + 16 + 8 * i; }
  };

  bool RvaToOffset(DWORD rva, DWORD length, size_t* offset) const;
  bool ReadDir(uint32_t offset, Dir* dir) const;
  // Target of entry `e`: a subdirectory (wantDir) or a data entry; 0 when the
  // kind does not match or the target lies outside the directory bytes.
  uint32_t Target(uint32_t e, bool wantDir) const;
  uint32_t FindChild(uint32_t dir, const ResourceKey& key, bool wantDir) const;
  bool NameEquals(uint32_t nameField, const ResourceKey& key) const;
  uint32_t FindNameDir(const ResourceKey& type, const ResourceKey& name, DWORD* error) const;
  uint32_t FirstDataEntry(uint32_t langDir) const;

  // The string index: one record per block and language, in directory order.
  struct StringTable {
    WORD block;
    WORD language;
    bool readable;          // data inside the file and 2-aligned
    const BYTE* data;
    uint32_t offset[16];    // byte offset of entry k's length word, or kNoEntry
  };
  struct StringIndex {
    std::vector<StringTable> tables;  // sorted by block, stable (directory order within a block)
    // tables index of the first record of block firstBlock + i (kNoEntry:
    // none); built when the blocks are dense enough, else lookups bisect.
    std::vector<uint32_t> blockStart;
    WORD firstBlock = 0;
    bool usable = false;  // false: too large or out of memory, lookups walk
  };
  static constexpr uint32_t kNoEntry = 0xFFFFFFFFu;
  // Stands for an index that could not be built (no memory): lookups walk.
  static const StringIndex* UnusableIndex();
  const StringIndex& Strings() const {
    const StringIndex* index = strings_.load(std::memory_order_acquire);
    return index != nullptr ? *index : BuildStrings();
  }
  const StringIndex& BuildStrings() const;
  void BuildStringIndex(StringIndex* index) const;
  DWORD FindStringByWalk(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const;

  // Little-endian reads of the resource directory bytes; 0 past their end.
  uint32_t Read32(uint32_t offset) const;
  WORD Read16(uint32_t offset) const;

  const BYTE* data_ = nullptr;
  size_t size_ = 0;
  bool is64_ = false;
  Section sections_[kMaxSections] = {};
  unsigned sectionCount_ = 0;
  const BYTE* rsrc_ = nullptr;  // resource directory's first byte
  uint32_t rsrcSize_ = 0;       // bytes from rsrc_ to the end of its section's raw data
  // Built by the first FindString; racing builders keep the first published.
  mutable std::atomic<const StringIndex*> strings_{nullptr};
};

// Resource type ids used by the stand-ins.
constexpr WORD kRtString = 6;
constexpr WORD kRtMessageTable = 11;

template <typename Fn>
void PeImage::ForEachString(Fn&& fn) const {
  Dir names;
  const uint32_t nameDir = rsrc_ ? FindChild(0, ResourceKey::FromId(kRtString), true) : 0;
  if (nameDir == 0 || !ReadDir(nameDir, &names)) return;
  for (uint32_t i = names.named; i < names.named + names.ids; ++i) {
    const WORD block = static_cast<WORD>(Read32(names.Entry(i)));
    Dir langs;
    if (block == 0 || !ReadDir(Target(names.Entry(i), true), &langs)) continue;
    for (uint32_t j = 0; j < langs.named + langs.ids; ++j) {
      ResourceData d;
      if (!DataOf(Target(langs.Entry(j), false), &d)) continue;
      const WORD lang = static_cast<WORD>(Read32(langs.Entry(j)));
      size_t pos = 0;
      for (unsigned k = 0; k < 16 && d.size - pos >= 2; ++k) {
        const size_t len = d.bytes[pos] | (static_cast<size_t>(d.bytes[pos + 1]) << 8);
        pos += 2;
        if (len > (d.size - pos) / 2) break;
        if (len > 0) fn(static_cast<UINT>(((block - 1u) << 4) | k), lang, d.bytes + pos, len);
        pos += len * 2;
      }
    }
  }
}

}  // namespace pavo

#endif
