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
#include <memory>
#include <unordered_set>
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

// What CheckResources finds wrong in a module's resources.
enum class ResourceDamageKind : uint8_t {
  kSectionCut,         // a section's raw data runs past the end of the file
  kDirectoryOutside,   // a directory, or its entries, lie outside the resource section
  kDirectoryLoop,      // an entry links back to its own directory or one above it
  kDirectoryShared,    // a directory reached from a second entry (only the first is read)
  kEntriesUnsorted,    // id entries not in strictly ascending order (lookups bisect them)
  kWrongEntryKind,     // a subdirectory where data belongs, or data where a subdirectory does
  kDataEntryOutside,   // a data entry record lies outside the resource section
  kDataOutside,        // a resource's bytes lie (partly) outside the file
  kDataMisaligned,     // string-table bytes at an odd address: no text can be handed out
  kStringPastBlock,    // a string's length runs past the end of its block
};

// One damaged spot: the kind and the path to it (type, name, language ids;
// kNamed for a named entry, kNone below the level where the damage lies).
struct ResourceDamage {
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr uint32_t kNamed = 0xFFFFFFFEu;
  ResourceDamageKind kind = ResourceDamageKind::kSectionCut;
  uint32_t type = kNone;
  uint32_t name = kNone;      // for string tables the block: ids (block - 1) * 16 ...
  uint32_t language = kNone;
  unsigned detail = 0;        // kSectionCut: section index; kStringPastBlock: first entry lost (0-15)
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
  // ERROR_BAD_EXE_FORMAT when any of them is malformed or lies outside the
  // file. Damage further in (cut sections, bad links, data outside the file)
  // is left to the lookups, which skip it, and to CheckResources, which tells
  // it. The bytes must outlive the object. The tree has a fixed depth of
  // three, so a link back up cannot make a walk loop.
  DWORD Open(const BYTE* data, size_t size);

