// The host framework's module state: the process-wide current resource module
// from which resources are loaded by default.
#ifndef PAVORM_PLATFORM_AFX_MODULE_STATE_H
#define PAVORM_PLATFORM_AFX_MODULE_STATE_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

struct AFX_MODULE_STATE {
  HINSTANCE m_hCurrentInstanceHandle = nullptr;  // the host's own module
  HINSTANCE m_hCurrentResourceHandle = nullptr;  // where resources come from by default
  const WCHAR* m_lpszCurrentAppName = nullptr;   // caption of AfxMessageBox; null: the program's name
};

// The process's module state (never null). Read and written directly, as the
// framework's callers do; like the framework's, it is plain data.
PAVORM_API AFX_MODULE_STATE* AfxGetModuleState();
PAVORM_API HINSTANCE AfxGetResourceHandle();
PAVORM_API void AfxSetResourceHandle(HINSTANCE resource);
PAVORM_API HINSTANCE AfxGetInstanceHandle();

#endif
