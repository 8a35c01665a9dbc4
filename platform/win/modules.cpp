#include "platform/win/modules.h"
#include "platform/win/module_table.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <new>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"
#include "platform/win/utf8_text.h"

namespace pavo {
namespace {

struct LoadedModule {
  HMODULE handle = nullptr;
  PeImage image;
  void* mapping = nullptr;  // null for an image compiled into a binary
  size_t mappingSize = 0;
  dev_t device = 0;
  ino_t inode = 0;
  bool shared = false;  // a flags-0 load, found again by file identity
  unsigned references = 0;
};

// Handle -> module, open addressing with linear probing. Handles are
// mapping addresses (page-aligned, low bits marking data-file loads) or the
// address of an image compiled into a binary. Grows, never shrinks: a load
// after a release of the same count allocates nothing.
class HandleIndex {
 public:
  LoadedModule* Find(HMODULE h) const {
    if (count_ == 0 || h == nullptr) return nullptr;
    for (size_t i = Home(h);; i = (i + 1) & mask_) {
      LoadedModule* m = slots_[i];
      if (m == nullptr) return nullptr;
      if (m->handle == h) return m;
    }
  }
  // Throws std::bad_alloc when growing fails; the index is then unchanged.
  void Insert(LoadedModule* m) {
    assert(m != nullptr && Find(m->handle) == nullptr);  // one record per handle
    if (2 * (count_ + 1) > slots_.size()) Grow();
    // At most half the slots are taken, so the probe below meets a free one.
    assert(2 * (count_ + 1) <= slots_.size());
    size_t i = Home(m->handle);
    while (slots_[i] != nullptr) i = (i + 1) & mask_;
    slots_[i] = m;
    ++count_;
  }
  void Erase(HMODULE h) {
    if (count_ == 0) return;
    size_t i = Home(h);
    while (slots_[i] != nullptr && slots_[i]->handle != h) i = (i + 1) & mask_;
    if (slots_[i] == nullptr) return;
    // Backward shift: move later members of the probe run into the hole so
    // that every member stays reachable from its home slot.
    for (size_t j = i;;) {
      slots_[i] = nullptr;
      for (;;) {
        j = (j + 1) & mask_;
        if (slots_[j] == nullptr) {
          --count_;
          return;
        }
        const size_t home = Home(slots_[j]->handle);
        // slots_[j] may fill the hole unless its home lies cyclically in (i, j].
        if (((j - home) & mask_) >= ((j - i) & mask_)) break;
      }
      slots_[i] = slots_[j];
      i = j;
    }
  }

 private:
  size_t Home(HMODULE h) const {
    uint64_t v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h));
    v = (v ^ (v >> 29)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(v >> 32) & mask_;
  }
  void Grow() {
    std::vector<LoadedModule*> old(slots_.empty() ? 64 : 2 * slots_.size(), nullptr);
    old.swap(slots_);
    assert((slots_.size() & (slots_.size() - 1)) == 0);  // Home() masks, so a power of two
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (LoadedModule* m : old) {
      if (m == nullptr) continue;
      size_t i = Home(m->handle);
      while (slots_[i] != nullptr) i = (i + 1) & mask_;
      slots_[i] = m;
      ++count_;
    }
  }

  std::vector<LoadedModule*> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

// The process-wide module table. It is never destroyed, so that handles stay
// usable from other objects' destructors at exit.
struct ModuleTable {
  std::mutex lock;
  HandleIndex byHandle;
  std::vector<LoadedModule*> shared;  // flags-0 loads, found again by file identity
  // Size of `shared`, read without the lock: a load finds nothing to share
  // while it is 0 (a flags-0 load of the same file racing with it may be
  // published before or after it, as if it had come first or second).
  std::atomic<size_t> sharedCount{0};
  // Records of released modules kept for the next loads (their image holds
  // no string index), so that a language switch does not allocate.
  std::vector<LoadedModule*> spare;
  static constexpr size_t kMaxSpare = 16;

