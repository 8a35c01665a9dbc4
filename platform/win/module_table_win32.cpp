// pavo::ModuleImage over the real loader: the library's PE reader applied to
// what a module handle names, for the tool's listings and damage reports.
#include "platform/win/module_table.h"

#include <windows.h>
#include <psapi.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/pe_image.h"

namespace {

// The reader works on a copy: the loader may unmap a view at any time and
// hand out the same handle for another file.
struct Parsed {
  std::vector<BYTE> copy;
  pavo::PeImage image;
};

struct Table {
  std::mutex lock;
  std::map<HMODULE, std::unique_ptr<Parsed>> images;
  // Replaced entries stay: pointers handed out before remain valid.
  std::vector<std::unique_ptr<Parsed>> replaced;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: modules may be read at exit
  return *table;
}

// The size of the file a view maps, or 0 when the system does not tell.
// The mapped file's name is an NT path: "\Device\HarddiskVolume1\..." on
// Windows, "\??\C:\..." under Wine; both open through their Win32 forms.
ULONGLONG MappedFileSize(const BYTE* base) {
  std::vector<WCHAR> name(1024);
  for (;;) {
    const DWORD n = K32GetMappedFileNameW(GetCurrentProcess(), const_cast<BYTE*>(base), name.data(),
                                          static_cast<DWORD>(name.size()));
    if (n == 0) return 0;
    if (n < name.size() - 1) break;
    if (name.size() >= 32768) return 0;
    name.resize(name.size() * 2);
  }
  std::wstring path(name.data());
  if (path.compare(0, 4, L"\\??\\") == 0) path.replace(0, 4, L"\\\\?\\");
  else path.insert(0, L"\\\\?\\GLOBALROOT");
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size;
  const bool known = GetFileSizeEx(file, &size) != 0 && size.QuadPart > 0;
  CloseHandle(file);
  return known ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

// A data-file load maps the file as it is; the view's pages that belong to
// one allocation hold the whole file, rounded up to whole pages. Cut to the
// file's size, so that a file cut short inside its last page is told cut
// rather than read as if zeros followed.
bool ReadMappedView(HMODULE module, std::vector<BYTE>* bytes) {
  const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR{3});
  MEMORY_BASIC_INFORMATION info;
  size_t size = 0;
  for (const BYTE* p = base; VirtualQuery(p, &info, sizeof info) == sizeof info; p += info.RegionSize) {
    if (info.AllocationBase != base || info.State != MEM_COMMIT || info.RegionSize == 0) break;
    size += info.RegionSize;
  }
  if (size == 0) return false;
  const ULONGLONG fileSize = MappedFileSize(base);
  if (fileSize != 0 && fileSize < size) size = static_cast<size_t>(fileSize);
  bytes->assign(base, base + size);
  return true;
}

// A module loaded as an image is laid out by sections: the reader takes the file.
bool ReadModuleFile(HMODULE module, std::vector<BYTE>* bytes) {
  std::vector<WCHAR> name(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return false;
    if (n < name.size()) break;
    if (name.size() >= 32768) return false;
    name.resize(name.size() * 2);
  }
  HANDLE file = CreateFileW(name.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) != 0 && size.QuadPart > 0 && size.QuadPart < (LONGLONG{1} << 31);
  if (ok) {
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    ok = ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &done, nullptr) != 0 &&
         done == bytes->size();
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

const pavo::PeImage* pavo::ModuleImage(HMODULE module) {
  if (module == nullptr) return nullptr;
  std::vector<BYTE> bytes;
  // Low bit 1: a data file, mapped as the file is; bit 2: an image resource,
  // mapped by sections and not named by a file the reader could take.
  const ULONG_PTR kind = reinterpret_cast<ULONG_PTR>(module) & 3;
  if (kind >= 2) return nullptr;
  if (!(kind == 1 ? ReadMappedView(module, &bytes) : ReadModuleFile(module, &bytes))) return nullptr;
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  std::unique_ptr<Parsed>& slot = t.images[module];
  if (slot != nullptr && slot->copy == bytes) return &slot->image;
  std::unique_ptr<Parsed> parsed(new Parsed);
  parsed->copy.swap(bytes);
  if (parsed->image.Open(parsed->copy.data(), parsed->copy.size()) != ERROR_SUCCESS) return nullptr;
  if (slot != nullptr) t.replaced.push_back(std::move(slot));
  slot = std::move(parsed);
  return &slot->image;
}
