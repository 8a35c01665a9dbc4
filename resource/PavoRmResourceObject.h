// PavoRmResourceObject: the localisable resources of one module, known to the
// resource manager by name. Init resolves the language file (configured file,
// else name + language + ".dll", else name + "enu.dll") and has the kind load
// it in two phases (TryLoad prepares, FinishLoad commits, CatchLoad discards),
// then tells the children.
#ifndef PAVORM_RESOURCE_PAVORMRESOURCEOBJECT_H
#define PAVORM_RESOURCE_PAVORMRESOURCEOBJECT_H

#include "PavoRm51Export.h"

#include "info/PavoRmInformation.h"
#include "platform/afx/afx_ptr_list.h"
#include "platform/win/win_types.h"
#include "resource/PavoRmObject.h"
#include "string/PavoRmCString.h"

class PAVORM_API PavoRmResourceObject {
 public:
  explicit PavoRmResourceObject(const PavoRmCString& name);
  PavoRmResourceObject(const PavoRmResourceObject&) = delete;
  PavoRmResourceObject& operator=(const PavoRmResourceObject&) = delete;
  // Leaves the manager's list (this very object), deletes the children it
  // owns and releases its information object. No module is unloaded.
  virtual ~PavoRmResourceObject();
  // Loads the language file of the information's current language; non-zero
  // on success, also when no candidate exists (the previous module stays).
  // 0 without any information object or when releasing the old module fails.
  virtual int Init();
  // Prepares fileName as the candidate; non-zero when prepared (state 1).
  virtual int TryLoad(const PavoRmCString& fileName) = 0;
  // Throws the prepared candidate away; 0 only when releasing it failed.
  virtual int CatchLoad() = 0;
  // Commits the candidate and releases what it replaces; 0 when nothing was
  // prepared because the last attempt failed, or the release failed.
  virtual int FinishLoad() = 0;

  // Adds a child once; with takeOwnership this object deletes it when destroyed.
  void AddChildren(PavoRmObject* child, int takeOwnership);
  // Takes the child out of the list without deleting it.
  void byeBye(PavoRmObject* child);
  // Calls SwitchLanguage of each child inside a resource scope of this object; 1.
  int SwitchChildren();

  const PavoRmCString& GetName() const { return m_Name; }
  const PavoRmCString& GetFileName() const { return m_FileName; }
  HINSTANCE GetResourceHandle() const { return m_ResourceHandle; }
  // This object's information object, else the manager's, else null.
  PavoRmInformation* Information() const;
  // Takes a reference on information and drops the one it held; null is ignored.
  void AttachInformation(PavoRmInformation* information);

 protected:
  PavoRmCString m_Name;
  CTypedPtrList<PavoRmObject*> m_Children;
  PavoRmInformation* m_Information;
  int m_OwnInformation;
  PavoRmCString m_FileName;
  PavoRmCString m_PendingFileName;
  int m_LoadState;  // 0 idle, 1 candidate pending, 2 last attempt or release failed
  HINSTANCE m_ResourceHandle;

  // Steps the kinds share. pending is the kind's candidate module handle,
  // null for a kind that loads no module.
  // Marks the attempt failed and expands fileName; null without an information object.
  PavoRmInformation* ExpandCandidate(const PavoRmCString& fileName, PavoRmCString* path);
  // Makes fileName (and module) the pending candidate; 1.
  int SetCandidate(PavoRmCString fileName, HINSTANCE module, HINSTANCE* pending);
  // FinishLoad: releases the current module when releaseCurrent, then commits
  // the candidate even if that release failed (the new module is usable).
  int CommitCandidate(HINSTANCE* pending, bool releaseCurrent);
  // CatchLoad: releases the pending module when releasePending, forgets the candidate.
  int DiscardCandidate(HINSTANCE* pending, bool releasePending);

 private:
  bool HasChild(PavoRmObject* child) const;
  // TryLoad of the candidate; on success FinishLoad, then SwitchChildren.
  int LoadCandidate(const PavoRmCString& fileName, int* result);
};

#endif
