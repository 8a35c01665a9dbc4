// PavoRmResource: a scope that makes a module the framework's current
// resource module and restores the previous one when it ends.
#ifndef PAVORM_RESOURCE_PAVORMRESOURCE_H
#define PAVORM_RESOURCE_PAVORMRESOURCE_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"
#include "string/PavoRmCString.h"

class PAVORM_API PavoRmResource {
 public:
  // Switches to the module of the resource object of that name. An object that
  // is not attached ("Dll-Object not found!") or has no module ("LanguageObject
  // is not a ResourceDll!") is reported in a box and nothing is switched.
  explicit PavoRmResource(const PavoRmCString& resourceName);
  // Switches to module unless it is null.
  explicit PavoRmResource(HINSTANCE module);
  PavoRmResource(const PavoRmResource&) = delete;
  PavoRmResource& operator=(const PavoRmResource&) = delete;
  // Restores the module that was current at construction.
  virtual ~PavoRmResource();

  // The module switched to, or null.
  HINSTANCE handle() const { return m_Handle; }

 protected:
  HINSTANCE m_Handle;
  HINSTANCE m_PreviousHandle;
};

#endif
