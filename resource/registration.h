// Switching the resource management on and off for the library itself: its
// own resource object "PavoRm" (a normal module whose built-in resources are
// the library's) is registered with, and removed from, the host's manager.
#ifndef PAVORM_RESOURCE_REGISTRATION_H
#define PAVORM_RESOURCE_REGISTRATION_H

#include "PavoRm51Export.h"

class PavoRmInformation;

extern "C" {
// Attaches information (when not null) to the manager, then registers and
// loads the library's own object. Non-zero on success; 0 without a manager,
// without any information object, or when the object's Init fails.
PAVORM_API int PavoRmInit(PavoRmInformation* information);
// Detaches and deletes the first object named "PavoRm"; the manager and its
// information stay.
PAVORM_API void PavoRmExit(void);
}

#endif
