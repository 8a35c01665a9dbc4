#include "resource/registration.h"

#include <new>

#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/identity.h"

extern "C" int PavoRmInit(PavoRmInformation* information) {
  // Instance reports a missing manager; there is then nothing to register with.
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  if (manager == nullptr) return 0;
  if (information != nullptr) manager->AttachInformation(information);
  if (manager->Information() == nullptr) return 0;

  PavoRmResourceObjectNormalDll* object = new (std::nothrow)
      PavoRmResourceObjectNormalDll(PavoRmCString(pavoRmName()), pavoRmDllInstance(), pavoRmDllInstance());
  const int result = manager->AttachResourceObject(object, 1);
  if (result == 0) delete object;  // leaves the manager's list in its destructor
  return result;
}

extern "C" void PavoRmExit(void) {
  const PavoRmCString name(pavoRmName());
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  if (manager == nullptr) return;
  delete manager->DetachResourceObject(name);
}
