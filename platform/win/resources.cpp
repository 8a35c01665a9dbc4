#include "platform/win/resources.h"
#include "platform/win/module_table.h"

#include <cstring>

#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"

namespace {

// A handle that names no loaded module is, to Windows' resource functions,
// an image without a resource section: ERROR_RESOURCE_DATA_NOT_FOUND, as for
// the program itself (null), which has none here.
const pavo::PeImage* ImageOrError(HMODULE module) {
  const pavo::PeImage* image = module != nullptr ? pavo::ModuleImage(module) : nullptr;
  if (image == nullptr) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return image;
}

HRSRC Find(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, bool anyLanguage) {
  const pavo::PeImage* image = ImageOrError(module);
  if (image == nullptr) return nullptr;
  pavo::ResourceKey typeKey;
  pavo::ResourceKey nameKey;
  if (type == nullptr || name == nullptr || !pavo::MakeResourceKey(type, &typeKey) ||
      !pavo::MakeResourceKey(name, &nameKey)) {
    SetLastError(type == nullptr ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  const LANGID ui = GetThreadUILanguage();
  const uint32_t entry = anyLanguage ? image->FindDefault(typeKey, nameKey, ui, &error)
                                     : image->FindLanguage(typeKey, nameKey, ui, language, &error);
  if (entry == 0) {
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<BYTE*>(image->EntryAddress(entry)));
}

// The bytes of `resource`, which must be a data entry of `module`'s image.
bool DataOf(HMODULE module, HRSRC resource, pavo::ResourceData* data) {
  const pavo::PeImage* image = ImageOrError(module);
  if (image == nullptr) return false;
  uint32_t entry = 0;
  if (resource == nullptr || !image->EntryOffsetOf(resource, &entry) || !image->DataOf(entry, data)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  return true;
}

}  // namespace

extern "C" HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return Find(module, type, name, 0, true);
}

extern "C" HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  return Find(module, type, name, language, language == 0);
}

extern "C" HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  pavo::ResourceData data;
  if (!DataOf(module, resource, &data)) return nullptr;
  return const_cast<BYTE*>(data.bytes);
}

extern "C" DWORD SizeofResource(HMODULE module, HRSRC resource) {
  pavo::ResourceData data;
  return DataOf(module, resource, &data) ? data.size : 0;
}

extern "C" LPVOID LockResource(HGLOBAL data) { return data; }

extern "C" BOOL FreeResource(HGLOBAL) { return FALSE; }

extern "C" int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const LPCWSTR* pointerOut = bufferMax == 0 ? reinterpret_cast<const LPCWSTR*>(buffer) : nullptr;
  // Nothing found leaves an empty text (or a null pointer) behind.
  if (pointerOut != nullptr) {
    const LPCWSTR none = nullptr;
    std::memcpy(buffer, &none, sizeof none);
  } else {
    buffer[0] = 0;
  }
  const pavo::PeImage* image = ImageOrError(instance);
  if (image == nullptr) return 0;
  const WCHAR* text = nullptr;
  size_t len = 0;
  const DWORD error = image->FindString(id, GetThreadUILanguage(), &text, &len);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  if (pointerOut != nullptr) {
    std::memcpy(buffer, &text, sizeof text);
    return static_cast<int>(len);
  }
  const size_t n = len < static_cast<size_t>(bufferMax) - 1 ? len : static_cast<size_t>(bufferMax) - 1;
  std::memcpy(buffer, text, n * sizeof(WCHAR));
  buffer[n] = 0;
  return static_cast<int>(n);
}
