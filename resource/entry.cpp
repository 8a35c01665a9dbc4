#include "resource/entry.h"

#include <new>

#include "platform/afx/extension_module.h"
#include "platform/win/modules.h"
#include "platform/win/module_table.h"
#include "resource/library_state.h"

extern "C" const unsigned char pavoRmOwnImage[];
extern "C" const size_t pavoRmOwnImage_size;

namespace {
AFX_EXTENSION_MODULE g_extension;  // the library's extension-module record
}  // namespace

HINSTANCE pavo::LibraryImageHandle() {
  static const HINSTANCE handle = RegisterEmbeddedImage(pavoRmOwnImage, pavoRmOwnImage_size);
  return handle;
}

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
