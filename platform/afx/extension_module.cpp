#include "platform/afx/extension_module.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/afx/module_state.h"
#include "platform/win/last_error.h"
#include "platform/win/resources.h"
#include "platform/win/module_table.h"

namespace {

struct Chain {
  std::mutex lock;
  std::vector<CDynLinkLibrary*> links;  // oldest first
};

Chain& TheChain() {
  static Chain* chain = new Chain;  // never destroyed: libraries unload after static destruction
  return *chain;
}

// The modules to search, in order, without holding the lock while searching.
std::vector<HMODULE> SearchOrder() {
  std::vector<HMODULE> order;
  if (HINSTANCE current = AfxGetResourceHandle()) order.push_back(current);
  Chain& c = TheChain();
  std::lock_guard<std::mutex> guard(c.lock);
  for (auto it = c.links.rbegin(); it != c.links.rend(); ++it) order.push_back((*it)->m_hResource);
  return order;
}

}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
  if (state.bInitialized) return TRUE;
#if defined(_WIN32)
  const bool known = module != nullptr;  // the loader's handles are its business
#else
  const bool known = module != nullptr && pavo::ModuleImage(module) != nullptr;
#endif
  if (!known) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  state.hModule = module;
  state.hResource = module;
  state.bInitialized = TRUE;
  return TRUE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL system)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(system) {
  Chain& c = TheChain();
  std::lock_guard<std::mutex> guard(c.lock);
  c.links.push_back(this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
  Chain& c = TheChain();
  std::lock_guard<std::mutex> guard(c.lock);
  c.links.erase(std::remove(c.links.begin(), c.links.end(), this), c.links.end());
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL all) {
  std::vector<CDynLinkLibrary*> doomed;
  {
    Chain& c = TheChain();
    std::lock_guard<std::mutex> guard(c.lock);
    for (CDynLinkLibrary* link : c.links) {
      if (all || link->m_hModule == state.hModule) doomed.push_back(link);
    }
  }
  for (CDynLinkLibrary* link : doomed) delete link;  // each unlinks itself
  state.bInitialized = FALSE;
}

HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type) {
  for (HMODULE m : SearchOrder()) {
    if (FindResourceW(m, name, type) != nullptr) return m;
  }
  return nullptr;
}

int AfxLoadString(UINT id, LPWSTR buffer, UINT bufferMax) {
  if (buffer == nullptr || bufferMax == 0 || bufferMax > 0x7FFFFFFFu) return 0;
  for (HMODULE m : SearchOrder()) {
    const int n = LoadStringW(m, id, buffer, static_cast<int>(bufferMax));
    if (n > 0) return n;
  }
  buffer[0] = 0;
  return 0;
}

unsigned AfxResourceChainLength() {
  Chain& c = TheChain();
  std::lock_guard<std::mutex> guard(c.lock);
  return static_cast<unsigned>(c.links.size());
}
