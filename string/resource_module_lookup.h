// How the loaders by resource-object name find a module: the string layer
// knows no resource manager, so the resource layer installs a lookup here
// (name -> manager -> object -> module handle). Without one every name is
// unknown, exactly as when there is no manager.
#ifndef PAVORM_STRING_RESOURCE_MODULE_LOOKUP_H
#define PAVORM_STRING_RESOURCE_MODULE_LOOKUP_H

#include "platform/win/win_types.h"

class PavoRmCString;

namespace pavo {

// The module of the resource object registered under resourceName, or null
// (reporting what it must itself) when there is none.
using ResourceModuleLookup = HINSTANCE (*)(const PavoRmCString& resourceName);

// Installs lookup for the whole process (null removes it); returns the one it replaces.
ResourceModuleLookup SetResourceModuleLookup(ResourceModuleLookup lookup) noexcept;
// Removes lookup only when it is the one installed: a layer that goes away
// takes its own lookup and leaves anyone else's.
void RemoveResourceModuleLookup(ResourceModuleLookup lookup) noexcept;
// The installed lookup's answer for resourceName; null when none is installed.
HINSTANCE FindResourceModule(const PavoRmCString& resourceName);

}  // namespace pavo

#endif
