// .reg files: settings moved between Windows' registry editor and our hives.
//
// Import reads "Windows Registry Editor Version 5.00" files (UTF-16LE with BOM,
// or UTF-8) and "REGEDIT4" files (in the ANSI code page: GetACP(), or
// Windows-1252 in a UTF-8 process). Export writes either: version 5 in UTF-16LE
// with BOM keeps every value exactly; REGEDIT4 writes text in that code page,
// so characters outside it become a best fit or '?'.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_REG_FILE_H
#define PAVORM_PLATFORM_WIN_REGISTRY_REG_FILE_H

#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "platform/win/wide_text.h"

namespace pavo {
namespace reg {

enum class RegFileFormat { kVersion5, kRegedit4 };

// A key path prefix of the file (such as HKEY_CURRENT_USER, or
// HKEY_CURRENT_USER\Software\Vendor) and the open key it stands for. The
// longest matching prefix wins; names compare without regard to case.
struct RegFileRoot {
  WideString name;
  HKEY key;
};

// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (also as HKCU and HKLM) on the predefined roots.
std::vector<RegFileRoot> DefaultRegFileRoots();

// Checks the whole text first and changes nothing when any line is malformed:
// then ERROR_INVALID_DATA (ERROR_BAD_FORMAT for a missing header) with the
// 1-based line in *errorLine when given. Then applies the keys, values and
// deletions ([-key], "name"=-) in order; returns the first registry error.
LONG ImportRegText(const void* bytes, size_t size, const std::vector<RegFileRoot>& roots,
                   size_t* errorLine = nullptr);
LONG ImportRegFile(const WCHAR* path, const std::vector<RegFileRoot>& roots,
                   size_t* errorLine = nullptr);

// Writes key, its values and every sub-key below it, the key named keyName
// (for example HKEY_CURRENT_USER\Software\Vendor) in the file.
LONG ExportRegText(HKEY key, const WCHAR* keyName, RegFileFormat format, std::string* out);
// As ExportRegText, into a file created with mode 0600 (replaced if present).
LONG ExportRegFile(const WCHAR* path, HKEY key, const WCHAR* keyName, RegFileFormat format);

}  // namespace reg
}  // namespace pavo

#endif
