#include "platform/win/registry_reg_text.h"

#include <climits>

#include "platform/win/code_pages.h"

namespace pavo {
namespace reg {

const WCHAR kRegHeader5[] = WTEXT("Windows Registry Editor Version 5.00");
const WCHAR kRegHeader4[] = WTEXT("REGEDIT4");

namespace {

// Windows never wrote REGEDIT4 in UTF-8: a UTF-8 process reads and writes
// Windows-1252, the ANSI code page of most Windows installations.
UINT RegeditCodePage() {
  const UINT acp = GetACP();
  return acp == CP_UTF8 ? 1252 : acp;
}

}  // namespace

std::string AnsiFromWide(const WideString& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const UINT cp = RegeditCodePage();
  const int units = static_cast<int>(text.size());
  const int need = WideCharToMultiByte(cp, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return std::string();
  std::string out(static_cast<size_t>(need), '\0');
  const int n = WideCharToMultiByte(cp, 0, text.data(), units, &out[0], need, nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

WideString WideFromAnsi(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return WideString();
  const UINT cp = RegeditCodePage();
  const int size = static_cast<int>(bytes.size());
  const int need = MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0);
  if (need <= 0) return WideString();
  WideString out(static_cast<size_t>(need), u'\0');
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), size, &out[0], need);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace reg
}  // namespace pavo
