#include "resource/PavoRmResourceObjectNormalDll.h"

#include <utility>

#include "platform/win/modules.h"
#include "resource/language_file.h"

PavoRmResourceObjectNormalDll::PavoRmResourceObjectNormalDll(const PavoRmCString& name, HINSTANCE module,
                                                             HINSTANCE resource)
    : PavoRmResourceObject(name), m_ModuleHandle(module), m_PendingHandle(nullptr) {
  m_ResourceHandle = resource;
}

PavoRmResourceObjectNormalDll::~PavoRmResourceObjectNormalDll() = default;

int PavoRmResourceObjectNormalDll::TryLoad(const PavoRmCString& fileName) {
  // A candidate still pending would otherwise keep its module loaded for good.
  if (m_LoadState == 1) CatchLoad();
  if (fileName == m_Name) {
    m_PendingHandle = m_ModuleHandle;
    m_PendingFileName = fileName;
    m_LoadState = 1;
    return 1;
  }
  m_LoadState = 2;
  PavoRmInformation* information = Information();
  if (information == nullptr) return 0;
  PavoRmCString path = information->ExpandPath(fileName);
  bool missing = false;
  HINSTANCE module = pavo::LoadLanguageFile(*information, path, 0, &missing);
  if (module == nullptr) {
    // This kind stays silent; the text is still built, so that a message
    // missing from the library's own resources gets reported.
    if (missing) pavo::FileNotFoundText(path);
    return 0;
  }
  m_PendingHandle = module;
  m_PendingFileName = std::move(path);
  m_LoadState = 1;
  return 1;
}

int PavoRmResourceObjectNormalDll::FinishLoad() {
  if (m_LoadState != 1) return m_LoadState == 2 ? 0 : 1;
  int result = 1;
  m_LoadState = 0;
  // The own module (current while m_FileName is the name) is never released.
  if (m_FileName != m_Name && m_ResourceHandle != nullptr) {
    result = FreeLibrary(m_ResourceHandle) ? 1 : 0;
    if (result == 0) m_LoadState = 2;
  }
  // Committed even when the release failed: the new module is loaded and usable.
  m_ResourceHandle = m_PendingHandle;
  m_FileName = std::move(m_PendingFileName);
  m_PendingHandle = nullptr;
  m_PendingFileName.Empty();
  return result;
}

int PavoRmResourceObjectNormalDll::CatchLoad() {
  int result = 1;
  if (m_LoadState == 1) {
    m_LoadState = 0;
    if (m_PendingFileName != m_Name) {
      result = FreeLibrary(m_PendingHandle) ? 1 : 0;
      if (result == 0) m_LoadState = 2;
    }
  }
  m_PendingHandle = nullptr;
  m_PendingFileName.Empty();
  return result;
}
