#include "resource/PavoRmObject.h"

// Out of line so that the class's virtual table lives in the library.
PavoRmObject::~PavoRmObject() = default;
