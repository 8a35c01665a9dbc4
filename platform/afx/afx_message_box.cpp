#include "platform/afx/afx_message_box.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/afx/extension_module.h"
#include "platform/afx/module_state.h"
#include "platform/win/wide_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The program's name, as the framework's default application name (on
// Windows the file name of the program without its extension).
const WCHAR* ProgramName() {
  static const pavo::WideString name = [] {
#if defined(_WIN32)
    WCHAR path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return pavo::WideString();
    pavo::WideString file(path, n);
    const size_t slash = file.find_last_of(WTEXT("\\/"));
    if (slash != pavo::WideString::npos) file.erase(0, slash + 1);
    const size_t dot = file.rfind(WCHAR('.'));
    if (dot != pavo::WideString::npos && dot != 0) file.erase(dot);
    return file;
#else
    const char* n = program_invocation_short_name;
    return pavo::WideFromAscii(n != nullptr ? n : "");
#endif
  }();
  return name.c_str();
}

}  // namespace

int AfxMessageBox(LPCWSTR text, UINT type, UINT) {
  const WCHAR* caption = AfxGetModuleState()->m_lpszCurrentAppName;
  return PavoRmMessageBox(nullptr, text, caption != nullptr ? caption : ProgramName(), type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
  std::vector<WCHAR> text(4096);
  if (AfxLoadString(promptId, text.data(), static_cast<UINT>(text.size())) == 0) return 0;
  return AfxMessageBox(text.data(), type, helpId);
}
