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
  if (fileName == m_Name) return SetCandidate(fileName, m_ModuleHandle, &m_PendingHandle);
  PavoRmCString path;
  PavoRmInformation* information = ExpandCandidate(fileName, &path);
  if (information == nullptr) return 0;
  bool missing = false;
  HINSTANCE module = pavo::LoadLanguageFile(*information, path, 0, &missing);
  if (module == nullptr) {
    // This kind stays silent; the text is still built, so that a message
    // missing from the library's own resources gets reported.
    if (missing) pavo::FileNotFoundText(path);
    return 0;
  }
  return SetCandidate(std::move(path), module, &m_PendingHandle);
}

int PavoRmResourceObjectNormalDll::FinishLoad() {
  // The own module (current while m_FileName is the name) is never released.
  return CommitCandidate(&m_PendingHandle, m_FileName != m_Name);
}

int PavoRmResourceObjectNormalDll::CatchLoad() {
  // A pending own module is not released either.
  return DiscardCandidate(&m_PendingHandle, m_PendingFileName != m_Name);
}
