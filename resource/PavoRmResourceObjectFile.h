// PavoRmResourceObjectFile: a language-dependent plain file. Nothing is
// loaded; the object resolves the file's path, read with GetFileName.
#ifndef PAVORM_RESOURCE_PAVORMRESOURCEOBJECTFILE_H
#define PAVORM_RESOURCE_PAVORMRESOURCEOBJECTFILE_H

#include "PavoRm51Export.h"

#include "resource/PavoRmResourceObject.h"

class PAVORM_API PavoRmResourceObjectFile : public PavoRmResourceObject {
 public:
  explicit PavoRmResourceObjectFile(const PavoRmCString& name);
  // fileName is the committed file until the first commit.
  PavoRmResourceObjectFile(const PavoRmCString& name, const PavoRmCString& fileName);
  ~PavoRmResourceObjectFile() override;
  // Records the expanded path when the file exists; a missing file is reported in a box.
  int TryLoad(const PavoRmCString& fileName) override;
  int CatchLoad() override;
  int FinishLoad() override;
};

#endif
