#include "platform/afx/module_state.h"

AFX_MODULE_STATE* AfxGetModuleState() {
  static AFX_MODULE_STATE state;  // trivially destructible: usable until exit
  return &state;
}

HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

void AfxSetResourceHandle(HINSTANCE resource) { AfxGetModuleState()->m_hCurrentResourceHandle = resource; }

HINSTANCE AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
