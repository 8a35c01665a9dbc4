// The tool as a host of the library, the way an application is one: it
// constructs the resource manager and a registry information object on the
// hive, calls PavoRmInit, registers resource objects for the modules it is
// asked about, and switches languages by setting the information's current
// language and running each object's Init again.
#ifndef PAVORM_TOOLS_HOST_SESSION_H
#define PAVORM_TOOLS_HOST_SESSION_H

#include <string>
#include <vector>

#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "info/PavoRmInformationRegistry.h"
#include "tools/tool_context.h"

namespace pavorm_tool {

// Which module a resource object uses, and why when it is not the one the
// library tried first.
struct ModuleChoice {
  std::string requested;  // the first candidate, as a path (configured file, or NAME + LLL + .dll)
  std::string used;       // the module in use, as a path; empty for the library's built-in strings
  std::string reason;     // empty when used is requested; else why requested was passed over
  bool fellBack() const { return !reason.empty(); }
  // "PavoRmdeu.dll is damaged: ...; using PavoRmenu.dll" and the like.
  std::string Message() const;
};

class HostSession {
 public:
  // Fail(...) when the hive cannot be opened or PavoRmInit fails.
  HostSession(ToolContext& context, const std::string& language);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;
  // PavoRmExit, then the manager (with the objects still attached and the information).
  ~HostSession();

  PavoRmResourceManager& manager() { return *manager_; }
  PavoRmInformation& information() { return *information_; }
  HKEY hive() const { return hive_.get(); }

  // The object of that name; a resource-only object is registered for a name
  // not known yet. Fail(name, reason) when it ends up without a module.
  PavoRmResourceObject& Object(const std::string& name);
  // Which module the object (from Object) uses for the current language and why.
  ModuleChoice Choice(PavoRmResourceObject& object);
  // Sets the current language and runs Init of every object the session knows.
  // Fail(...) when an object's Init reports failure.
  void SwitchLanguage(const std::string& language);

  // Message boxes the library showed since the last call, one text each.
  std::vector<std::string> TakeMessages();

 private:
  // PavoRmExit, the manager, and the previous message-box handler back.
  void Release();

  HiveKey hive_;
  PavoRmResourceManager* manager_ = nullptr;
  PavoRmInformation* information_ = nullptr;  // owned by the manager once attached
  std::vector<std::string> names_;            // objects to re-initialise on a switch
  std::vector<std::string> messages_;
  void* previousHandlerContext_ = nullptr;
  void* previousHandler_ = nullptr;
  bool handlerInstalled_ = false;
};

}  // namespace pavorm_tool

#endif
