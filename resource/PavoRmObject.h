// PavoRmObject: an interface object that shows the texts of a resource
// object and is told when that object has loaded another language module.
#ifndef PAVORM_RESOURCE_PAVORMOBJECT_H
#define PAVORM_RESOURCE_PAVORMOBJECT_H

#include "PavoRm51Export.h"

class PavoRmResourceObject;

class PAVORM_API PavoRmObject {
 public:
  PavoRmObject() = default;
  PavoRmObject(const PavoRmObject&) = delete;
  PavoRmObject& operator=(const PavoRmObject&) = delete;
  // Does not leave the owner's list; a child that may outlive its owner's
  // interest calls byeBye itself.
  virtual ~PavoRmObject();
  // Called after the owner has committed a new language module, inside a
  // resource scope of the owner.
  virtual void SwitchLanguage() = 0;

  // The resource object that deletes this child, or null.
  PavoRmResourceObject* GetObjectOwner() const { return m_Owner; }
  void SetObjectOwner(PavoRmResourceObject* owner) { m_Owner = owner; }

 protected:
  PavoRmResourceObject* m_Owner = nullptr;
};

#endif
