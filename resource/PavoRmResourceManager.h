// PavoRmResourceManager: the process-wide registry of resource objects, in
// attachment order, with the information object that objects without one of
// their own use. The host constructs it; the first one constructed is the
// singleton reached through Instance().
#ifndef PAVORM_RESOURCE_PAVORMRESOURCEMANAGER_H
#define PAVORM_RESOURCE_PAVORMRESOURCEMANAGER_H

#include "PavoRm51Export.h"

#include "info/PavoRmInformation.h"
#include "platform/afx/afx_ptr_list.h"
#include "string/PavoRmCString.h"

class PavoRmResourceObject;

class PAVORM_API PavoRmResourceManager {
 public:
  // Becomes the singleton when there is none.
  PavoRmResourceManager();
  PavoRmResourceManager(const PavoRmResourceManager&) = delete;
  PavoRmResourceManager& operator=(const PavoRmResourceManager&) = delete;
  // Deletes the attached objects newest first, then releases the information
  // object; clears the singleton (whichever manager is destroyed).
  virtual ~PavoRmResourceManager();

  // The singleton; null, after the box "Internal Error: Resource-Manager not
  // found!!!", when there is none.
  static PavoRmResourceManager* Instance();

  // Takes a reference on information and releases the previous one. Null is refused.
  void AttachInformation(PavoRmInformation* information);
  PavoRmInformation* Information() const { return m_Information; }

  // Appends object and returns its Init(); 0 for null or an object already
  // attached. The object stays attached when Init fails. The flag is unused.
  int AttachResourceObject(PavoRmResourceObject* object, int flag);
  // Takes the oldest object of that name out of the list and hands it back
  // to the caller; null for an empty or unknown name.
  PavoRmResourceObject* DetachResourceObject(const PavoRmCString& name);
  // The oldest attached object of that name (exact, case-sensitive), or null.
  PavoRmResourceObject* GetResourceObject(const PavoRmCString& name) const;
  // Does nothing and returns 0: objects reload through their own Init.
  int ChangeLanguage(const PavoRmCString& language);
  // The information's current language; empty without information.
  PavoRmCString CurrentLanguage() const;

 private:
  friend class PavoRmResourceObject;
  // Takes this very object out of the list (a resource object's destructor).
  void RemoveResourceObject(PavoRmResourceObject* object);

  // Fills list with the languages that the manager's information and every
  // attached object's information all offer; 0 when any of them cannot tell.
  int GetInstalledLanguageList(PavoRmLanguageList& list);
  // Keeps in first only the names that second also holds; 0 when either is empty.
  int LeastCommonDenominator(PavoRmLanguageList& first, PavoRmLanguageList& second);
  // Deletes the strings and empties the list.
  void ClearStringList(PavoRmLanguageList& list);

  static PavoRmResourceManager* m_Instance;
  PavoRmInformation* m_Information;
  // No index by name: a subclass may rename an attached object (m_Name is
  // protected) without telling the manager, so only a walk of the list at
  // lookup time finds the oldest object that has the name now.
  CTypedPtrList<PavoRmResourceObject*> m_ResourceObjects;
};

#endif