  LoadedModule* Find(HMODULE h) const { return byHandle.Find(h); }
  LoadedModule* FindShared(dev_t device, ino_t inode) const {
    for (LoadedModule* m : shared) {
      if (m->device == device && m->inode == inode) return m;
    }
    return nullptr;
  }
};

ModuleTable& Table() {
  static ModuleTable* table = new ModuleTable;
  return *table;
}

// Each thread remembers the last handle it loaded or looked up, valid while
// no module has been released since (a released handle's address may be
// reused). A load fills it, so that the first lookup after it takes no lock.
std::atomic<uint64_t> g_releases{0};
struct LookupCache {
  HMODULE handle = nullptr;
  const PeImage* image = nullptr;
  uint64_t releases = 0;
};
thread_local LookupCache t_lookup;

// Each thread keeps the record of the module it released last for its next
// load, which then takes no lock for it (the table's spares are shared). The
// record and the flag are plain thread-locals, usable from destructors that
// run after the owner's (a FreeLibrary at exit then goes to the table).
thread_local LoadedModule* t_spareRecord = nullptr;
thread_local bool t_spareClosed = false;
struct SpareRecordOwner {
  // Keeps m; the first call makes the thread free it when it ends.
  void Keep(LoadedModule* m) { t_spareRecord = m; }
  ~SpareRecordOwner() {
    delete t_spareRecord;
    t_spareRecord = nullptr;
    t_spareClosed = true;
  }
};
thread_local SpareRecordOwner t_spareOwner;

// UTF-16 path to the UTF-8 bytes Linux takes; '\\' becomes '/'. False for a
// path with a lone surrogate. `out` is reused from load to load.
bool PathToUtf8(LPCWSTR path, std::string* out) {
  size_t length = 0;
  unsigned all = 0;  // OR of every unit: below 0x80 means plain ASCII
  // Four units a step (paths run to dozens of units); no unit past the
  // terminator is read.
  for (;; length += 4) {
    const unsigned a = path[length];
    if (a == 0) break;
    const unsigned b = path[length + 1];
    if (b == 0) {
      all |= a;
      length += 1;
      break;
    }
    const unsigned c = path[length + 2];
    if (c == 0) {
      all |= a | b;
      length += 2;
      break;
    }
    const unsigned d = path[length + 3];
    all |= a | b | c | d;
    if (d == 0) {
      length += 3;
      break;
    }
  }
  if (all < 0x80) {
    out->resize(length);
    char* bytes = &(*out)[0];
    for (size_t i = 0; i < length; ++i) bytes[i] = path[i] == u'\\' ? '/' : static_cast<char>(path[i]);
    return true;
  }
  out->clear();
  if (!AppendUtf8(path, length, true, out)) return false;
  // Only ASCII bytes can be '\\' in UTF-8: lead and continuation bytes are >= 0x80.
  for (char& c : *out) {
    if (c == '\\') c = '/';
  }
  return true;
}

// LoadLibrary appends ".dll" to a file name without an extension; a trailing
// dot means "no extension" and is dropped.
void ApplyDefaultExtension(std::string* path) {
  if (path->empty() || path->back() == '/') return;
  if (path->back() == '.') {
    path->pop_back();
    return;
  }
  // The last name has an extension when a dot comes before any slash, seen
  // from the end (usually within a few bytes).
  for (size_t i = path->size(); i-- > 0;) {
    const char c = (*path)[i];
    if (c == '.') return;
    if (c == '/') break;
  }
  path->append(".dll");
}

DWORD OpenErrorCode(int err, bool dataFile) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return dataFile ? ERROR_FILE_NOT_FOUND : ERROR_MOD_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_BAD_EXE_FORMAT;
  }
}

constexpr DWORD kDataFileFlags =
    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE;
// Every flag Windows documents for LoadLibraryExW: DONT_RESOLVE_DLL_REFERENCES
// (1) to LOAD_LIBRARY_SEARCH_SYSTEM32_NO_FORWARDER (0x4000), apart from
// 0x4, which it does not define.
constexpr DWORD kKnownLoadFlags = 0x7FFBu;

// Flags 0 and LOAD_LIBRARY_AS_IMAGE_RESOURCE map the file as an image; the
// data-file flags alone map its bytes as they are.
bool LoadsAsImage(DWORD flags) {
  return (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) != 0 ||
         (flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE)) == 0;
}

// A file descriptor, closed when the scope is left (or earlier by Close).
class FileDescriptor {
 public:
  FileDescriptor() = default;
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  void Reset(int fd) {
    Close();
    m_fd = fd;
  }
  int get() const { return m_fd; }
  void Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

// A read-only mapping of a whole file, unmapped when the scope is left
// unless a module record took it over.
class FileMapping {
 public:
  FileMapping() = default;
  ~FileMapping() {
    if (m_address != nullptr) munmap(m_address, m_size);
  }
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  // Maps size bytes of fd; false when mmap fails.
  bool Map(int fd, size_t size) {
    assert(m_address == nullptr);
    void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) return false;
    m_address = address;
    m_size = size;
    return true;
  }
  void* address() const { return m_address; }
  size_t size() const { return m_size; }
  // Hands the mapping to its new owner, which unmaps it.
  void* Release() {
    void* address = m_address;
    m_address = nullptr;
    return address;
  }

 private:
  void* m_address = nullptr;
  size_t m_size = 0;
};

