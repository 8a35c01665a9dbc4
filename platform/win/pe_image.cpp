#include "platform/win/pe_image.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unicode/uchar.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <new>
#include <unordered_set>

#include "platform/win/last_error.h"

namespace pavo {
namespace {

// Little-endian reads with the bound checked by the caller's Has().
inline WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD Le32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool Has(size_t size, size_t offset, size_t length) {
  return offset <= size && length <= size - offset;
}

constexpr WORD kMagicPe32 = 0x10B;
constexpr WORD kMagicPe32Plus = 0x20B;
constexpr DWORD kResourceDirectoryIndex = 2;
constexpr uint32_t kHighBit = 0x80000000u;

// Windows compares resource names after upper-casing both sides.
#if defined(_WIN32)
inline WCHAR Upper(WCHAR c) {
  CharUpperBuffW(&c, 1);  // the system's own rule for resource names
  return c;
}
#else
inline UChar32 Upper(WCHAR c) { return u_toupper(static_cast<UChar32>(c)); }
#endif

}  // namespace

bool MakeResourceKey(LPCWSTR value, ResourceKey* key) {
  *key = ResourceKey();
  if (IS_INTRESOURCE(value)) {
    key->id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
    return true;
  }
  size_t len = 0;
  while (value[len] != 0) ++len;
  if (len == 0) return false;
  // "#123" names the id 123, as FindResourceW reads it.
  if (value[0] == u'#' && len > 1 && len <= 6) {
    uint32_t n = 0;
    size_t i = 1;
    for (; i < len && value[i] >= u'0' && value[i] <= u'9'; ++i) n = n * 10 + (value[i] - u'0');
    if (i == len && n <= 0xFFFF) {
      key->id = static_cast<WORD>(n);
      return true;
    }
  }
  key->name = value;
  key->length = len;
  return true;
}

PeImage::~PeImage() { DropBlocks(); }

void PeImage::DropBlocks() {
  StringBlocks& b = blocks_;
  if (b.state.load(std::memory_order_acquire) != StringBlocks::kReady) {
    b.state.store(StringBlocks::kUnset, std::memory_order_release);
    return;
  }
  const uint32_t marks = b.marks.exchange(0, std::memory_order_relaxed);
  for (uint32_t i = 0; i < marks && i < StringBlocks::kMarksKept; ++i) {
    b.slots[b.marked[i]].store(nullptr, std::memory_order_relaxed);
  }
  for (StringBlock* block = b.read.exchange(nullptr, std::memory_order_acq_rel); block != nullptr;) {
    StringBlock* next = block->next;
    b.slots[block->block - b.firstBlock].store(nullptr, std::memory_order_relaxed);
    std::free(block);
    block = next;
  }
  if (b.anyAbsent.exchange(false, std::memory_order_relaxed)) {
    for (uint32_t i = 0; i < b.span; ++i) b.slots[i].store(nullptr, std::memory_order_relaxed);
  }
  b.state.store(StringBlocks::kUnset, std::memory_order_release);
}

DWORD PeImage::Open(const BYTE* data, size_t size) {
  data_ = data;
  size_ = size;
  rsrc_ = nullptr;
  rsrcSize_ = 0;
  sectionCount_ = 0;
  cutSections_ = 0;
  firstCutSection_ = 0;
  is64_ = false;
  rsrcSectionFirst_ = kMaxSections;
  stringDir_ = 0;
  stringNamed_ = 0;
  stringIds_ = 0;
  firstBlock_ = 0;
  blockSpan_ = 0;
  blocksOrdered_ = false;
  DropBlocks();
  if (data == nullptr || !Has(size, 0, 64) || data[0] != 'M' || data[1] != 'Z') return ERROR_BAD_EXE_FORMAT;
  const DWORD peOffset = Le32(data + 0x3C);
  if (!Has(size, peOffset, 24) || Le32(data + peOffset) != 0x00004550u) return ERROR_BAD_EXE_FORMAT;
  const BYTE* coff = data + peOffset + 4;
  const WORD sectionCount = Le16(coff + 2);
  const WORD optionalSize = Le16(coff + 16);
  const size_t optional = static_cast<size_t>(peOffset) + 24;
  if (sectionCount > kMaxSections || !Has(size, optional, optionalSize) || optionalSize < 2) {
    return ERROR_BAD_EXE_FORMAT;
  }
  const WORD magic = Le16(data + optional);
  size_t dirCountField = 0;
  if (magic == kMagicPe32) {
    dirCountField = 92;
  } else if (magic == kMagicPe32Plus) {
    dirCountField = 108;
    is64_ = true;
  } else {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (optionalSize < dirCountField + 4) return ERROR_BAD_EXE_FORMAT;
  const DWORD dirCount = Le32(data + optional + dirCountField);
  DWORD rsrcRva = 0;
  DWORD rsrcDirSize = 0;
  const size_t rsrcField = dirCountField + 4 + 8 * kResourceDirectoryIndex;
  if (dirCount > kResourceDirectoryIndex && optionalSize >= rsrcField + 8) {
    rsrcRva = Le32(data + optional + rsrcField);
    rsrcDirSize = Le32(data + optional + rsrcField + 4);
  }

  const size_t table = optional + optionalSize;
  if (!Has(size, table, static_cast<size_t>(sectionCount) * 40)) return ERROR_BAD_EXE_FORMAT;
  for (unsigned i = 0; i < sectionCount; ++i) {
    const BYTE* s = data + table + 40 * i;
    Section sec{Le32(s + 12), Le32(s + 16), Le32(s + 20)};
    // Raw data past the end of the file is cut, as a data-file mapping sees
    // it, and remembered: the file was cut short.
    const bool cut = sec.rawSize != 0 && (sec.rawOffset >= size || sec.rawSize > size - sec.rawOffset);
    if (sec.rawOffset >= size) sec.rawSize = 0;
    else if (sec.rawSize > size - sec.rawOffset) sec.rawSize = static_cast<DWORD>(size - sec.rawOffset);
    if (cut) {
      if (cutSections_ == 0) firstCutSection_ = i;
      cutSections_ |= uint64_t{1} << (i < 63 ? i : 63);
    }
    sections_[sectionCount_++] = sec;
  }

  if (rsrcRva == 0 || rsrcDirSize == 0) return ERROR_SUCCESS;  // a module without resources
  for (unsigned i = 0; i < sectionCount_; ++i) {
    const Section& sec = sections_[i];
    if (rsrcRva < sec.va || rsrcRva - sec.va >= sec.rawSize) continue;
    const DWORD into = rsrcRva - sec.va;
    rsrc_ = data + sec.rawOffset + into;
    rsrcSize_ = sec.rawSize - into;
    bool covered = false;
    for (unsigned j = 0; j < i && !covered; ++j) {
      const Section& before = sections_[j];
      covered = before.rawSize != 0 && before.va < sec.va + static_cast<uint64_t>(sec.rawSize) &&
                sec.va < before.va + static_cast<uint64_t>(before.rawSize);
    }
    if (!covered) rsrcSectionFirst_ = i;
    break;
  }
  Dir root;
  if (rsrc_ == nullptr || !ReadDir(0, &root)) return ERROR_BAD_EXE_FORMAT;
  FindStringBlocks(root);
  return ERROR_SUCCESS;
}

void PeImage::FindStringBlocks(const Dir& root) {
  // FindChild's bisection of the root's id entries, which ReadDir checked.
  uint32_t lo = root.named;
  uint32_t hi = root.named + root.ids;
  uint32_t nameDir = 0;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const uint32_t id = Le32(rsrc_ + root.Entry(mid));
    if (id == kRtString) {
      nameDir = Target(root.Entry(mid), true);
      break;
    }
    if (id < kRtString) lo = mid + 1;
    else hi = mid;
  }
  Dir names;
  if (nameDir == 0 || !ReadDir(nameDir, &names) || names.ids == 0) return;
  // The blocks between the first and the last id entry: in a sorted
  // directory (any compiler's) no block lies outside. Only these two entries
  // are read, whatever the size of the module.
  const uint32_t first = Le32(rsrc_ + names.Entry(names.named));  // inside: ReadDir checked
  const uint32_t last = Le32(rsrc_ + names.Entry(names.named + names.ids - 1));
  const bool ordered = first >= 1 && first <= last && last <= kMaxStringBlock;
  const uint32_t low = ordered ? first : 1;
  stringDir_ = nameDir;
  stringNamed_ = names.named;
  stringIds_ = names.ids;
  firstBlock_ = static_cast<WORD>(low);
  blockSpan_ = (ordered ? last : kMaxStringBlock) - low + 1;
  blocksOrdered_ = ordered;
}

const PeImage::StringBlock* PeImage::AbsentBlock() {
  static const StringBlock absent{0, 0, nullptr};
  return &absent;
}

const PeImage::StringBlock* PeImage::MarkedBlock() {
  static const StringBlock marked{0, 0, nullptr};
  return &marked;
}

const PeImage::StringBlocks* PeImage::SetUpBlocks() const {
  StringBlocks& b = blocks_;
  int state = b.state.load(std::memory_order_acquire);
  // The module's first lookup sets nothing up: most modules see few.
  if (state == StringBlocks::kUnset &&
      b.state.compare_exchange_strong(state, StringBlocks::kOnce, std::memory_order_acq_rel)) {
    return nullptr;
  }
  // One thread sets the table up; lookups meanwhile read the directory.
  if (state != StringBlocks::kOnce ||
      !b.state.compare_exchange_strong(state, StringBlocks::kBuilding, std::memory_order_acq_rel)) {
    return state == StringBlocks::kReady ? &b : nullptr;
  }
  const uint32_t span = blockSpan_;
  if (span > b.capacity) {
    // Zeroed: every slot starts empty.
    std::atomic<const StringBlock*>* slots = new (std::nothrow) std::atomic<const StringBlock*>[span]();
    if (slots == nullptr) {
      b.state.store(StringBlocks::kOnce, std::memory_order_release);
      return nullptr;  // no memory: this lookup reads the directory
    }
    b.slots.reset(slots);
    b.capacity = span;
  }
  b.firstBlock = firstBlock_;
  b.span = span;
  // No more tables than distinct data entries fit in the directory bytes:
  // shared subdirectories cannot multiply what is kept.
  b.budget.store(rsrcSize_ / 8, std::memory_order_relaxed);
  b.state.store(StringBlocks::kReady, std::memory_order_release);
  return &b;
}

void PeImage::ParseStringTable(uint32_t entry, StringTable* table) const {
  table->readable = false;
  table->entries = 0;
  table->data = nullptr;
  ResourceData d;
  bool cut = false;
  // The text is handed out as WCHAR*: its bytes must be 2-aligned.
  if (!StringDataOf(entry, &d, &cut) || (reinterpret_cast<uintptr_t>(d.bytes) & 1) != 0) return;
  table->readable = true;
  table->data = d.bytes;
  const size_t size = d.size;
  size_t pos = 0;
  unsigned k = 0;
  // Entries end where a length word or its text would run past the block:
  // that entry and those after it are lost.
  for (; k < 16 && size - pos >= 2; ++k) {
    const size_t len = d.bytes[pos] | (static_cast<size_t>(d.bytes[pos + 1]) << 8);
    if (2 * len > size - pos - 2) break;
    table->offset[k] = static_cast<uint32_t>(pos);
    pos += 2 + 2 * len;
  }
  table->entries = static_cast<uint8_t>(k);
}

uint32_t PeImage::BlockLanguages(WORD block) const {
  // Compilers write one entry per block in ascending order, so the entry is
  // usually found at its place; otherwise the directory is bisected. Open
  // checked that the directory's entries lie inside the resource bytes.
  const uint32_t guess = static_cast<uint32_t>(block - firstBlock_);
  if (blocksOrdered_ && guess < stringIds_) {
    const uint32_t entry = stringDir_ + 16 + 8 * (stringNamed_ + guess);
    if (Le32(rsrc_ + entry) == block) return Target(entry, true);
  }
  return FindChild(stringDir_, ResourceKey::FromId(block), true);
}

DWORD PeImage::FindStringInBlock(WORD block, UINT id, LANGID uiLanguage, const WCHAR** text,
                                 size_t* length) const {
  const uint32_t langDir = BlockLanguages(block);
  Dir langs;
  if (langDir == 0 || !ReadDir(langDir, &langs)) return ERROR_RESOURCE_NAME_NOT_FOUND;
  // The table FindString picks from ReadBlock's: the first of uiLanguage,
  // neutral, U.S. English, else the first usable one, in directory order.
  const WORD order[] = {uiLanguage, 0, 0x0409};
  uint32_t chosen = 0;
  unsigned rank = 3;
  for (uint32_t j = 0; j < langs.named + langs.ids && rank != 0; ++j) {
    const uint32_t field = Le32(rsrc_ + langs.Entry(j));  // inside: ReadDir checked
    // Target's rule for a data entry: no subdirectory bit, not the root,
    // its 16 bytes inside the directory.
    const uint32_t entry = Le32(rsrc_ + langs.Entry(j) + 4);
    if ((field >> 16) != 0 || (entry & kHighBit) != 0 || entry == 0 || !Has(rsrcSize_, entry, 16)) {
      continue;  // as ReadBlock skips them
    }
    if (chosen == 0) chosen = entry;
    for (unsigned r = 0; r < rank; ++r) {
      if (static_cast<WORD>(field) == order[r]) {
        chosen = entry;
        rank = r;
        break;
      }
    }
  }
  if (chosen == 0) return ERROR_RESOURCE_NAME_NOT_FOUND;
  ResourceData d;
  bool cut = false;
  // The text is handed out as WCHAR*: its bytes must be 2-aligned.
  if (!StringDataOf(chosen, &d, &cut) || (reinterpret_cast<uintptr_t>(d.bytes) & 1) != 0) {
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  }
  // ParseStringTable's rule: entries end where a length word or its text
  // would run past the block. An entry before the one wanted is passed over
  // when its text and the next length word lie inside (pos stays far below
  // SIZE_MAX: at most 16 steps of 131,072 bytes past a 32-bit size).
  const BYTE* p = d.bytes;
  const size_t size = d.size;
  if (size < 2) return ERROR_RESOURCE_DATA_NOT_FOUND;
  size_t pos = 0;
  for (unsigned k = id & 15u; k != 0; --k) {
    pos += 2 + 2 * static_cast<size_t>(Le16(p + pos));
    if (pos + 2 > size) return ERROR_RESOURCE_DATA_NOT_FOUND;
  }
  const size_t units = Le16(p + pos);
  if (2 * units > size - pos - 2) return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (units == 0) return ERROR_RESOURCE_NAME_NOT_FOUND;
  *text = reinterpret_cast<const WCHAR*>(p + pos + 2);
  *length = units;
  return ERROR_SUCCESS;
}

const PeImage::StringBlock* PeImage::ReadBlock(WORD block) const {
  StringBlocks& b = blocks_;
  std::atomic<const StringBlock*>& slot = b.slots[block - firstBlock_];
  Dir langs;
  const uint32_t langDir = BlockLanguages(block);
  StringBlock* record = nullptr;
  if (langDir != 0 && ReadDir(langDir, &langs)) {
    const uint32_t count = langs.named + langs.ids;
    // Take the tables from the budget first; a block that does not fit is
    // walked by each lookup instead.
    size_t left = b.budget.load(std::memory_order_relaxed);
    do {
      if (left < count) return nullptr;
    } while (!b.budget.compare_exchange_weak(left, left - count, std::memory_order_relaxed));
    void* memory = std::malloc(sizeof(StringBlock) + static_cast<size_t>(count) * sizeof(StringTable));
    if (memory == nullptr) return nullptr;
    record = new (memory) StringBlock{0, block, nullptr};
    StringTable* tables = reinterpret_cast<StringTable*>(record + 1);
    for (uint32_t j = 0; j < count; ++j) {
      const uint32_t field = Read32(langs.Entry(j));
      const uint32_t entry = Target(langs.Entry(j), false);
      if ((field >> 16) != 0 || entry == 0) continue;  // a named language or a bad link: skipped
      StringTable* t = new (tables + record->count) StringTable;
      t->language = static_cast<WORD>(field);
      ParseStringTable(entry, t);
      ++record->count;
    }
  }
  const StringBlock* built = record != nullptr ? record : AbsentBlock();
  // The slot is empty or marked by the block's first lookup.
  const StringBlock* expected = slot.load(std::memory_order_acquire);
  for (;;) {
    if (expected != nullptr && expected != MarkedBlock()) {
      std::free(record);  // another thread read the same block first
      return expected;
    }
    if (slot.compare_exchange_weak(expected, built, std::memory_order_acq_rel, std::memory_order_acquire)) break;
  }
  if (record == nullptr) {
    b.anyAbsent.store(true, std::memory_order_relaxed);
    return built;
  }
  record->next = b.read.load(std::memory_order_relaxed);
  while (!b.read.compare_exchange_weak(record->next, record, std::memory_order_release, std::memory_order_relaxed)) {
  }
  return built;
}

DWORD PeImage::FindString(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const {
  if (rsrc_ == nullptr) return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (stringDir_ == 0) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  // Strings live in blocks of 16: block (id / 16) + 1, entry id % 16 (16-bit ids).
  const WORD block = static_cast<WORD>(((id & 0xFFFFu) >> 4) + 1);
  const uint32_t slot = static_cast<uint32_t>(block - firstBlock_);
  if (block < firstBlock_ || slot >= blockSpan_) {
    if (blocksOrdered_) return ERROR_RESOURCE_NAME_NOT_FOUND;
    return FindStringByWalk(id, uiLanguage, text, length);
  }
  // The module's first lookup costs what a plain reader pays: one descent
  // to the block and a walk inside it.
  const StringBlocks* blocks = Blocks();
  if (blocks == nullptr) return FindStringInBlock(block, id, uiLanguage, text, length);
  std::atomic<const StringBlock*>& at = blocks->slots[slot];
  const StringBlock* tables = at.load(std::memory_order_acquire);
  if (tables == nullptr) {
    // The block's first lookup costs what a plain reader pays: the string is
    // read from the directory, and only a second lookup keeps the tables.
    if (at.compare_exchange_strong(tables, MarkedBlock(), std::memory_order_acq_rel, std::memory_order_acquire)) {
      const uint32_t n = blocks_.marks.fetch_add(1, std::memory_order_relaxed);
      if (n < StringBlocks::kMarksKept) {
        blocks_.marked[n] = static_cast<uint16_t>(slot);
      } else {
        blocks_.anyAbsent.store(true, std::memory_order_relaxed);
      }
      return FindStringInBlock(block, id, uiLanguage, text, length);
    }
  }
  if (tables->count == 0) {  // absent, or marked and read now
    if (tables != MarkedBlock()) return ERROR_RESOURCE_NAME_NOT_FOUND;
    tables = ReadBlock(block);
    if (tables == nullptr) return FindStringByWalk(id, uiLanguage, text, length);
    if (tables->count == 0) return ERROR_RESOURCE_NAME_NOT_FOUND;
  }
  const StringTable* first = tables->Tables();
  const StringTable* last = first + tables->count;
  const StringTable* chosen = first;  // the first present, unless a preferred one is
  const WORD order[] = {uiLanguage, 0, 0x0409};
  for (WORD lang : order) {
    const StringTable* t = first;
    while (t != last && t->language != lang) ++t;
    if (t != last) {
      chosen = t;
      break;
    }
  }
  if (!chosen->readable) return ERROR_RESOURCE_DATA_NOT_FOUND;
  // A lost entry is damaged: a length before it or its own runs past the block.
  if ((id & 15u) >= chosen->entries) return ERROR_RESOURCE_DATA_NOT_FOUND;
  const BYTE* p = chosen->data + chosen->offset[id & 15u];
  const size_t len = p[0] | (static_cast<size_t>(p[1]) << 8);
  if (len == 0) return ERROR_RESOURCE_NAME_NOT_FOUND;
  *text = reinterpret_cast<const WCHAR*>(p + 2);
  *length = len;
  return ERROR_SUCCESS;
}

bool PeImage::RvaToOffset(DWORD rva, DWORD length, size_t* offset) const {
  for (unsigned i = 0; i < sectionCount_; ++i) {
    const Section& sec = sections_[i];
    if (rva < sec.va) continue;
    const DWORD into = rva - sec.va;
    if (into >= sec.rawSize || length > sec.rawSize - into) continue;
    *offset = static_cast<size_t>(sec.rawOffset) + into;
    return true;
  }
  return false;
}

uint32_t PeImage::Read32(uint32_t offset) const {
  return Has(rsrcSize_, offset, 4) ? Le32(rsrc_ + offset) : 0;
}

WORD PeImage::Read16(uint32_t offset) const {
  return Has(rsrcSize_, offset, 2) ? Le16(rsrc_ + offset) : 0;
}

bool PeImage::ReadDir(uint32_t offset, Dir* dir) const {
  if (!Has(rsrcSize_, offset, 16)) return false;
  dir->offset = offset;
  dir->named = Le16(rsrc_ + offset + 12);
  dir->ids = Le16(rsrc_ + offset + 14);
  // Both counts are 16 bits, so this cannot overflow; entries past the end
  // reject the whole directory.
  return Has(rsrcSize_, offset + 16, 8 * (static_cast<size_t>(dir->named) + dir->ids));
}

uint32_t PeImage::Target(uint32_t e, bool wantDir) const {
  const uint32_t field = Read32(e + 4);
  if (((field & kHighBit) != 0) != wantDir) return 0;
  const uint32_t target = field & ~kHighBit;
  // 0 is the root: never a valid child, which also stops a link back to it.
  if (target == 0 || !Has(rsrcSize_, target, 16)) return 0;
  return target;
}

bool PeImage::NameEquals(uint32_t nameField, const ResourceKey& key) const {
  if ((nameField & kHighBit) == 0) return false;
  const uint32_t at = nameField & ~kHighBit;
  if (!Has(rsrcSize_, at, 2)) return false;
  const size_t len = Read16(at);
  if (len != key.length || !Has(rsrcSize_, at + 2, 2 * len)) return false;
  for (size_t i = 0; i < len; ++i) {
    const WCHAR c = static_cast<WCHAR>(Read16(static_cast<uint32_t>(at + 2 + 2 * i)));
    if (c != key.name[i] && Upper(c) != Upper(key.name[i])) return false;
  }
  return true;
}

uint32_t PeImage::FindChild(uint32_t offset, const ResourceKey& key, bool wantDir) const {
  Dir dir;
  if (!ReadDir(offset, &dir)) return 0;
  if (key.name != nullptr) {
    for (uint32_t i = 0; i < dir.named; ++i) {
      if (NameEquals(Read32(dir.Entry(i)), key)) return Target(dir.Entry(i), wantDir);
    }
    return 0;
  }
  // Id entries follow the named ones in ascending order; ReadDir checked
  // that they all lie inside the directory bytes.
  uint32_t lo = dir.named;
  uint32_t hi = dir.named + dir.ids;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const uint32_t id = Le32(rsrc_ + dir.Entry(mid));
    if (id == key.id) return Target(dir.Entry(mid), wantDir);
    if (id < key.id) lo = mid + 1;
    else hi = mid;
  }
  return 0;
}

uint32_t PeImage::FindNameDir(const ResourceKey& type, const ResourceKey& name, DWORD* error) const {
  if (rsrc_ == nullptr) {
    *error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return 0;
  }
  const uint32_t typeDir = FindChild(0, type, true);
  if (typeDir == 0) {
    *error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return 0;
  }
  const uint32_t langDir = FindChild(typeDir, name, true);
  if (langDir == 0) {
    *error = ERROR_RESOURCE_NAME_NOT_FOUND;
    return 0;
  }
  return langDir;
}

uint32_t PeImage::FirstDataEntry(uint32_t langDir) const {
  Dir dir;
  if (!ReadDir(langDir, &dir)) return 0;
  for (uint32_t i = 0; i < dir.named + dir.ids; ++i) {
    const uint32_t entry = Target(dir.Entry(i), false);
    if (entry != 0) return entry;
  }
  return 0;
}

uint32_t PeImage::FindDefault(const ResourceKey& type, const ResourceKey& name, LANGID uiLanguage,
                              DWORD* error) const {
  const uint32_t langDir = FindNameDir(type, name, error);
  if (langDir == 0) return 0;
  const WORD order[] = {uiLanguage, 0, 0x0409};
  for (WORD lang : order) {
    const uint32_t entry = FindChild(langDir, ResourceKey::FromId(lang), false);
    if (entry != 0) return entry;
  }
  const uint32_t entry = FirstDataEntry(langDir);
  if (entry == 0) *error = ERROR_RESOURCE_LANG_NOT_FOUND;
  return entry;
}

uint32_t PeImage::FindLanguage(const ResourceKey& type, const ResourceKey& name, LANGID uiLanguage,
                               LANGID language, DWORD* error) const {
  if (language == 0) return FindDefault(type, name, uiLanguage, error);
  const uint32_t langDir = FindNameDir(type, name, error);
  if (langDir == 0) return 0;
  uint32_t entry = FindChild(langDir, ResourceKey::FromId(language), false);
  if (entry == 0 && SUBLANGID(language) != 0) {
    entry = FindChild(langDir, ResourceKey::FromId(PRIMARYLANGID(language)), false);
  }
  if (entry == 0) *error = ERROR_RESOURCE_LANG_NOT_FOUND;
  return entry;
}

bool PeImage::DataOf(uint32_t entryOffset, ResourceData* out) const {
  if (entryOffset == 0 || !Has(rsrcSize_, entryOffset, 16)) return false;
  const DWORD rva = Read32(entryOffset);
  const DWORD size = Read32(entryOffset + 4);
  size_t offset = 0;
  if (!RvaToOffset(rva, size, &offset)) return false;
  out->bytes = data_ + offset;
  out->size = size;
  return true;
}

bool PeImage::StringDataOf(uint32_t entryOffset, ResourceData* out, bool* cut) const {
  *cut = false;
  if (entryOffset == 0 || !Has(rsrcSize_, entryOffset, 16)) return false;
  const DWORD rva = Le32(rsrc_ + entryOffset);  // inside: checked above
  const DWORD size = Le32(rsrc_ + entryOffset + 4);
  // Strings lie in the resource section, which is tried first when no
  // section before it in the table covers any of its addresses (the first
  // section that holds the address is the one read).
  const Section* sec = nullptr;
  if (rsrcSectionFirst_ < sectionCount_) {
    const Section& first = sections_[rsrcSectionFirst_];
    if (rva >= first.va && rva - first.va < first.rawSize) sec = &first;
  }
  for (unsigned i = 0; sec == nullptr && i < sectionCount_; ++i) {
    if (rva >= sections_[i].va && rva - sections_[i].va < sections_[i].rawSize) sec = &sections_[i];
  }
  if (sec == nullptr) return false;
  const DWORD into = rva - sec->va;
  // rawSize was cut to the file at Open: what lies past it is not there.
  const DWORD inside = sec->rawSize - into;
  *cut = size > inside;
  out->bytes = data_ + sec->rawOffset + into;
  out->size = *cut ? inside : size;
  return true;
}

bool PeImage::EntryOffsetOf(const void* address, uint32_t* entryOffset) const {
  if (rsrc_ == nullptr) return false;
  const uintptr_t a = reinterpret_cast<uintptr_t>(address);
  const uintptr_t base = reinterpret_cast<uintptr_t>(rsrc_);
  if (a <= base || a - base > rsrcSize_) return false;
  *entryOffset = static_cast<uint32_t>(a - base);
  return Has(rsrcSize_, *entryOffset, 16);
}

// The same choice as FindString, straight from the directory (used when the
// index could not be built).
DWORD PeImage::FindStringByWalk(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const {
  // Strings live in blocks of 16: block (id / 16) + 1, entry id % 16 (16-bit ids).
  const WORD block = static_cast<WORD>(((id & 0xFFFFu) >> 4) + 1);
  DWORD error = ERROR_SUCCESS;
  const uint32_t entry = FindDefault(ResourceKey::FromId(kRtString), ResourceKey::FromId(block), uiLanguage, &error);
  ResourceData data;
  bool cut = false;
  if (entry == 0) return error;
  // The text is handed out as WCHAR*: its bytes must be 2-aligned.
  if (!StringDataOf(entry, &data, &cut) || (reinterpret_cast<uintptr_t>(data.bytes) & 1) != 0) {
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  }
  const BYTE* p = data.bytes;
  size_t left = data.size;
  for (unsigned k = id & 15u;; --k) {
    if (left < 2) return ERROR_RESOURCE_DATA_NOT_FOUND;  // the block ends before its 16 entries
    const size_t len = static_cast<size_t>(p[0] | (p[1] << 8));
    if (len > (left - 2) / 2) return ERROR_RESOURCE_DATA_NOT_FOUND;
    if (k == 0) {
      if (len == 0) return ERROR_RESOURCE_NAME_NOT_FOUND;
      *text = reinterpret_cast<const WCHAR*>(p + 2);
      *length = len;
      return ERROR_SUCCESS;
    }
    p += 2 + 2 * len;
    left -= 2 + 2 * len;
  }
}

namespace {

// Collects damage up to a limit; Add returns false once it is reached.
class DamageList {
 public:
  DamageList(std::vector<ResourceDamage>* out, size_t limit) : out_(out), limit_(limit) {}
  bool Add(ResourceDamageKind kind, uint32_t type, uint32_t name, uint32_t language, unsigned detail = 0) {
    found_ = true;
    if (out_->size() >= limit_) return false;
    ResourceDamage d;
    d.kind = kind;
    d.type = type;
    d.name = name;
    d.language = language;
    d.detail = detail;
    out_->push_back(d);
    return out_->size() < limit_;
  }
  bool found() const { return found_; }

 private:
  std::vector<ResourceDamage>* out_;
  size_t limit_;
  bool found_ = false;
};

// The label of a directory entry's name field: its id, or kNamed.
inline uint32_t LabelOf(uint32_t nameField) {
  return (nameField & 0x80000000u) != 0 ? ResourceDamage::kNamed : (nameField & 0xFFFFu);
}

}  // namespace

bool PeImage::CheckResources(std::vector<ResourceDamage>* damage, size_t limit) const {
  DamageList list(damage, limit);
  const uint32_t kNone = ResourceDamage::kNone;
  for (unsigned i = 0; i < sectionCount_ && i < 64; ++i) {
    if ((cutSections_ >> i) & 1u) {
      if (!list.Add(ResourceDamageKind::kSectionCut, kNone, kNone, kNone, i)) return false;
    }
  }
  if (rsrc_ == nullptr) return !list.found();
  // Each directory is read once (the root is "seen" from the start), so the
  // walk is linear in the directory bytes whatever the links say.
  std::unordered_set<uint32_t> seen{0};
  // Follows entry e of a directory to a subdirectory; 0 (after telling why)
  // when it is damaged or was already read.
  auto subdirectory = [&](uint32_t e, const uint32_t* ancestors, size_t ancestorCount, uint32_t type,
                          uint32_t name, bool* stop) -> uint32_t {
    const uint32_t field = Read32(e + 4);
    const uint32_t target = field & ~kHighBit;
    ResourceDamageKind kind;
    if ((field & kHighBit) == 0) {
      kind = ResourceDamageKind::kWrongEntryKind;
    } else if (std::find(ancestors, ancestors + ancestorCount, target) != ancestors + ancestorCount) {
      kind = ResourceDamageKind::kDirectoryLoop;
    } else if (Dir d; !ReadDir(target, &d)) {
      kind = ResourceDamageKind::kDirectoryOutside;
    } else if (!seen.insert(target).second) {
      kind = ResourceDamageKind::kDirectoryShared;
    } else {
      return target;
    }
    *stop = !list.Add(kind, type, name, kNone);
    return 0;
  };
  auto ascending = [&](const Dir& dir, uint32_t type, uint32_t name) {
    for (uint32_t i = dir.named + 1; i < dir.named + dir.ids; ++i) {
      if (Read32(dir.Entry(i)) <= Read32(dir.Entry(i - 1))) {
        return list.Add(ResourceDamageKind::kEntriesUnsorted, type, name, kNone);
      }
    }
    return true;
  };
  Dir root;
  if (!ReadDir(0, &root) || !ascending(root, kNone, kNone)) return false;
  bool stop = false;
  for (uint32_t i = 0; i < root.named + root.ids && !stop; ++i) {
    const uint32_t type = LabelOf(Read32(root.Entry(i)));
    const uint32_t up1[] = {0};
    const uint32_t typeDir = subdirectory(root.Entry(i), up1, 1, type, kNone, &stop);
    Dir names;
    if (typeDir == 0 || !ReadDir(typeDir, &names)) continue;
    if (!ascending(names, type, kNone)) return false;
    for (uint32_t j = 0; j < names.named + names.ids && !stop; ++j) {
      const uint32_t name = LabelOf(Read32(names.Entry(j)));
      const uint32_t up2[] = {0, typeDir};
      const uint32_t langDir = subdirectory(names.Entry(j), up2, 2, type, name, &stop);
      Dir langs;
      if (langDir == 0 || !ReadDir(langDir, &langs)) continue;
      if (!ascending(langs, type, name)) return false;
      const bool strings = type == kRtString && name != ResourceDamage::kNamed && name >= 1 && name <= kMaxStringBlock;
      for (uint32_t k = 0; k < langs.named + langs.ids && !stop; ++k) {
        const uint32_t language = LabelOf(Read32(langs.Entry(k)));
        const uint32_t field = Read32(langs.Entry(k) + 4);
        auto add = [&](ResourceDamageKind kind, unsigned detail = 0) {
          stop = !list.Add(kind, type, name, language, detail);
        };
        if ((field & kHighBit) != 0) {
          add(ResourceDamageKind::kWrongEntryKind);
          continue;
        }
        if (field == 0 || !Has(rsrcSize_, field, 16)) {
          add(ResourceDamageKind::kDataEntryOutside);
          continue;
        }
        if (!strings) {
          ResourceData d;
          if (!DataOf(field, &d)) add(ResourceDamageKind::kDataOutside);
          continue;
        }
        ResourceData d;
        bool cut = false;
        if (!StringDataOf(field, &d, &cut)) {
          add(ResourceDamageKind::kDataOutside);
          continue;
        }
        if ((reinterpret_cast<uintptr_t>(d.bytes) & 1) != 0) {
          add(ResourceDamageKind::kDataMisaligned);
          continue;
        }
        StringTable t;
        ParseStringTable(field, &t);
        if (t.entries < 16) add(ResourceDamageKind::kStringPastBlock, t.entries);
        else if (cut) add(ResourceDamageKind::kDataOutside);
      }
    }
  }
  return !list.found();
}

}  // namespace pavo
