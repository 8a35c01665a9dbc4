#include "resource/PavoRmResourceObjectResourceDll.h"

#include <utility>

#include "platform/afx/afx_message_box.h"
#include "platform/win/modules.h"
#include "resource/language_file.h"

PavoRmResourceObjectResourceDll::PavoRmResourceObjectResourceDll(const PavoRmCString& name)
    : PavoRmResourceObject(name), m_PendingHandle(nullptr) {}

PavoRmResourceObjectResourceDll::~PavoRmResourceObjectResourceDll() = default;

int PavoRmResourceObjectResourceDll::TryLoad(const PavoRmCString& fileName) {
  // A candidate still pending would otherwise keep its module mapped for good.
  if (m_LoadState == 1) CatchLoad();
  m_LoadState = 2;
  PavoRmInformation* information = Information();
  if (information == nullptr) return 0;
  PavoRmCString path = information->ExpandPath(fileName);
  bool missing = false;
  HINSTANCE module = pavo::LoadLanguageFile(*information, path, LOAD_LIBRARY_AS_DATAFILE, &missing);
  if (module == nullptr) {
    if (missing) AfxMessageBox(pavo::FileNotFoundText(path).GetString(), 0, 0);
    return 0;
  }
  m_PendingHandle = module;
  m_PendingFileName = std::move(path);
  m_LoadState = 1;
  return 1;
}

int PavoRmResourceObjectResourceDll::FinishLoad() {
  if (m_LoadState != 1) return m_LoadState == 2 ? 0 : 1;
  int result = 1;
  m_LoadState = 0;
  if (m_ResourceHandle != nullptr) {
    result = FreeLibrary(m_ResourceHandle) ? 1 : 0;
    if (result == 0) m_LoadState = 2;
  }
  // Committed even when the release failed: the new module is mapped and usable.
  m_ResourceHandle = m_PendingHandle;
  m_FileName = std::move(m_PendingFileName);
  m_PendingHandle = nullptr;
  m_PendingFileName.Empty();
  return result;
}

int PavoRmResourceObjectResourceDll::CatchLoad() {
  int result = 1;
  if (m_LoadState == 1) {
    result = FreeLibrary(m_PendingHandle) ? 1 : 0;
    m_LoadState = result != 0 ? 0 : 2;
  }
  m_PendingHandle = nullptr;
  m_PendingFileName.Empty();
  return result;
}
