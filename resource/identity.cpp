#include "resource/identity.h"

#include "platform/afx/afx_message_box.h"
#include "resource/entry.h"
#include "resource/library_state.h"
#include "resource/string_ids.h"
#include "string/PavoRmCString.h"

namespace {

// Constant-initialised (empty) before any code runs; destroyed at exit after
// the detach below, since it was constructed first.
PavoRmCString g_moduleName;
HINSTANCE g_instance = nullptr;

// Stands in for the system loader: runs the entry routine when the library
// is loaded and when it is unloaded, unless the loader does (the Windows
// DLL). It lives in this file, which every user of the library's identity
// links, so a static link keeps it too.
struct LoaderCalls {
  const bool run = !pavo::EntryRunByLoader();
  LoaderCalls() {
    if (run) PavoRmDllMain(pavo::LibraryImageHandle(), DLL_PROCESS_ATTACH, nullptr);
  }
  ~LoaderCalls() {
    if (run) PavoRmDllMain(pavo::LibraryImageHandle(), DLL_PROCESS_DETACH, nullptr);
  }
  LoaderCalls(const LoaderCalls&) = delete;
  LoaderCalls& operator=(const LoaderCalls&) = delete;
} g_loaderCalls;

}  // namespace

PavoRmCString& pavo::LibraryModuleName() { return g_moduleName; }

void pavo::SetLibraryInstance(HINSTANCE instance) { g_instance = instance; }

extern "C" const WCHAR* pavoRmName(void) { return g_moduleName.GetString(); }

extern "C" HINSTANCE pavoRmDllInstance(void) { return g_instance; }

extern "C" void AssertWithErrorMessage(int condition, unsigned int id) {
  if (condition == 0) return;
  PavoRmCString text;
  if (text.LoadStringW(pavoRmDllInstance(), id)) {
    AfxMessageBox(text.GetString(), PAVORM_MESSAGE_BOX_STYLE, PAVORM_MESSAGE_BOX_NO_HELP);
  }
}
