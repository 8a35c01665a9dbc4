// PavoRmResourceObjectResourceDll: resources that live only in a
// resource-only language module, mapped as a data file.
#ifndef PAVORM_RESOURCE_PAVORMRESOURCEOBJECTRESOURCEDLL_H
#define PAVORM_RESOURCE_PAVORMRESOURCEOBJECTRESOURCEDLL_H

#include "PavoRm51Export.h"

#include "resource/PavoRmResourceObject.h"

class PAVORM_API PavoRmResourceObjectResourceDll : public PavoRmResourceObject {
 public:
  explicit PavoRmResourceObjectResourceDll(const PavoRmCString& name);
  ~PavoRmResourceObjectResourceDll() override;
  // Maps the expanded file (flags 2) as candidate; a missing file is reported in a box.
  int TryLoad(const PavoRmCString& fileName) override;
  int CatchLoad() override;
  // Releases the current module, commits the candidate.
  int FinishLoad() override;

 protected:
  HINSTANCE m_PendingHandle;
};

#endif
