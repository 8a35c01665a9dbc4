#include "resource/PavoRmResourceObjectFile.h"

#include <utility>

#include "platform/afx/afx_message_box.h"
#include "resource/language_file.h"
#include "resource/string_ids.h"

PavoRmResourceObjectFile::PavoRmResourceObjectFile(const PavoRmCString& name) : PavoRmResourceObject(name) {}

PavoRmResourceObjectFile::PavoRmResourceObjectFile(const PavoRmCString& name, const PavoRmCString& fileName)
    : PavoRmResourceObject(name) {
  m_FileName = fileName;
}

PavoRmResourceObjectFile::~PavoRmResourceObjectFile() = default;

int PavoRmResourceObjectFile::TryLoad(const PavoRmCString& fileName) {
  if (fileName == m_Name) return SetCandidate(fileName, nullptr, nullptr);
  PavoRmCString path;
  PavoRmInformation* information = ExpandCandidate(fileName, &path);
  if (information == nullptr) return 0;
  if (!information->FileExist(path)) {
    AfxMessageBox(pavo::FileNotFoundText(path).GetString(), PAVORM_MESSAGE_BOX_STYLE,
                  PAVORM_MESSAGE_BOX_NO_HELP);
    return 0;
  }
  return SetCandidate(std::move(path), nullptr, nullptr);
}

int PavoRmResourceObjectFile::FinishLoad() { return CommitCandidate(nullptr, false); }

int PavoRmResourceObjectFile::CatchLoad() { return DiscardCandidate(nullptr, false); }
