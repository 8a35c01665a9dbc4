#include "platform/win/pe_image.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <new>

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
inline UChar32 Upper(WCHAR c) { return u_toupper(static_cast<UChar32>(c)); }

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

PeImage::~PeImage() {
  const StringIndex* index = strings_.load(std::memory_order_acquire);
  if (index != nullptr && index != UnusableIndex()) delete index;
}

DWORD PeImage::Open(const BYTE* data, size_t size) {
  data_ = data;
  size_ = size;
  rsrc_ = nullptr;
  rsrcSize_ = 0;
  sectionCount_ = 0;
  is64_ = false;
  // Open is not called concurrently with lookups on the same object.
  const StringIndex* old = strings_.exchange(nullptr, std::memory_order_acq_rel);
  if (old != nullptr && old != UnusableIndex()) delete old;
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
    // Raw data past the end of the file is cut, as a data-file mapping sees it.
    if (sec.rawOffset >= size) sec.rawSize = 0;
    else if (sec.rawSize > size - sec.rawOffset) sec.rawSize = static_cast<DWORD>(size - sec.rawOffset);
    sections_[sectionCount_++] = sec;
  }

  if (rsrcRva == 0 || rsrcDirSize == 0) return ERROR_SUCCESS;  // a module without resources
  for (unsigned i = 0; i < sectionCount_; ++i) {
    const Section& sec = sections_[i];
    if (rsrcRva < sec.va || rsrcRva - sec.va >= sec.rawSize) continue;
    const DWORD into = rsrcRva - sec.va;
    rsrc_ = data + sec.rawOffset + into;
    rsrcSize_ = sec.rawSize - into;
    break;
  }
  Dir root;
  if (rsrc_ == nullptr || !ReadDir(0, &root)) return ERROR_BAD_EXE_FORMAT;
  return ERROR_SUCCESS;
}

const PeImage::StringIndex& PeImage::BuildStrings() const {
  const StringIndex* index = nullptr;
  StringIndex* built = new (std::nothrow) StringIndex;
  if (built == nullptr) {
    index = UnusableIndex();
  } else {
    BuildStringIndex(built);
    index = built;
  }
  const StringIndex* expected = nullptr;
  if (strings_.compare_exchange_strong(expected, index, std::memory_order_acq_rel, std::memory_order_acquire)) {
    return *index;
  }
  // Another thread published first; its index is the same.
  if (index != UnusableIndex()) delete index;
  return *expected;
}

void PeImage::BuildStringIndex(StringIndex* index) const {
  std::vector<StringTable>& strings = index->tables;
  index->usable = false;
  Dir names;
  const uint32_t nameDir = rsrc_ != nullptr ? FindChild(0, ResourceKey::FromId(kRtString), true) : 0;
  if (nameDir == 0 || !ReadDir(nameDir, &names)) {
    index->usable = true;  // no strings at all
    return;
  }
  // Shared subdirectories could multiply the records: more than the
  // directory bytes can hold distinct entries is hostile, and so is more than
  // 16 languages of every block; lookups then walk the directory instead.
  const size_t limit = std::min<size_t>(rsrcSize_ / 8, size_t{16} << 16);
  try {
    for (uint32_t i = names.named; i < names.named + names.ids; ++i) {
      const WORD block = static_cast<WORD>(Read32(names.Entry(i)));
      Dir langs;
      if ((Read32(names.Entry(i)) >> 16) != 0 || !ReadDir(Target(names.Entry(i), true), &langs)) continue;
      for (uint32_t j = 0; j < langs.named + langs.ids; ++j) {
        const uint32_t field = Read32(langs.Entry(j));
        const uint32_t entry = Target(langs.Entry(j), false);
        if ((field >> 16) != 0 || entry == 0) continue;
        if (strings.size() >= limit) {
          strings.clear();
          return;
        }
        StringTable t{block, static_cast<WORD>(field), false, nullptr, {}};
        ResourceData d;
        if (DataOf(entry, &d) && (reinterpret_cast<uintptr_t>(d.bytes) & 1) == 0) {
          t.readable = true;
          t.data = d.bytes;
          size_t pos = 0;
          for (unsigned k = 0; k < 16; ++k) {
            t.offset[k] = kNoEntry;
            if (d.size - pos < 2) continue;
            const size_t len = d.bytes[pos] | (static_cast<size_t>(d.bytes[pos + 1]) << 8);
            if (len > (d.size - pos - 2) / 2) {
              pos = d.size;  // this entry and those after it are cut off
              continue;
            }
            t.offset[k] = static_cast<uint32_t>(pos);
            pos += 2 + 2 * len;
          }
        }
        strings.push_back(t);
      }
    }
    std::stable_sort(strings.begin(), strings.end(),
                     [](const StringTable& a, const StringTable& b) { return a.block < b.block; });
    if (!strings.empty()) {
      index->firstBlock = strings.front().block;
      const size_t span = static_cast<size_t>(strings.back().block) - index->firstBlock + 1;
      if (span <= 4 * strings.size() + 64) {
        index->blockStart.assign(span, kNoEntry);
        for (size_t i = strings.size(); i-- > 0;) {
          index->blockStart[strings[i].block - index->firstBlock] = static_cast<uint32_t>(i);
        }
      }
    }
    index->usable = true;
  } catch (const std::bad_alloc&) {
    strings.clear();  // lookups walk the directory
    index->blockStart.clear();
  }
}