// The UTF-8 path of fileName with Windows' default extension, or the error
// LoadLibraryExW reports.
DWORD ModulePath(LPCWSTR fileName, bool dataFile, std::string* path) {
  if (!PathToUtf8(fileName, path)) return ERROR_INVALID_NAME;
  if (path->empty()) return dataFile ? ERROR_FILE_NOT_FOUND : ERROR_MOD_NOT_FOUND;
  ApplyDefaultExtension(path);
  return ERROR_SUCCESS;
}

// Opens path for reading into fd and gets its status; only a regular file
// can be a module.
DWORD OpenModuleFile(const std::string& path, bool dataFile, FileDescriptor* fd, struct stat* st) {
  fd->Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd->get() < 0) return OpenErrorCode(errno, dataFile);
  if (fstat(fd->get(), st) != 0) return ERROR_BAD_EXE_FORMAT;
  if (!S_ISREG(st->st_mode)) return S_ISDIR(st->st_mode) ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT;
  return ERROR_SUCCESS;
}

// The flags-0 module of the file (device, inode), with one more reference;
// null when that file is not loaded. The caller holds t.lock.
HMODULE ReferenceShared(ModuleTable& t, dev_t device, ino_t inode) {
  LoadedModule* m = t.FindShared(device, inode);
  if (m == nullptr) return nullptr;
  assert(m->references > 0);
  ++m->references;
  return m->handle;
}

// Maps the whole file; the descriptor is closed once the mapping holds it.
DWORD MapModuleFile(FileDescriptor* fd, const struct stat& st, bool asImage, FileMapping* mapping) {
  // An empty file is no image; as data it cannot be mapped (Windows'
  // CreateFileMapping fails with ERROR_FILE_INVALID, so do data-file loads).
  if (st.st_size == 0) return asImage ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_INVALID;
  if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > SIZE_MAX / 2) {
    return ERROR_BAD_EXE_FORMAT;
  }
  const bool mapped = mapping->Map(fd->get(), static_cast<size_t>(st.st_size));
  fd->Close();
  return mapped ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

// A record for a new module: a released one kept for reuse, else a fresh
// one; null when memory is short.
std::unique_ptr<LoadedModule> TakeModuleRecord(ModuleTable& t) {
  std::unique_ptr<LoadedModule> m(t_spareRecord);
  t_spareRecord = nullptr;
  if (!m) {
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.spare.empty()) {
      m.reset(t.spare.back());
      t.spare.pop_back();
    }
  }
  if (!m) m.reset(new (std::nothrow) LoadedModule);
  return m;
}

// Fills m for the mapped file, taking the mapping over.
void FillModuleRecord(LoadedModule* m, FileMapping* mapping, const struct stat& st, DWORD flags) {
  const bool dataFile = (flags & kDataFileFlags) != 0;
  m->mappingSize = mapping->size();
  m->mapping = mapping->Release();
  m->device = st.st_dev;
  m->inode = st.st_ino;
  m->shared = !dataFile;
  m->references = 1;
  // As on Windows, a data-file handle is the mapping's address with a low bit
  // set (1 for a data file, 2 for an image-resource load), so it never equals
  // a flags-0 handle of the same file.
  uintptr_t value = reinterpret_cast<uintptr_t>(m->mapping);
  if (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) value |= 2;
  else if (dataFile) value |= 1;
  m->handle = reinterpret_cast<HMODULE>(value);
}

// Enters m into the table and returns its handle; when another thread
// loaded the same file meanwhile, that module's handle instead (m is then
// unmapped and dropped). Null, with the last error set, when memory is short.
HMODULE PublishModule(ModuleTable& t, std::unique_ptr<LoadedModule> m) {
  // Whatever way this ends short of success, m's mapping goes with it.
  struct UnmapUnlessPublished {
    LoadedModule* record;
    ~UnmapUnlessPublished() {
      if (record != nullptr) munmap(record->mapping, record->mappingSize);
    }
  } unmap{m.get()};
  std::lock_guard<std::mutex> guard(t.lock);
  if (m->shared) {
    if (HMODULE other = ReferenceShared(t, m->device, m->inode)) return other;
  }
  try {
    if (m->shared) t.shared.push_back(m.get());
    t.byHandle.Insert(m.get());
  } catch (const std::bad_alloc&) {
    if (m->shared && !t.shared.empty() && t.shared.back() == m.get()) t.shared.pop_back();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  t.sharedCount.store(t.shared.size(), std::memory_order_release);
  unmap.record = nullptr;
  // No release can come between this and the caller's first lookup unless
  // another thread frees the handle, which bumps the release count.
  t_lookup = {m->handle, &m->image, g_releases.load(std::memory_order_relaxed)};
  return m.release()->handle;
}

}  // namespace

const PeImage* ModuleImage(HMODULE module) {
  const uint64_t releases = g_releases.load(std::memory_order_acquire);
  LookupCache& cache = t_lookup;
  if (module != nullptr && cache.handle == module && cache.releases == releases) return cache.image;
  ModuleTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  LoadedModule* m = t.Find(module);
  if (m == nullptr) return nullptr;
  cache = {module, &m->image, g_releases.load(std::memory_order_relaxed)};
  return &m->image;
}

