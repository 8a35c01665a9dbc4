#include "platform/win/modules.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
#include "platform/win/wide_text.h"

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

// The process-wide module table. It is never destroyed, so that handles stay
// usable from other objects' destructors at exit.
struct ModuleTable {
  std::mutex lock;
  std::vector<LoadedModule*> modules;

  LoadedModule* Find(HMODULE h) {
    for (LoadedModule* m : modules) {
      if (m->handle == h) return m;
    }
    return nullptr;
  }
};

ModuleTable& Table() {
  static ModuleTable* table = new ModuleTable;
  return *table;
}

// Each thread remembers the last handle it looked up, valid while no module
// has been released since (a released handle's address may be reused).
std::atomic<uint64_t> g_releases{0};
struct LookupCache {
  HMODULE handle = nullptr;
  const PeImage* image = nullptr;
  uint64_t releases = 0;
};
thread_local LookupCache t_lookup;

// UTF-16 path to the UTF-8 bytes Linux takes; '\\' becomes '/'. False for a
// path with a lone surrogate.
bool PathToUtf8(LPCWSTR path, std::string* out) {
  if (!AppendUtf8(path, WideLength(path), true, out)) return false;
  for (char& c : *out) {
    if (c == '\\') c = '/';
  }
  return true;
}

// LoadLibrary appends ".dll" to a file name without an extension; a trailing
// dot means "no extension" and is dropped.
void ApplyDefaultExtension(std::string* path) {
  const size_t slash = path->rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path->size()) return;
  if (path->back() == '.') {
    path->pop_back();
    return;
  }
  if (path->find('.', nameStart) == std::string::npos) path->append(".dll");
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
  t.modules.push_back(m.release());
  return t.modules.back()->handle;
}

}  // namespace pavo

using pavo::LoadedModule;
using pavo::ModuleTable;

extern "C" HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
  if (fileName == nullptr || file != nullptr || (flags & ~(pavo::kDataFileFlags | DONT_RESOLVE_DLL_REFERENCES)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool dataFile = (flags & pavo::kDataFileFlags) != 0;
  std::string path;
  if (!pavo::PathToUtf8(fileName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (path.empty()) {
    SetLastError(dataFile ? ERROR_FILE_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  pavo::ApplyDefaultExtension(&path);

  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(pavo::OpenErrorCode(errno, dataFile));
    return nullptr;
  }
  struct stat st = {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool isDir = S_ISDIR(st.st_mode);
    close(fd);
    SetLastError(isDir ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  ModuleTable& t = pavo::Table();
  if (!dataFile) {
    // The same file loaded again (by any name) is the same module.
    std::lock_guard<std::mutex> guard(t.lock);
    for (LoadedModule* m : t.modules) {
      if (m->shared && m->device == st.st_dev && m->inode == st.st_ino) {
        close(fd);
        ++m->references;
        return m->handle;
      }
    }
  }
  if (st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > SIZE_MAX / 2) {
    close(fd);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (mapping == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_ptr<LoadedModule> m(new (std::nothrow) LoadedModule);
  DWORD error = m ? m->image.Open(static_cast<const BYTE*>(mapping), size) : ERROR_NOT_ENOUGH_MEMORY;
  if (error != ERROR_SUCCESS) {
    munmap(mapping, size);
    SetLastError(error);
    return nullptr;
  }
  m->mapping = mapping;
  m->mappingSize = size;
  m->device = st.st_dev;
  m->inode = st.st_ino;
  m->shared = !dataFile;
  m->references = 1;
  // As on Windows, a data-file handle is the mapping's address with a low bit
  // set (1 for a data file, 2 for an image-resource load), so it never equals
  // a flags-0 handle of the same file.
  uintptr_t value = reinterpret_cast<uintptr_t>(mapping);
  if (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) value |= 2;
  else if (dataFile) value |= 1;
  m->handle = reinterpret_cast<HMODULE>(value);

  std::lock_guard<std::mutex> guard(t.lock);
  if (!dataFile) {
    // Another thread may have loaded the same file meanwhile.
    for (LoadedModule* other : t.modules) {
      if (other->shared && other->device == st.st_dev && other->inode == st.st_ino) {
        ++other->references;
        munmap(mapping, size);
        return other->handle;
      }
    }
  }
  try {
    t.modules.push_back(m.get());
  } catch (const std::bad_alloc&) {
    munmap(mapping, size);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return m.release()->handle;
}

extern "C" HMODULE LoadLibraryW(LPCWSTR fileName) { return LoadLibraryExW(fileName, nullptr, 0); }

extern "C" BOOL FreeLibrary(HMODULE module) {
  ModuleTable& t = pavo::Table();
  LoadedModule* gone = nullptr;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = std::find_if(t.modules.begin(), t.modules.end(),
                           [module](const LoadedModule* m) { return m->handle == module; });
    if (it == t.modules.end() || module == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    LoadedModule* m = *it;
    if (m->mapping == nullptr) return TRUE;  // compiled into the binary: pinned
    if (--m->references != 0) return TRUE;
    t.modules.erase(it);
    pavo::g_releases.fetch_add(1, std::memory_order_acq_rel);
    gone = m;
  }
  munmap(gone->mapping, gone->mappingSize);
  delete gone;
  return TRUE;
}
