#include "platform/afx/afx_message_box.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/afx/extension_module.h"
#include "platform/afx/module_state.h"
#include "platform/win/wide_text.h"

namespace {

// The program's name, as the framework's default application name.
const WCHAR* ProgramName() {
  static const pavo::WideString name = [] {
    const char* n = program_invocation_short_name;
    return pavo::WideFromAscii(n != nullptr ? n : "");
  }();
  return name.c_str();
}

}  // namespace

int AfxMessageBox(LPCWSTR text, UINT type, UINT) {
  const WCHAR* caption = AfxGetModuleState()->m_lpszCurrentAppName;
  return MessageBoxW(nullptr, text, caption != nullptr ? caption : ProgramName(), type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
  std::vector<WCHAR> text(4096);
  if (AfxLoadString(promptId, text.data(), static_cast<UINT>(text.size())) == 0) return 0;
  return AfxMessageBox(text.data(), type, helpId);
}
