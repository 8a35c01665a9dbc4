// PavoRmInformation: where the resource management learns the current
// language, the installed languages, the language folder, the file configured
// for each resource object and free-form settings. Abstract; shared by
// reference counting by hand (reference / SafeDelete).
#ifndef PAVORM_INFO_PAVORMINFORMATION_H
#define PAVORM_INFO_PAVORMINFORMATION_H

#include "PavoRm51Export.h"

#include "platform/afx/afx_ptr_list.h"
#include "string/PavoRmCString.h"

// An ordered list of heap language names (such as enu); its holder owns and deletes them.
typedef CTypedPtrList<PavoRmCString*> PavoRmLanguageList;

class PAVORM_API PavoRmInformation {
 public:
  // root: where a subclass keeps its settings; path: the language folder (a
  // backslash is appended when missing); language: the current language.
  PavoRmInformation(const PavoRmCString& root, const PavoRmCString& path,
                    const PavoRmCString& language);
  PavoRmInformation(const PavoRmInformation&) = delete;
  PavoRmInformation& operator=(const PavoRmInformation&) = delete;

  // Takes one more reference; returns this object.
  PavoRmInformation* reference();

  virtual void Create();
  // Releases one reference; the last one (a count of 1 or less) destroys the object.
  virtual void SafeDelete();
  // 1 when the setting was stored, else 0.
  virtual int WriteValue(const PavoRmCString& section, const PavoRmCString& name,
                         const PavoRmCString& value) = 0;
  // The setting, or empty when it is missing.
  virtual PavoRmCString ReadValue(const PavoRmCString& section, const PavoRmCString& name) = 0;
  // Appends one new heap string per installed language; the list then owns them. 1 or 0.
  virtual int GetLanguageList(PavoRmLanguageList& list) = 0;
  virtual PavoRmCString GetCurrentLanguage() = 0;

  PavoRmCString GetCurrentLanguageName() const { return m_Language; }
  void SetCurrentLanguageName(const PavoRmCString& language) { m_Language = language; }
  int AutoLoad() const { return m_AutoLoad; }
  void SetAutoLoad(int autoLoad) { m_AutoLoad = autoLoad; }

  // The path against the language folder: unchanged when absolute (a drive
  // letter and colon, or a leading `/`) or when there is no folder, else the
  // folder followed by the path less one leading backslash.
  PavoRmCString ExpandPath(const PavoRmCString& path) const;
  // 1 when path names a file whose attributes are 0 or include archive (0x20), else 0.
  int FileExist(const PavoRmCString& path) const;

 protected:
  // Only SafeDelete (or a subclass) destroys an information object.
  virtual ~PavoRmInformation();

  int m_RefCount;
  PavoRmCString m_Root;
  PavoRmCString m_Path;
  PavoRmCString m_Language;
  int m_AutoLoad;
};

#endif
