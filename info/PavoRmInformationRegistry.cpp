#include "info/PavoRmInformationRegistry.h"

#include <climits>
#include <cstring>

#include "platform/win/heap.h"

namespace {
// The class string of the keys this object creates.
WCHAR kKeyClass[] = WTEXT("PavoRm");
}  // namespace

PavoRmInformationRegistry::PavoRmInformationRegistry(HKEY rootKey, const PavoRmCString& keyPath,
                                                     const PavoRmCString& languageDirectory,
                                                     const PavoRmCString& currentLanguage)
    : PavoRmInformation(keyPath, languageDirectory, currentLanguage), m_RootKey(rootKey) {}

PavoRmInformationRegistry::~PavoRmInformationRegistry() = default;

PavoRmCString PavoRmInformationRegistry::GetCurrentLanguage() { return GetCurrentLanguageName(); }

PavoRmCString PavoRmInformationRegistry::ReadValue(const PavoRmCString& section,
                                                   const PavoRmCString& name) {
  PavoRmCString keyPath = m_Root;
  if (!section.IsEmpty()) {
    keyPath += WTEXT('\\');
    keyPath += section;
  }
  PavoRmCString result;
  if (!GetRegistryString(keyPath, name, result)) result.Empty();
  return result;
}

int PavoRmInformationRegistry::WriteValue(const PavoRmCString& section,
                                          const PavoRmCString& name,
                                          const PavoRmCString& value) {
  // Always m_Root, a backslash and the section: with no section the path ends
  // in the backslash, which names m_Root itself.
  PavoRmCString keyPath = m_Root;
  keyPath += WTEXT('\\');
  keyPath += section;
  return SetRegistryString(keyPath, name, value);
}

int PavoRmInformationRegistry::GetRegistryString(const PavoRmCString& keyPath,
                                                 const PavoRmCString& valueName,
                                                 PavoRmCString& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(m_RootKey, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  HANDLE heap = GetProcessHeap();
  BYTE* buffer = static_cast<BYTE*>(HeapAlloc(heap, 0, maxData));
  if (buffer == nullptr) {
    RegCloseKey(key);
    return 0;
  }
  DWORD size = maxData;
  DWORD type = 0;
  if (RegQueryValueExW(key, valueName, nullptr, &type, buffer, &size) == ERROR_SUCCESS) {
    // The data as text whatever its type: whole units up to the first 0 unit,
    // never past what was stored (which need not end in a terminator).
    size_t units = (size < maxData ? size : maxData) / sizeof(WCHAR);
    if (units > static_cast<size_t>(INT_MAX - 1)) units = static_cast<size_t>(INT_MAX - 1);
    PavoRmCString text;
    WCHAR* dest = text.GetBuffer(static_cast<int>(units));
    size_t n = 0;
    for (; n < units; ++n) {
      WCHAR c;
      std::memcpy(&c, buffer + n * sizeof(WCHAR), sizeof c);
      if (c == 0) break;
      dest[n] = c;
    }
    text.ReleaseBuffer(static_cast<int>(n));
    out = text;
  }
  HeapFree(heap, 0, buffer);
  return RegCloseKey(key) == ERROR_SUCCESS ? 1 : 0;
}

int PavoRmInformationRegistry::SetRegistryString(const PavoRmCString& keyPath,
                                                 const PavoRmCString& valueName,
                                                 const PavoRmCString& data) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(m_RootKey, keyPath, 0, kKeyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, &disposition) != ERROR_SUCCESS) {
    return 0;
  }
  // The characters and their terminator. A length of at most INT_MAX units
  // makes at most about 4 GiB - 2 bytes, which a DWORD holds.
  const DWORD bytes = (static_cast<DWORD>(data.GetLength()) + 1) * sizeof(WCHAR);
  if (RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.GetString()),
                     bytes) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  return RegCloseKey(key) == ERROR_SUCCESS ? 1 : 0;
}

int PavoRmInformationRegistry::GetLanguageList(PavoRmLanguageList& list) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(m_RootKey, m_Root, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  DWORD subKeys = 0, maxName = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxName, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  // Key names are at most 255 characters, so the size cannot overflow.
  const DWORD capacity = maxName + 1;
  HANDLE heap = GetProcessHeap();
  WCHAR* name = static_cast<WCHAR*>(HeapAlloc(heap, 0, capacity * sizeof(WCHAR)));
  if (name == nullptr) {
    RegCloseKey(key);
    return 0;
  }
  for (DWORD i = 0; i < subKeys; ++i) {
    if (RegEnumKeyW(key, i, name, capacity) != ERROR_SUCCESS) continue;
    if (name[0] != 0) list.AddTail(new PavoRmCString(name));
  }
  HeapFree(heap, 0, name);
  return RegCloseKey(key) == ERROR_SUCCESS ? 1 : 0;
}
