// PavoRmResourceObjectNormalDll: a module with resources of its own that a
// language module, loaded as an ordinary module, may override. A file name
// equal to the object's name selects the module's own resources.
#ifndef PAVORM_RESOURCE_PAVORMRESOURCEOBJECTNORMALDLL_H
#define PAVORM_RESOURCE_PAVORMRESOURCEOBJECTNORMALDLL_H

#include "PavoRm51Export.h"

#include "resource/PavoRmResourceObject.h"

class PAVORM_API PavoRmResourceObjectNormalDll : public PavoRmResourceObject {
 public:
  // module: the module's own handle; resource: where resources come from until the first commit.
  PavoRmResourceObjectNormalDll(const PavoRmCString& name, HINSTANCE module, HINSTANCE resource);
  ~PavoRmResourceObjectNormalDll() override;
  // Loads the expanded file (flags 0) as candidate; silent when it is missing.
  int TryLoad(const PavoRmCString& fileName) override;
  int CatchLoad() override;
  // Releases the current language module (never the own module), commits the candidate.
  int FinishLoad() override;

 protected:
  HINSTANCE m_ModuleHandle;
  HINSTANCE m_PendingHandle;
};

#endif
