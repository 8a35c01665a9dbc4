#include "resource/PavoRmResourceObject.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/win/modules.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"

PavoRmResourceObject::PavoRmResourceObject(const PavoRmCString& name)
    : m_Name(name),
      m_Information(nullptr),
      m_OwnInformation(0),
      m_FileName(name),
      m_LoadState(0),
      m_ResourceHandle(nullptr) {}

PavoRmResourceObject::~PavoRmResourceObject() {
  // By pointer, not by name: with two objects of one name, leaving by name
  // would take the other one out and leave this one dangling in the list.
  if (PavoRmResourceManager* manager = PavoRmResourceManager::Instance()) manager->RemoveResourceObject(this);

  // A child's destructor may take itself or another child out of the list,
  // or add children: take the owned children out one at a time, oldest
  // first, until none is left, so that one added meanwhile is deleted too.
  for (;;) {
    PavoRmObject* owned = nullptr;
    for (PavoRmObject* child : m_Children) {
      if (child != nullptr && child->GetObjectOwner() == this) {
        owned = child;
        break;
      }
    }
    if (owned == nullptr) break;
    m_Children.RemoveOne(owned);
    delete owned;
  }
  m_Children.RemoveAll();

  if (m_Information != nullptr) {
    PavoRmInformation* information = m_Information;
    m_Information = nullptr;
    information->SafeDelete();
  }
}

bool PavoRmResourceObject::HasChild(PavoRmObject* child) const {
  return std::find(m_Children.begin(), m_Children.end(), child) != m_Children.end();
}

void PavoRmResourceObject::AddChildren(PavoRmObject* child, int takeOwnership) {
  if (child == nullptr || HasChild(child)) return;
  m_Children.AddTail(child);
  if (takeOwnership != 0) child->SetObjectOwner(this);
}

void PavoRmResourceObject::byeBye(PavoRmObject* child) {
  if (child != nullptr) m_Children.RemoveOne(child);
}

int PavoRmResourceObject::SwitchChildren() {
  if (m_Children.IsEmpty()) return 1;
  PavoRmResource scope(m_Name);
  // A child may leave (byeBye), remove others or add children while it is
  // told: walk copies of the list until a pass meets no child not yet told,
  // skipping whatever is no longer listed. Each child is told once.
  std::unordered_set<PavoRmObject*> told;
  std::vector<PavoRmObject*> children;
  for (bool more = true; more;) {
    more = false;
    children.assign(m_Children.begin(), m_Children.end());
    for (PavoRmObject* child : children) {
      if (child == nullptr || told.count(child) != 0 || !HasChild(child)) continue;
      told.insert(child);
      more = true;
      child->SwitchLanguage();
    }
  }
  return 1;
}

PavoRmInformation* PavoRmResourceObject::Information() const {
  if (m_Information != nullptr) return m_Information;
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  return manager != nullptr ? manager->Information() : nullptr;
}

void PavoRmResourceObject::AttachInformation(PavoRmInformation* information) {
  if (information == nullptr) return;
  // Referencing first keeps an object alive that is attached again while
  // this object is its only holder.
  information->reference();
  PavoRmInformation* previous = m_Information;
  m_Information = information;
  m_OwnInformation = 1;
  if (previous != nullptr) previous->SafeDelete();
}

PavoRmInformation* PavoRmResourceObject::ExpandCandidate(const PavoRmCString& fileName,
                                                         PavoRmCString* path) {
  m_LoadState = 2;
  PavoRmInformation* information = Information();
  if (information != nullptr) *path = information->ExpandPath(fileName);
  return information;
}

int PavoRmResourceObject::SetCandidate(PavoRmCString fileName, HINSTANCE module, HINSTANCE* pending) {
  if (pending != nullptr) *pending = module;
  m_PendingFileName = std::move(fileName);
  m_LoadState = 1;
  return 1;
}

int PavoRmResourceObject::CommitCandidate(HINSTANCE* pending, bool releaseCurrent) {
  if (m_LoadState != 1) return m_LoadState == 2 ? 0 : 1;
  int result = 1;
  m_LoadState = 0;
  if (releaseCurrent && m_ResourceHandle != nullptr) {
    result = FreeLibrary(m_ResourceHandle) ? 1 : 0;
    if (result == 0) m_LoadState = 2;
  }
  if (pending != nullptr) {
    m_ResourceHandle = *pending;
    *pending = nullptr;
  }
  m_FileName = std::move(m_PendingFileName);
  m_PendingFileName.Empty();
  return result;
}

int PavoRmResourceObject::DiscardCandidate(HINSTANCE* pending, bool releasePending) {
  int result = 1;
  if (m_LoadState == 1) {
    m_LoadState = 0;
    if (releasePending) {
      result = FreeLibrary(*pending) ? 1 : 0;
      if (result == 0) m_LoadState = 2;
    }
  }
  if (pending != nullptr) *pending = nullptr;
  m_PendingFileName.Empty();
  return result;
}

int PavoRmResourceObject::LoadCandidate(const PavoRmCString& fileName, int* result) {
  if (!TryLoad(fileName)) return 0;
  *result = FinishLoad();
  if (*result != 0) *result = SwitchChildren();
  return 1;
}

int PavoRmResourceObject::Init() {
  if (m_OwnInformation == 0) {
    if (PavoRmResourceManager* manager = PavoRmResourceManager::Instance()) AttachInformation(manager->Information());
  }
  PavoRmInformation* information = Information();
  if (information == nullptr) return 0;

  PavoRmCString fileName = information->ReadValue(PavoRmCString(), m_Name);
  if (fileName.IsEmpty()) {
    fileName = m_Name;
    fileName += information->GetCurrentLanguage();
    fileName += WTEXT(".dll");
  }
  if (fileName.IsEmpty()) return 0;

  int result = 0;
  if (LoadCandidate(fileName, &result)) return result;
  // Whatever the first candidate was, the fallback is the English module.
  fileName = m_Name;
  fileName += WTEXT("enu.dll");
  if (LoadCandidate(fileName, &result)) return result;
  return CatchLoad();
}
