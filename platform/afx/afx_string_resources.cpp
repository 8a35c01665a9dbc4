#include "platform/afx/afx_string.h"
#include "platform/win/resources.h"

int CStringW::LoadString(HINSTANCE module, UINT id) {
  // The read-only form hands out the text inside the module: one copy only.
  const WCHAR* text = nullptr;
  const int n = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return 0;
  SetString(text, n);
  return 1;
}
