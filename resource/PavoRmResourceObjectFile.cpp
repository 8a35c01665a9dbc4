#include "resource/PavoRmResourceObjectFile.h"

#include <utility>

#include "platform/afx/afx_message_box.h"
#include "resource/language_file.h"

PavoRmResourceObjectFile::PavoRmResourceObjectFile(const PavoRmCString& name) : PavoRmResourceObject(name) {}

PavoRmResourceObjectFile::PavoRmResourceObjectFile(const PavoRmCString& name, const PavoRmCString& fileName)
    : PavoRmResourceObject(name) {
  m_FileName = fileName;
}

PavoRmResourceObjectFile::~PavoRmResourceObjectFile() = default;

int PavoRmResourceObjectFile::TryLoad(const PavoRmCString& fileName) {
  if (fileName == m_Name) {
    m_PendingFileName = fileName;
    m_LoadState = 1;
    return 1;
  }
  m_LoadState = 2;
  PavoRmInformation* information = Information();
  if (information == nullptr) return 0;
  PavoRmCString path = information->ExpandPath(fileName);
  if (!information->FileExist(path)) {
    AfxMessageBox(pavo::FileNotFoundText(path).GetString(), 0, 0);
    return 0;
  }
  m_PendingFileName = std::move(path);
  m_LoadState = 1;
  return 1;
}

int PavoRmResourceObjectFile::FinishLoad() {
  if (m_LoadState != 1) return m_LoadState == 2 ? 0 : 1;
  m_LoadState = 0;
  m_FileName = std::move(m_PendingFileName);
  m_PendingFileName.Empty();
  return 1;
}

int PavoRmResourceObjectFile::CatchLoad() {
  if (m_LoadState == 1) m_LoadState = 0;
  m_PendingFileName.Empty();
  return 1;
}
