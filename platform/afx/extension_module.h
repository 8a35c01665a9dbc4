// Extension-module registration of the host framework: a library registers
// its module, and a CDynLinkLibrary object links its resources into the
// process-wide resource chain that the framework searches after the current
// resource module.
#ifndef PAVORM_PLATFORM_AFX_EXTENSION_MODULE_H
#define PAVORM_PLATFORM_AFX_EXTENSION_MODULE_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

struct AFX_EXTENSION_MODULE {
  BOOL bInitialized = FALSE;
  HMODULE hModule = nullptr;
  HMODULE hResource = nullptr;
};

// Records `module` in `state`. 0 when the module is null or not loaded; TRUE
// again, changing nothing, when `state` is already initialised.
PAVORM_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
// Removes the state's CDynLinkLibrary objects from the chain and deletes them
// (with `all`, every object of the chain).
PAVORM_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL all = FALSE);

// One link of the resource chain. Create it with new; the framework owns it
// and deletes it in AfxTermExtensionModule.
class PAVORM_API CDynLinkLibrary {
 public:
  explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL system = FALSE);
  virtual ~CDynLinkLibrary();
  CDynLinkLibrary(const CDynLinkLibrary&) = delete;
  CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

  HMODULE m_hModule;
  HMODULE m_hResource;
  BOOL m_bSystem;
};

// Module of the chain that has the resource: the current resource module
// first, then the chain's modules, newest first. Null when none has it.
PAVORM_API HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type);
// String id from the current resource module or the chain (as LoadStringW).
PAVORM_API int AfxLoadString(UINT id, LPWSTR buffer, UINT bufferMax);
// Number of links in the chain (tests, diagnostics).
unsigned AfxResourceChainLength();

#endif
