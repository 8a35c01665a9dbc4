// PavoRmInformationRegistry: the information object that keeps its settings in
// the registry, under a key path (m_Root) below a root key that the host owns.
//
//   key m_Root                REG_SZ per resource object: its language file
//   sub-keys of m_Root        one per installed language (section keys count too)
//   key m_Root\section        REG_SZ settings of that section
#ifndef PAVORM_INFO_PAVORMINFORMATIONREGISTRY_H
#define PAVORM_INFO_PAVORMINFORMATIONREGISTRY_H

#include "PavoRm51Export.h"

#include "info/PavoRmInformation.h"
#include "platform/win/registry.h"

class PAVORM_API PavoRmInformationRegistry : public PavoRmInformation {
 public:
  // rootKey stays the host's: it is never closed here.
  PavoRmInformationRegistry(HKEY rootKey, const PavoRmCString& keyPath,
                            const PavoRmCString& languageDirectory,
                            const PavoRmCString& currentLanguage);

  // Stores value as REG_SZ named name in m_Root\section (the key is made when
  // missing, with class "PavoRm"). 1 on success, else 0.
  int WriteValue(const PavoRmCString& section, const PavoRmCString& name,
                 const PavoRmCString& value) override;
  // The value name of m_Root (empty section) or m_Root\section; empty when missing.
  PavoRmCString ReadValue(const PavoRmCString& section, const PavoRmCString& name) override;
  // Appends the sub-key names of m_Root in the registry's order. 1, or 0 with
  // the list unchanged when the key cannot be opened with full access.
  int GetLanguageList(PavoRmLanguageList& list) override;
  // The language held in memory (the registry does not store it).
  PavoRmCString GetCurrentLanguage() override;

 protected:
  ~PavoRmInformationRegistry() override;

 private:
  int GetRegistryString(const PavoRmCString& keyPath, const PavoRmCString& valueName,
                        PavoRmCString& out);
  int SetRegistryString(const PavoRmCString& keyPath, const PavoRmCString& valueName,
                        const PavoRmCString& data);

  HKEY m_RootKey;
};

#endif
