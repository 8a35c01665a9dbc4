#include "resource/entry.h"

#include <new>

#include "platform/afx/extension_module.h"
#include "platform/win/modules.h"
#if !defined(_WIN32)
#include "platform/win/module_table.h"
#endif
#include "resource/library_state.h"

#if defined(_WIN32)
#include <windows.h>

// The image this code is linked into: the DLL, or the program that links the
// static library. Its resources are the library's own (linked from PavoRm.rc).
extern "C" IMAGE_DOS_HEADER __ImageBase;
#else
extern "C" const unsigned char pavoRmOwnImage[];
extern "C" const size_t pavoRmOwnImage_size;
#endif

namespace {
AFX_EXTENSION_MODULE g_extension;  // the library's extension-module record
}  // namespace

#if defined(_WIN32)
HINSTANCE pavo::LibraryImageHandle() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool pavo::EntryRunByLoader() {
  const BYTE* base = reinterpret_cast<const BYTE*>(&__ImageBase);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
  return (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
}

// The loader's call of the DLL (after the runtime has constructed the
// library's statics on attach, before it destroys them on detach). Thread
// calls stay on: the runtime linked into the DLL keeps per-thread data.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return PavoRmDllMain(instance, reason, reserved);
}
#else
HINSTANCE pavo::LibraryImageHandle() {
  static const HINSTANCE handle = RegisterEmbeddedImage(pavoRmOwnImage, pavoRmOwnImage_size);
  return handle;
}

bool pavo::EntryRunByLoader() { return false; }
#endif

extern "C" BOOL PavoRmDllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (!AfxInitExtensionModule(g_extension, instance)) return 0;
      // Links the library's resources into the framework's chain; the
      // framework owns the object. Without memory the library still works.
      try {
        new CDynLinkLibrary(g_extension, FALSE);
      } catch (const std::bad_alloc&) {
      }
      pavo::SetLibraryInstance(instance);
      pavo::LibraryModuleName() = WTEXT("PavoRm");
      pavo::InstallModuleLookup();
      return 1;
    case DLL_PROCESS_DETACH:
      // The lookup reaches this library's manager: it leaves with the library.
      pavo::RemoveModuleLookup();
      AfxTermExtensionModule(g_extension, FALSE);
      return 1;
    default:
      return 1;
  }
}
