#include "resource/PavoRmResourceManager.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "resource/PavoRmResourceObject.h"
#include "resource/identity.h"
#include "resource/library_state.h"
#include "resource/string_ids.h"

PavoRmResourceManager* PavoRmResourceManager::m_Instance = nullptr;

PavoRmResourceManager::PavoRmResourceManager() : m_Information(nullptr) {
  if (m_Instance == nullptr) m_Instance = this;
  // A host (or a test) may construct its manager before the entry routine
  // has run, in a static initialiser of a static link: loads by name find
  // their objects from here on all the same.
  pavo::InstallModuleLookup();
}

PavoRmResourceManager::~PavoRmResourceManager() {
  // Each object is out of the list before its destructor runs, so its own
  // removal finds nothing and the walk never meets a deleted entry.
  while (!m_ResourceObjects.IsEmpty()) {
    delete m_ResourceObjects.RemoveTail();
  }
  if (m_Information != nullptr) {
    PavoRmInformation* information = m_Information;
    m_Information = nullptr;
    information->SafeDelete();
  }
  m_Instance = nullptr;
}

PavoRmResourceManager* PavoRmResourceManager::Instance() {
  AssertWithErrorMessage(m_Instance == nullptr, IDS_PAVORM_NO_RESOURCE_MANAGER);
  return m_Instance;
}

void PavoRmResourceManager::AttachInformation(PavoRmInformation* information) {
  if (information == nullptr) return;
  // Referencing first keeps an object alive that is attached again while
  // the manager is its only holder.
  information->reference();
  PavoRmInformation* previous = m_Information;
  m_Information = information;
  if (previous != nullptr) previous->SafeDelete();
}

int PavoRmResourceManager::AttachResourceObject(PavoRmResourceObject* object, int) {
  if (object == nullptr) return 0;
  if (std::find(m_ResourceObjects.begin(), m_ResourceObjects.end(), object) != m_ResourceObjects.end()) return 0;
  m_ResourceObjects.AddTail(object);
  return object->Init();
}

PavoRmResourceObject* PavoRmResourceManager::DetachResourceObject(const PavoRmCString& name) {
  if (name.IsEmpty()) return nullptr;
  PavoRmResourceObject* object = GetResourceObject(name);
  if (object == nullptr) return nullptr;
  m_ResourceObjects.RemoveOne(object);
  return object;
}

namespace {

// Whole-string equality, unit for unit (names may hold any unit).
bool SameName(const PavoRmCString& a, const PavoRmCString& b) {
  const int length = a.GetLength();
  return length == b.GetLength() &&
         std::memcmp(a.GetString(), b.GetString(), static_cast<size_t>(length) * sizeof(WCHAR)) == 0;
}

}  // namespace

PavoRmResourceObject* PavoRmResourceManager::GetResourceObject(const PavoRmCString& name) const {
  // The names as they are now: an object renamed since it was attached is
  // found under its new name, and the oldest holder of a name wins.
  for (PavoRmResourceObject* object : m_ResourceObjects) {
    if (object != nullptr && SameName(object->GetName(), name)) return object;
  }
  return nullptr;
}

int PavoRmResourceManager::ChangeLanguage(const PavoRmCString&) { return 0; }

PavoRmCString PavoRmResourceManager::CurrentLanguage() const {
  if (m_Information == nullptr) return PavoRmCString();
  return m_Information->GetCurrentLanguage();
}

void PavoRmResourceManager::RemoveResourceObject(PavoRmResourceObject* object) {
  if (object != nullptr) m_ResourceObjects.RemoveOne(object);
}

int PavoRmResourceManager::GetInstalledLanguageList(PavoRmLanguageList& list) {
  if (m_ResourceObjects.IsEmpty() || m_Information == nullptr) return 0;
  int result = m_Information->GetLanguageList(list);
  // A copy: an information object's callbacks could change the list.
  const std::vector<PavoRmResourceObject*> objects(m_ResourceObjects.begin(), m_ResourceObjects.end());
  for (PavoRmResourceObject* object : objects) {
    if (result == 0) break;
    PavoRmInformation* information = object != nullptr ? object->Information() : nullptr;
    if (information == nullptr) {
      result = 0;
      break;
    }
    PavoRmLanguageList offered;
    result = information->GetLanguageList(offered);
    if (result != 0) result = LeastCommonDenominator(list, offered);
    ClearStringList(offered);
  }
  return result;
}

int PavoRmResourceManager::LeastCommonDenominator(PavoRmLanguageList& first, PavoRmLanguageList& second) {
  if (first.IsEmpty() || second.IsEmpty()) return 0;
  int index = 0;
  while (index < first.GetCount()) {
    PavoRmCString* language = first.GetAt(index);
    bool offered = false;
    for (PavoRmCString* other : second) {
      if (language != nullptr && other != nullptr && *language == *other) {
        offered = true;
        break;
      }
    }
    if (offered) {
      ++index;
      continue;
    }
    first.RemoveOne(language);
    delete language;
  }
  return 1;
}

void PavoRmResourceManager::ClearStringList(PavoRmLanguageList& list) {
  for (PavoRmCString* language : list) delete language;
  list.RemoveAll();
}
