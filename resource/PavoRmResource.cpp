#include "resource/PavoRmResource.h"

#include "platform/afx/afx_message_box.h"
#include "platform/afx/module_state.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "resource/identity.h"
#include "resource/string_ids.h"

PavoRmResource::PavoRmResource(const PavoRmCString& resourceName)
    : m_Handle(nullptr), m_PreviousHandle(AfxGetModuleState()->m_hCurrentResourceHandle) {
  // Without a manager (already reported by Instance) the name is unknown.
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  PavoRmResourceObject* object = manager != nullptr ? manager->GetResourceObject(resourceName) : nullptr;
  if (object != nullptr && object->GetResourceHandle() != nullptr) {
    m_Handle = object->GetResourceHandle();
    AfxGetModuleState()->m_hCurrentResourceHandle = m_Handle;
    return;
  }
  PavoRmCString text;
  if (object != nullptr) {
    text.LoadStringW(PavoRmCString(pavoRmName()), IDS_PAVORM_NOT_A_RESOURCE_DLL);
  } else {
    text.LoadStringW(pavoRmDllInstance(), IDS_PAVORM_DLL_OBJECT_NOT_FOUND);
  }
  text += WTEXT(": ");
  text += resourceName;
  AfxMessageBox(text.GetString(), PAVORM_MESSAGE_BOX_STYLE, PAVORM_MESSAGE_BOX_NO_HELP);
}

PavoRmResource::PavoRmResource(HINSTANCE module)
    : m_Handle(module), m_PreviousHandle(AfxGetModuleState()->m_hCurrentResourceHandle) {
  if (module != nullptr) AfxGetModuleState()->m_hCurrentResourceHandle = module;
}

PavoRmResource::~PavoRmResource() { AfxGetModuleState()->m_hCurrentResourceHandle = m_PreviousHandle; }
