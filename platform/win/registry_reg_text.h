// Text conversions shared by .reg import and export.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_REG_TEXT_H
#define PAVORM_PLATFORM_WIN_REGISTRY_REG_TEXT_H

#include <string>

#include "platform/win/wide_text.h"

namespace pavo {
namespace reg {

// REGEDIT4 files are in the ANSI code page of the Windows that wrote them:
// the process's ANSI code page (GetACP), or Windows-1252 when that is UTF-8.
// Characters it lacks become a best fit or '?'.
std::string AnsiFromWide(const WideString& text);
WideString WideFromAnsi(const std::string& bytes);

extern const WCHAR kRegHeader5[];  // "Windows Registry Editor Version 5.00"
extern const WCHAR kRegHeader4[];  // "REGEDIT4"

}  // namespace reg
}  // namespace pavo

#endif
