// A host of the shared library (not the static one): the library's entry has
// run when the host starts (on Windows the DLL's own DllMain), the library's
// module handle names the library's resources, and a string loads through it.
// On Windows that handle is the DLL's, as the system loader knows it.
#include <cstdio>

#include "PavoRm51.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "dll_host_check: %s\n", what);
  ++failures;
}

}  // namespace

int main() {
  const HINSTANCE own = pavoRmDllInstance();
  Check(own != nullptr, "the library has no module handle: its entry did not run");
  Check(pavoRmName() != nullptr && PavoRmCString(pavoRmName()) == WTEXT("PavoRm"),
        "the library's module name is not \"PavoRm\"");
#if defined(_WIN32)
  Check(own == GetModuleHandleW(L"PavoRm51.dll"), "the module handle is not the DLL's");
#endif
  PavoRmCString text;
  Check(text.LoadStringW(own, IDS_PAVORM_CANCEL, 0) == 1 && text == WTEXT("Cancel"),
        "string 28510 (\"Cancel\") does not load through the library's handle");
  if (failures == 0) std::printf("dll_host_check: the library's entry ran and its resources load\n");
  return failures == 0 ? 0 : 1;
}