DWORD PeImage::FindString(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const {
  if (rsrc_ == nullptr) return ERROR_RESOURCE_DATA_NOT_FOUND;
  const StringIndex& index = Strings();
  if (!index.usable) return FindStringByWalk(id, uiLanguage, text, length);
  const WORD block = static_cast<WORD>(((id & 0xFFFFu) >> 4) + 1);
  const StringTable* begin = index.tables.data();
  const StringTable* end = begin + index.tables.size();
  const StringTable* first = end;
  if (!index.blockStart.empty()) {
    const size_t slot = static_cast<size_t>(block) - index.firstBlock;
    if (block >= index.firstBlock && slot < index.blockStart.size() && index.blockStart[slot] != kNoEntry) {
      first = begin + index.blockStart[slot];
    }
  } else {
    first = std::lower_bound(begin, end, block, [](const StringTable& t, WORD b) { return t.block < b; });
  }
  if (first == end || first->block != block) {
    return index.tables.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
  }
  const StringTable* last = first;
  while (last != end && last->block == block) ++last;
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
  const uint32_t at = chosen->offset[id & 15u];
  if (at == kNoEntry) return ERROR_RESOURCE_NAME_NOT_FOUND;
  const BYTE* p = chosen->data + at;
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
  dir->named = Read16(offset + 12);
  dir->ids = Read16(offset + 14);
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
  // Id entries follow the named ones in ascending order.
  uint32_t lo = dir.named;
  uint32_t hi = dir.named + dir.ids;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const uint32_t id = Read32(dir.Entry(mid));
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

bool PeImage::EntryOffsetOf(const void* address, uint32_t* entryOffset) const {
  if (rsrc_ == nullptr) return false;
  const uintptr_t a = reinterpret_cast<uintptr_t>(address);
  const uintptr_t base = reinterpret_cast<uintptr_t>(rsrc_);
  if (a <= base || a - base > rsrcSize_) return false;
  *entryOffset = static_cast<uint32_t>(a - base);
  return Has(rsrcSize_, *entryOffset, 16);
}

const PeImage::StringIndex* PeImage::UnusableIndex() {
  static const StringIndex unusable;
  return &unusable;
}

// The same choice as FindString, straight from the directory (used when the
// index could not be built).
DWORD PeImage::FindStringByWalk(UINT id, LANGID uiLanguage, const WCHAR** text, size_t* length) const {
  // Strings live in blocks of 16: block (id / 16) + 1, entry id % 16 (16-bit ids).
  const WORD block = static_cast<WORD>(((id & 0xFFFFu) >> 4) + 1);
  DWORD error = ERROR_SUCCESS;
  const uint32_t entry = FindDefault(ResourceKey::FromId(kRtString), ResourceKey::FromId(block), uiLanguage, &error);
  ResourceData data;
  if (entry == 0) return error;
  // The text is handed out as WCHAR*: its bytes must be 2-aligned.
  if (!DataOf(entry, &data) || (reinterpret_cast<uintptr_t>(data.bytes) & 1) != 0) {
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  }
  const BYTE* p = data.bytes;
  size_t left = data.size;
  for (unsigned k = id & 15u;; --k) {
    if (left < 2) return ERROR_RESOURCE_NAME_NOT_FOUND;
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

}  // namespace pavo
