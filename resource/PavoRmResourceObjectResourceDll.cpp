#include "resource/PavoRmResourceObjectResourceDll.h"

#include <utility>

#include "platform/afx/afx_message_box.h"
#include "platform/win/modules.h"
#include "resource/language_file.h"
#include "resource/string_ids.h"

PavoRmResourceObjectResourceDll::PavoRmResourceObjectResourceDll(const PavoRmCString& name)
    : PavoRmResourceObject(name), m_PendingHandle(nullptr) {}

PavoRmResourceObjectResourceDll::~PavoRmResourceObjectResourceDll() = default;

int PavoRmResourceObjectResourceDll::TryLoad(const PavoRmCString& fileName) {
  // A candidate still pending would otherwise keep its module mapped for good.
  if (m_LoadState == 1) CatchLoad();
  PavoRmCString path;
  PavoRmInformation* information = ExpandCandidate(fileName, &path);
  if (information == nullptr) return 0;
  bool missing = false;
  HINSTANCE module = pavo::LoadLanguageFile(*information, path, LOAD_LIBRARY_AS_DATAFILE, &missing);
  if (module == nullptr) {
    if (missing) {
      AfxMessageBox(pavo::FileNotFoundText(path).GetString(), PAVORM_MESSAGE_BOX_STYLE,
                    PAVORM_MESSAGE_BOX_NO_HELP);
    }
    return 0;
  }
  return SetCandidate(std::move(path), module, &m_PendingHandle);
}

int PavoRmResourceObjectResourceDll::FinishLoad() { return CommitCandidate(&m_PendingHandle, true); }

int PavoRmResourceObjectResourceDll::CatchLoad() { return DiscardCandidate(&m_PendingHandle, true); }