  bool Is64() const { return is64_; }
  bool HasResources() const { return rsrc_ != nullptr; }
  // True when a section's raw data runs past the end of the file (a file cut
  // short): the Windows loader refuses to map such a file as an image.
  bool HasCutSection() const { return cutSections_ != 0; }

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
  // or an ERROR_RESOURCE_* code (DATA_NOT_FOUND for a damaged string). Each
  // block is read once, by its first lookup (safe from any number of threads).
  DWORD FindString(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const;

  // Calls fn(id, language, bytes, units) for every intact non-empty
  // string-table entry; `bytes` holds `units` UTF-16LE units. Each block and
  // language directory is read once. For tests and tools.
  template <typename Fn>
  void ForEachString(Fn&& fn) const;

  // Walks the whole resource tree (each directory once, so in time linear in
  // the file) and appends each damaged spot to *damage, at most `limit` of
  // them. True when nothing is damaged. For tools and tests.
  bool CheckResources(std::vector<ResourceDamage>* damage, size_t limit) const;

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
  // The bytes of a string-table entry, cut at the end of the file: strings
  // before a cut stay readable. False when nothing of it lies inside the
  // file; *cut tells whether its end was cut off.
  bool StringDataOf(uint32_t entryOffset, ResourceData* out, bool* cut) const;
  // Calls fn(block, language, data) for each readable string table, reading
  // each directory once.
  template <typename Fn>
  void ForEachStringTable(Fn&& fn) const;

  // One string table: a block in one language, its 16 entries located.
  struct StringTable {
    WORD language;
    bool readable;          // data inside the file and 2-aligned
    uint8_t entries;        // entries 0 .. entries - 1 lie inside the block
    const BYTE* data;
    uint32_t offset[16];    // byte offset of entry k's length word (k < entries)
  };
  // A block's tables in directory order (the tables follow the header).
  struct StringBlock {
    uint32_t count;
    WORD block;
    StringBlock* next;  // the list of blocks read since Open
    const StringTable* Tables() const { return reinterpret_cast<const StringTable*>(this + 1); }
  };
  // Slots for the blocks firstBlock_ .. firstBlock_ + blockSpan_ - 1, set up
  // by the module's second FindString (its first reads its string straight
  // from the directory, as a plain reader does, and sets nothing up). A
  // block's first lookup after the set-up reads its string from the
  // directory and marks the slot; its next one reads the block's tables into
  // it. Kept (and reused by the next Open) with the object, so that a module
  // loaded again allocates only the blocks it reads, and one of which a few
  // strings are used allocates nothing.
  struct StringBlocks {
    static constexpr uint32_t kMarksKept = 8;
    // kOnce: the module's first lookup is done, the slots are not set up yet.
    enum : int { kUnset, kOnce, kBuilding, kReady };
    std::atomic<int> state{kUnset};
    WORD firstBlock = 0;
    uint32_t span = 0;
    std::atomic<size_t> budget{0};  // tables that may still be kept
    std::atomic<bool> anyAbsent{false};
    std::atomic<StringBlock*> read{nullptr};
    std::unique_ptr<std::atomic<const StringBlock*>[]> slots;
    uint32_t capacity = 0;
    // Slots marked by a first lookup, for DropBlocks; past kMarksKept it
    // empties every slot (anyAbsent).
    std::atomic<uint32_t> marks{0};
    uint16_t marked[kMarksKept] = {};
  };
  // The block table, or null for the module's first lookup, while another
  // thread sets it up or when memory is short (the caller reads the block's
  // directory).
  const StringBlocks* Blocks() const {
    if (blocks_.state.load(std::memory_order_acquire) == StringBlocks::kReady) return &blocks_;
    return SetUpBlocks();
  }
  const StringBlocks* SetUpBlocks() const;
  // Finds the string type's directory and its range of blocks (Open).
  void FindStringBlocks(const Dir& root);
  // The block's tables, read and kept by the first lookup; null when they
  // cannot be kept (no memory, or more tables than the file can hold).
  const StringBlock* ReadBlock(WORD block) const;
  void ParseStringTable(uint32_t entry, StringTable* table) const;
  // The language directory of a block (0: absent or damaged).
  uint32_t BlockLanguages(WORD block) const;
  // The string of FindString, read from the block's directory and data
  // without keeping anything: the same choice and the same damage rules as
  // the tables ReadBlock keeps.
  DWORD FindStringInBlock(WORD block, UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const;
  static const StringBlock* AbsentBlock();
  // A slot's mark after the block's first lookup: no tables read yet.
  static const StringBlock* MarkedBlock();
  // Frees the blocks read and empties their slots (not concurrent with lookups).
  void DropBlocks();
  DWORD FindStringByWalk(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const;

  // Little-endian reads of the resource directory bytes; 0 past their end.
  uint32_t Read32(uint32_t offset) const;
  WORD Read16(uint32_t offset) const;

  const BYTE* data_ = nullptr;
  size_t size_ = 0;
  bool is64_ = false;
  Section sections_[kMaxSections] = {};
  unsigned sectionCount_ = 0;
  uint64_t cutSections_ = 0;    // bit i: section i cut by the end of the file (first 64)
  unsigned firstCutSection_ = 0;
  const BYTE* rsrc_ = nullptr;  // resource directory's first byte
  uint32_t rsrcSize_ = 0;       // bytes from rsrc_ to the end of its section's raw data
  // The section of rsrc_ when no section before it covers any of its
  // addresses (StringDataOf tries it first), else kMaxSections.
  unsigned rsrcSectionFirst_ = kMaxSections;
  // The string type's directory (0: the module has no string tables), its
  // entry counts and the blocks between its first and last id entry;
  // blocksOrdered_ when that range shows that blocks outside it are absent.
  uint32_t stringDir_ = 0;
  uint32_t stringNamed_ = 0;
  uint32_t stringIds_ = 0;
  WORD firstBlock_ = 0;
  uint32_t blockSpan_ = 0;
  bool blocksOrdered_ = false;
  mutable StringBlocks blocks_;
};

// Resource type ids used by the stand-ins.
constexpr WORD kRtString = 6;
constexpr WORD kRtMessageTable = 11;
// String ids are 16 bits wide: blocks 1 to 4096 of 16 strings each.
constexpr uint32_t kMaxStringBlock = 4096;

template <typename Fn>
void PeImage::ForEachStringTable(Fn&& fn) const {
  Dir names;
  const uint32_t nameDir = rsrc_ ? FindChild(0, ResourceKey::FromId(kRtString), true) : 0;
  if (nameDir == 0 || !ReadDir(nameDir, &names)) return;
  // A directory linked from several entries is read once: shared links could
  // otherwise multiply the work far past the size of the file.
  std::unordered_set<uint32_t> seen;
  uint32_t previous = 0;
  for (uint32_t i = names.named; i < names.named + names.ids; ++i) {
    const uint32_t block = Read32(names.Entry(i));
    if (block <= previous) continue;  // out of order: unreachable by bisection
    previous = block;
    Dir langs;
    const uint32_t langDir = Target(names.Entry(i), true);
    // Blocks past 4096 would hold ids above 16 bits, which no lookup reaches.
    if (block > kMaxStringBlock || langDir == nameDir || !ReadDir(langDir, &langs)) continue;
    if (!seen.insert(langDir).second) continue;
    for (uint32_t j = 0; j < langs.named + langs.ids; ++j) {
      const uint32_t field = Read32(langs.Entry(j));
      ResourceData d;
      bool cut = false;
      if ((field >> 16) != 0 || !StringDataOf(Target(langs.Entry(j), false), &d, &cut)) continue;
      fn(static_cast<WORD>(block), static_cast<WORD>(field), d);
    }
  }
}

template <typename Fn>
void PeImage::ForEachString(Fn&& fn) const {
  ForEachStringTable([&](WORD block, WORD lang, const ResourceData& d) {
    size_t pos = 0;
    for (unsigned k = 0; k < 16 && d.size - pos >= 2; ++k) {
      const size_t len = d.bytes[pos] | (static_cast<size_t>(d.bytes[pos + 1]) << 8);
      pos += 2;
      if (len > (d.size - pos) / 2) break;
      if (len > 0) fn(static_cast<UINT>(((block - 1u) << 4) | k), lang, d.bytes + pos, len);
      pos += len * 2;
    }
  });
}

}  // namespace pavo

#endif