unsigned ModuleReferenceCount(HMODULE module) {
  ModuleTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  LoadedModule* m = t.Find(module);
  return m != nullptr ? m->references : 0;
}

HMODULE RegisterEmbeddedImage(const BYTE* data, size_t size) {
  auto m = std::make_unique<LoadedModule>();
  if (m->image.Open(data, size) != ERROR_SUCCESS) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  m->handle = reinterpret_cast<HMODULE>(const_cast<BYTE*>(data));
  m->references = 1;
  ModuleTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  if (LoadedModule* known = t.Find(m->handle)) return known->handle;
  try {
    t.byHandle.Insert(m.get());
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return m.release()->handle;
}

}  // namespace pavo

using pavo::LoadedModule;
using pavo::ModuleTable;

extern "C" HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
  if (fileName == nullptr || file != nullptr || (flags & ~pavo::kKnownLoadFlags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool dataFile = (flags & pavo::kDataFileFlags) != 0;
  // Kept per thread so that its capacity is reused from load to load.
  thread_local std::string path;
  DWORD error = pavo::ModulePath(fileName, dataFile, &path);
  pavo::FileDescriptor fd;
  struct stat st;  // filled by OpenModuleFile
  if (error == ERROR_SUCCESS) error = pavo::OpenModuleFile(path, dataFile, &fd, &st);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  ModuleTable& t = pavo::Table();
  if (t.sharedCount.load(std::memory_order_acquire) != 0) {
    // The same file loaded again (by any name) is the same module; a
    // data-file load of a file loaded as a module gets that module too.
    std::lock_guard<std::mutex> guard(t.lock);
    if (HMODULE again = pavo::ReferenceShared(t, st.st_dev, st.st_ino)) return again;
  }
  pavo::FileMapping mapping;
  error = pavo::MapModuleFile(&fd, st, pavo::LoadsAsImage(flags), &mapping);
  std::unique_ptr<LoadedModule> m;
  if (error == ERROR_SUCCESS) {
    m = pavo::TakeModuleRecord(t);
    error = m ? m->image.Open(static_cast<const BYTE*>(mapping.address()), mapping.size())
              : ERROR_NOT_ENOUGH_MEMORY;
    // Mapping a file as an image needs every section's raw data: the Windows
    // loader refuses a file cut short inside a section for flags 0 and
    // LOAD_LIBRARY_AS_IMAGE_RESOURCE, and maps it as plain data otherwise.
    if (error == ERROR_SUCCESS && pavo::LoadsAsImage(flags) && m->image.HasCutSection()) {
      error = ERROR_BAD_EXE_FORMAT;
    }
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  pavo::FillModuleRecord(m.get(), &mapping, st, flags);
  return pavo::PublishModule(t, std::move(m));
}

extern "C" HMODULE LoadLibraryW(LPCWSTR fileName) { return LoadLibraryExW(fileName, nullptr, 0); }

extern "C" BOOL FreeLibrary(HMODULE module) {
  ModuleTable& t = pavo::Table();
  LoadedModule* gone = nullptr;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    LoadedModule* m = t.Find(module);
    if (m == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (m->mapping == nullptr) return TRUE;  // compiled into the binary: pinned
    assert(m->references > 0);  // a listed module holds a reference
    if (--m->references != 0) return TRUE;
    t.byHandle.Erase(module);
    assert(t.Find(module) == nullptr);
    if (m->shared) {
      const auto listed = std::find(t.shared.begin(), t.shared.end(), m);
      assert(listed != t.shared.end());  // erasing end() would corrupt the list
      t.shared.erase(listed);
      t.sharedCount.store(t.shared.size(), std::memory_order_release);
    }
    pavo::g_releases.fetch_add(1, std::memory_order_acq_rel);
    gone = m;
  }
  munmap(gone->mapping, gone->mappingSize);
  gone->image.Open(nullptr, 0);  // drops its string index; fails by design
  gone->mapping = nullptr;
  if (pavo::t_spareRecord == nullptr && !pavo::t_spareClosed) {
    pavo::t_spareOwner.Keep(gone);
    return TRUE;
  }
  {
    std::lock_guard<std::mutex> guard(t.lock);
    // A record kept twice would be handed to two loads.
    assert(std::find(t.spare.begin(), t.spare.end(), gone) == t.spare.end());
    if (t.spare.size() < ModuleTable::kMaxSpare) {
      try {
        t.spare.push_back(gone);
        return TRUE;
      } catch (const std::bad_alloc&) {
      }
    }
  }
  delete gone;
  return TRUE;
}
