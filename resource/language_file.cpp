#include "resource/language_file.h"

#include <new>

#include "platform/win/modules.h"
#include "resource/identity.h"
#include "resource/string_ids.h"

namespace {

// True when LoadLibraryExW opens exactly this path: its last name has an
// extension and does not end in a dot (else ".dll" is added or the dot dropped).
bool LoadsVerbatim(const PavoRmCString& path) {
  const WCHAR* units = path.GetString();
  int dot = -1;
  for (int i = path.GetLength() - 1; i >= 0; --i) {
    if (units[i] == WCHAR('\\') || units[i] == WCHAR('/')) break;
    if (units[i] == WCHAR('.')) {
      dot = i;
      break;
    }
  }
  return dot >= 0 && dot + 1 < path.GetLength();
}

}  // namespace

HINSTANCE pavo::LoadLanguageFile(const PavoRmInformation& information, const PavoRmCString& path, DWORD flags,
                                 bool* missing) {
  *missing = false;
  if (LoadsVerbatim(path)) {
    // Load first: a language switch then costs no status query. On this
    // platform the loader opens only regular files, which FileExist accepts,
    // so asking afterwards gives the same answer as asking before.
    HINSTANCE module = LoadLibraryExW(path.GetString(), nullptr, flags);
    if (module == nullptr) *missing = !information.FileExist(path);
    return module;
  }
  if (!information.FileExist(path)) {
    *missing = true;
    return nullptr;
  }
  return LoadLibraryExW(path.GetString(), nullptr, flags);
}

PavoRmCString pavo::FileNotFoundText(const PavoRmCString& path) {
  PavoRmCString text;
  try {
    text.FormatMessageW(PavoRmCString(pavoRmName()), IDS_PAVORM_FILE_NOT_FOUND, path.GetString());
  } catch (std::bad_alloc* failure) {
    // A language module whose message has broken inserts must not abort the
    // load with an exception; the box then shows the empty text.
    delete failure;
    text.Empty();
  }
  return text;
}
