// The registry functions: a handle table over hives, and Windows' argument,
// access and buffer rules.
#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/paths.h"
#include "platform/win/registry.h"
#include "platform/win/registry_hive.h"
#include "platform/win/registry_predefined.h"

namespace {

using pavo::WideString;
using pavo::reg::Hive;
using pavo::reg::KeyId;

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
// Rights that let a handle change the tree; a handle without any of them is read-only.
constexpr DWORD kAnyWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE;

struct Handle {
  std::shared_ptr<Hive> hive;
  KeyId key = 0;
  DWORD access = 0;
};

// Process-wide state, never destroyed: handles may still be closed from
// static destructors of other translation units.
struct Table {
  std::mutex mutex;
  std::unordered_map<uintptr_t, Handle> handles;
  uintptr_t next = 0x10000;  // handle values are never reused
  std::map<std::string, std::weak_ptr<Hive>> hives;
  std::shared_ptr<Hive> currentUser;
  std::shared_ptr<Hive> localMachine;
};

Table* g_table = nullptr;

// A child of fork() must not touch the SQLite connections of its parent (SQLite
// forbids carrying one across fork): it starts with an empty table, and the
// parent's is kept, unused, so that nothing of it is closed twice.
void StartAfreshInChild() {
  static std::vector<Table*> inherited;
  if (g_table != nullptr) inherited.push_back(g_table);
  g_table = new Table;
}

Table& State() {
  static const bool ready = [] {
    g_table = new Table;
    pthread_atfork(nullptr, nullptr, &StartAfreshInChild);
    return true;
  }();
  (void)ready;
  return *g_table;
}

DWORD MapAccess(REGSAM sam) {
  DWORD access = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll |
                         static_cast<DWORD>(MAXIMUM_ALLOWED));
  if (sam & kGenericRead) access |= KEY_READ;
  if (sam & kGenericWrite) access |= KEY_WRITE;
  if (sam & kGenericExecute) access |= KEY_EXECUTE;
  if (sam & (kGenericAll | static_cast<DWORD>(MAXIMUM_ALLOWED))) access |= KEY_ALL_ACCESS;
  return access;
}

bool IsPredefined(HKEY h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  return v >= 0x80000000u && v <= 0x800000FFu;
}

// One hive per file per process; a file name that resolves to the same file
// gives the same hive.
std::string CanonicalPath(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (realpath(dir.c_str(), buf) != nullptr) {
    std::string out = buf;
    if (out.empty() || out.back() != '/') out += '/';
    return out + base;
  }
  return path;
}

// Caller holds the table's mutex.
LONG OpenHiveLocked(Table& t, const std::string& path, std::shared_ptr<Hive>* out) {
  const std::string canonical = CanonicalPath(path);
  auto it = t.hives.find(canonical);
  if (it != t.hives.end()) {
    if (std::shared_ptr<Hive> live = it->second.lock()) {
      *out = std::move(live);
      return ERROR_SUCCESS;
    }
    t.hives.erase(it);
  }
  std::shared_ptr<Hive> hive;
  const LONG rc = Hive::Open(canonical, &hive);
  if (rc != ERROR_SUCCESS) return rc;
  t.hives[canonical] = hive;
  *out = std::move(hive);
  return ERROR_SUCCESS;
}

