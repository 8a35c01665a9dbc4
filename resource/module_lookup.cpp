// The resource layer's answer to the string layer's loads by resource-object
// name: the module of the manager's object of that name.
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "resource/library_state.h"
#include "string/resource_module_lookup.h"

namespace {

// Null when there is no manager (Instance has reported it), no such object or
// no module.
HINSTANCE ModuleOf(const PavoRmCString& resourceName) {
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  if (manager == nullptr) return nullptr;
  PavoRmResourceObject* object = manager->GetResourceObject(resourceName);
  return object != nullptr ? object->GetResourceHandle() : nullptr;
}

}  // namespace

void pavo::InstallModuleLookup() noexcept { SetResourceModuleLookup(&ModuleOf); }

void pavo::RemoveModuleLookup() noexcept { RemoveResourceModuleLookup(&ModuleOf); }