LONG Resolve(HKEY h, Handle* out) {
  Table& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (IsPredefined(h)) {
    std::shared_ptr<Hive>* slot = nullptr;
    bool machine = false;
    if (h == HKEY_CURRENT_USER) {
      slot = &t.currentUser;
    } else if (h == HKEY_LOCAL_MACHINE) {
      slot = &t.localMachine;
      machine = true;
    } else {
      return ERROR_INVALID_HANDLE;
    }
    if (!*slot) {
      const std::string path = pavo::reg::PredefinedHivePath(machine);
      if (path.empty()) return ERROR_PATH_NOT_FOUND;
      const LONG rc = OpenHiveLocked(t, path, slot);
      if (rc != ERROR_SUCCESS) return rc;
    }
    out->hive = *slot;
    out->key = (*slot)->Root();
    out->access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  auto it = t.handles.find(reinterpret_cast<uintptr_t>(h));
  if (h == nullptr || it == t.handles.end()) return ERROR_INVALID_HANDLE;
  *out = it->second;
  return ERROR_SUCCESS;
}

// Resolves h and checks that it holds at least one of rights.
LONG ResolveWithAccess(HKEY h, DWORD rights, Handle* out) {
  const LONG rc = Resolve(h, out);
  if (rc != ERROR_SUCCESS) return rc;
  return (out->access & rights) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY AddHandle(Handle handle) {
  Table& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  // Never a value in the range of the predefined roots.
  if (t.next >= 0x80000000u && t.next <= 0x800000FFu) t.next = 0x80000100u;
  const uintptr_t value = t.next;
  t.next += 4;
  t.handles.emplace(value, std::move(handle));
  return reinterpret_cast<HKEY>(value);
}

// Splits a sub-key path at backslashes. One trailing backslash names the same
// key; a leading one or an empty name inside is refused, as on Windows.
LONG SplitPath(LPCWSTR sub, std::vector<WideString>* parts) {
  parts->clear();
  if (sub == nullptr || sub[0] == 0) return ERROR_SUCCESS;
  if (sub[0] == u'\\') return ERROR_BAD_PATHNAME;
  WideString current;
  const WCHAR* p = sub;
  for (;; ++p) {
    if (*p == u'\\' || *p == 0) {
      if (current.empty()) {
        if (*p == 0) break;  // after the one trailing backslash
        return ERROR_BAD_PATHNAME;
      }
      if (parts->size() >= pavo::reg::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
      parts->push_back(std::move(current));
      current.clear();
      if (*p == 0) break;
      continue;
    }
    if (current.size() >= pavo::reg::kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    current.push_back(*p);
  }
  return ERROR_SUCCESS;
}

LONG ValueName(LPCWSTR name, WideString* out) {
  const size_t n = pavo::WideLengthBounded(name, pavo::reg::kMaxValueNameLength + 1);
  if (n > pavo::reg::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  out->assign(name == nullptr ? u"" : name, n);
  return ERROR_SUCCESS;
}

DWORD ClampDword(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(v); }

void SetFileTime(PFILETIME ft, uint64_t t) {
  if (ft == nullptr) return;
  ft->dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

// Resolves h and splits the sub-key path below it.
LONG ResolvePath(HKEY h, LPCWSTR sub, Handle* base, std::vector<WideString>* parts) {
  const LONG rc = Resolve(h, base);
  if (rc != ERROR_SUCCESS) return rc;
  return SplitPath(sub, parts);
}

// The rights a new handle on hive gets for sam. A hive file we may not write
// grants no write rights, as an ACL would refuse them.
LONG GrantAccess(const Hive& hive, REGSAM sam, DWORD* access) {
  *access = MapAccess(sam);
  return hive.ReadOnly() && (*access & kAnyWrite) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Copies text and its terminator when *capacity (in characters) holds both.
bool CopyName(const WideString& text, LPWSTR buffer, DWORD capacity) {
  if (buffer == nullptr || text.size() >= capacity) return false;
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return true;
}

}  // namespace

namespace pavo {
namespace reg {

bool KeyIdentity(HKEY handle, const void** hive, KeyId* key) {
  Handle h;
  if (Resolve(handle, &h) != ERROR_SUCCESS) return false;
  *hive = h.hive.get();
  *key = h.key;
  return true;
}

std::string PredefinedHivePath(bool machine) {
  const char* override = getenv(machine ? "PAVORM_HKLM_HIVE" : "PAVORM_HKCU_HIVE");
  if (override != nullptr && override[0] != 0) return override;
  std::string dir;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    dir = xdg;
  } else {
    const char* home = getenv("HOME");
    std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
    if (homeDir.empty()) {
      const passwd* pw = getpwuid(getuid());
      if (pw == nullptr || pw->pw_dir == nullptr || pw->pw_dir[0] != '/') return std::string();
      homeDir = pw->pw_dir;
    }
    dir = homeDir + "/.config";
  }
  dir += "/pavorm";
  // Create the directories one level at a time; only the ones made here get 0700.
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      const std::string prefix = dir.substr(0, pos);
      if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    }
  }
  return dir + (machine ? "/machine.hive" : "/user.hive");
}

}  // namespace reg
}  // namespace pavo

extern "C" {

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (ulOptions & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK)) return ERROR_INVALID_PARAMETER;
  Handle base;
  std::vector<WideString> parts;
  LONG rc = ResolvePath(hKey, lpSubKey, &base, &parts);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD access = 0;
  if ((rc = GrantAccess(*base.hive, samDesired, &access)) != ERROR_SUCCESS) return rc;
  KeyId key = 0;
  if ((rc = base.hive->OpenKey(base.key, parts, &key)) != ERROR_SUCCESS) return rc;
  *phkResult = AddHandle(Handle{base.hive, key, access});
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpSecurityAttributes;
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  // A volatile key is accepted and kept like any other (hives outlive the process anyway).
  if (dwOptions & ~static_cast<DWORD>(REG_OPTION_VOLATILE | REG_OPTION_OPEN_LINK |
                                      REG_OPTION_BACKUP_RESTORE)) {
    return ERROR_INVALID_PARAMETER;
  }
  Handle base;
  std::vector<WideString> parts;
  LONG rc = ResolvePath(hKey, lpSubKey, &base, &parts);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD access = 0;
  if ((rc = GrantAccess(*base.hive, samDesired, &access)) != ERROR_SUCCESS) return rc;
  KeyId key = 0;
  bool created = false;
  rc = base.hive->OpenKey(base.key, parts, &key);
  if (rc == ERROR_FILE_NOT_FOUND) {
    // Making a sub-key is a write through hKey.
    if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    WideString cls;
    if ((rc = ValueName(lpClass, &cls)) != ERROR_SUCCESS) return rc;
    rc = base.hive->CreateKey(base.key, parts, cls, &key, &created);
  }
  if (rc != ERROR_SUCCESS) return rc;
  *phkResult = AddHandle(Handle{base.hive, key, access});
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpClass != nullptr && lpcchClass == nullptr) return ERROR_INVALID_PARAMETER;
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_QUERY_VALUE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  pavo::reg::KeyInfo info;
  if ((rc = h.hive->QueryInfo(h.key, &info)) != ERROR_SUCCESS) return rc;
  rc = ERROR_SUCCESS;
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr && !CopyName(info.cls, lpClass, *lpcchClass)) rc = ERROR_MORE_DATA;
    *lpcchClass = ClampDword(info.cls.size());
  }
  if (lpcSubKeys != nullptr) *lpcSubKeys = ClampDword(info.subKeys);
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = ClampDword(info.maxSubKeyLen);
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = ClampDword(info.maxClassLen);
  if (lpcValues != nullptr) *lpcValues = ClampDword(info.values);
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = ClampDword(info.maxValueNameLen);
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = ClampDword(info.maxValueLen);
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  SetFileTime(lpftLastWriteTime, info.lastWrite);
  return rc;
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_QUERY_VALUE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  WideString name;
  if ((rc = ValueName(lpValueName, &name)) != ERROR_SUCCESS) return rc;
  DWORD type = 0;
  std::vector<BYTE> data;
  if ((rc = h.hive->GetValue(h.key, name, &type, &data)) != ERROR_SUCCESS) return rc;
  if (lpType != nullptr) *lpType = type;
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  const DWORD size = ClampDword(data.size());
  if (lpData != nullptr) {
    if (*lpcbData < data.size()) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (!data.empty()) std::memcpy(lpData, data.data(), data.size());
  }
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
  (void)Reserved;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_SET_VALUE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  WideString name;
  if ((rc = ValueName(lpValueName, &name)) != ERROR_SUCCESS) return rc;
  return h.hive->SetValue(h.key, name, dwType, lpData, cbData);
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (lpClass != nullptr && lpcchClass == nullptr) return ERROR_INVALID_PARAMETER;
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_ENUMERATE_SUB_KEYS, &h);
  if (rc != ERROR_SUCCESS) return rc;
  pavo::reg::SubKeyEntry entry;
  if ((rc = h.hive->EnumKey(h.key, dwIndex, &entry)) != ERROR_SUCCESS) return rc;
  if (entry.name.size() >= *lpcchName) return ERROR_MORE_DATA;
  if (lpClass != nullptr && entry.cls.size() >= *lpcchClass) return ERROR_MORE_DATA;
  CopyName(entry.name, lpName, *lpcchName);
  *lpcchName = ClampDword(entry.name.size());
  if (lpClass != nullptr) {
    CopyName(entry.cls, lpClass, *lpcchClass);
    *lpcchClass = ClampDword(entry.cls.size());
  }
  SetFileTime(lpftLastWriteTime, entry.lastWrite);
  return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
  DWORD capacity = cchName;
  return RegEnumKeyExW(hKey, dwIndex, lpName, &capacity, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_QUERY_VALUE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  pavo::reg::ValueEntry entry;
  if ((rc = h.hive->EnumValue(h.key, dwIndex, &entry)) != ERROR_SUCCESS) return rc;
  if (entry.name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  if (lpType != nullptr) *lpType = entry.type;
  const DWORD size = ClampDword(entry.data.size());
  if (lpData != nullptr && *lpcbData < entry.data.size()) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  CopyName(entry.name, lpValueName, *lpcchValueName);
  *lpcchValueName = ClampDword(entry.name.size());
  if (lpData != nullptr && !entry.data.empty()) {
    std::memcpy(lpData, entry.data.data(), entry.data.size());
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  Handle h;
  std::vector<WideString> parts;
  const LONG rc = ResolvePath(hKey, lpSubKey, &h, &parts);
  if (rc != ERROR_SUCCESS) return rc;
  // Deleting the handle's own key needs DELETE on it; a sub-key needs a handle
  // that may write (hives carry no security descriptors to ask instead).
  if (parts.empty() ? !(h.access & DELETE) : !(h.access & kAnyWrite)) {
    return ERROR_ACCESS_DENIED;
  }
  return h.hive->DeleteKey(h.key, parts, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  Handle h;
  LONG rc = ResolveWithAccess(hKey, kAnyWrite, &h);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<WideString> parts;
  if ((rc = SplitPath(lpSubKey, &parts)) != ERROR_SUCCESS) return rc;
  if (parts.empty()) return h.hive->ClearKey(h.key);
  return h.hive->DeleteKey(h.key, parts, true);
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  Handle h;
  LONG rc = ResolveWithAccess(hKey, KEY_SET_VALUE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  WideString name;
  if ((rc = ValueName(lpValueName, &name)) != ERROR_SUCCESS) return rc;
  return h.hive->DeleteValue(h.key, name);
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  std::shared_ptr<Hive> last;  // released after the lock, as closing may checkpoint
  Table& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.handles.find(reinterpret_cast<uintptr_t>(hKey));
  if (hKey == nullptr || it == t.handles.end()) return ERROR_INVALID_HANDLE;
  last = std::move(it->second.hive);
  t.handles.erase(it);
  return ERROR_SUCCESS;
}

LSTATUS RegLoadAppKeyW(LPCWSTR lpFile, PHKEY phkResult, REGSAM samDesired, DWORD dwOptions,
                       DWORD Reserved) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (lpFile == nullptr || lpFile[0] == 0 || Reserved != 0) return ERROR_INVALID_PARAMETER;
  if (dwOptions & ~static_cast<DWORD>(REG_PROCESS_APPKEY)) return ERROR_INVALID_PARAMETER;
  const std::string path = pavo::NativePath(lpFile);
  std::shared_ptr<Hive> hive;
  {
    Table& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    const LONG rc = OpenHiveLocked(t, path, &hive);
    if (rc != ERROR_SUCCESS) return rc;
  }
  DWORD access = 0;
  const LONG rc = GrantAccess(*hive, samDesired, &access);
  if (rc != ERROR_SUCCESS) return rc;
  const KeyId root = hive->Root();
  *phkResult = AddHandle(Handle{std::move(hive), root, access});
  return ERROR_SUCCESS;
}

}  // extern "C"
