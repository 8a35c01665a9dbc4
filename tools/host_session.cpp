#include "tools/host_session.h"

#include <algorithm>
#include <new>

#include "platform/win/last_error.h"
#include "platform/win/message_box.h"
#include "tools/module_strings.h"
#include "tools/tool_files.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/identity.h"
#include "resource/registration.h"

namespace pavorm_tool {
namespace {

// Boxes are collected instead of printed: the tool reports on one line, with
// the library's own text as the reason where it explains a failure.
int CollectMessage(void* context, HWND, LPCWSTR text, LPCWSTR, UINT) {
  static_cast<std::vector<std::string>*>(context)->push_back(Utf8(text));
  return IDOK;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why the library could not take the file at path (a Linux path).
std::string WhyNotLoaded(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  const std::string name = BaseName(path);
  std::string reason;
  switch (KindOf(path, &reason)) {
    case FileKind::kDirectory: return name + " is a directory";
    case FileKind::kOther: return name + " is not a regular file";
    case FileKind::kNone: {
      if (!IsDirectory(dir)) return "the language directory " + dir + " does not exist";
      // Language names are matched exactly, as they make the file name: a
      // file that differs only in case is not the one looked for on Linux.
      for (const std::string& entry : ListDirectory(dir)) {
        if (entry != name && EqualsIgnoringAsciiCase(entry, name)) {
          return name + " not found in " + dir + " (there is " + entry +
                 ": language names are matched exactly, with their case)";
        }
      }
      return name + " not found in " + dir;
    }
    case FileKind::kRegular: break;
  }
  SetLastError(ERROR_SUCCESS);
  HMODULE module = LoadLibraryExW(Wide(path + (name.find('.') == std::string::npos ? "." : "")).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    const DWORD e = GetLastError();
    // Mapping an empty file fails with ERROR_FILE_INVALID, on Windows and in the stand-in.
    if (e == ERROR_FILE_INVALID || (e == ERROR_BAD_EXE_FORMAT && FileSize(path) == 0)) return name + " is damaged: an empty file";
    if (e == ERROR_BAD_EXE_FORMAT) return name + " is damaged: not a valid module (corrupt or not a PE file)";
    return name + " cannot be loaded (error " + std::to_string(e) + ")";
  }
  const std::vector<std::string> damage = DescribeDamage(module, 1);
  FreeLibrary(module);
  if (!damage.empty()) return name + " is damaged: " + damage.front();
  return name + " was refused by the resource object";
}

}  // namespace

std::string ModuleChoice::Message() const {
  const std::string usedText = used.empty() ? std::string("the library's built-in English strings") : BaseName(used);
  return reason + "; using " + usedText;
}

HostSession::HostSession(ToolContext& context, const std::string& language)
    : hive_(context.OpenHive()) {
  previousHandler_ = reinterpret_cast<void*>(
      PavoRmSetMessageBoxHandler(CollectMessage, &messages_, &previousHandlerContext_));
  handlerInstalled_ = true;
  manager_ = new PavoRmResourceManager();
  if (PavoRmResourceManager::Instance() != manager_) {
    manager_ = nullptr;  // not ours to delete: the other one is the singleton
    Release();
    Fail("manager", "another resource manager exists in this process");
  }
  information_ = new PavoRmInformationRegistry(hive_.get(), PavoRmCString(Wide(context.keyPath).c_str()),
                                               PavoRmCString(Wide(context.LanguageDirWithSlash()).c_str()),
                                               PavoRmCString(Wide(language).c_str()));
  const int ok = PavoRmInit(information_);
  if (manager_->Information() != information_) {
    information_->SafeDelete();  // never attached: still ours
    information_ = nullptr;
  }
  if (ok == 0) {
    std::string reason = "PavoRmInit failed";
    if (!messages_.empty()) reason += ": " + messages_.back();
    Release();  // a throwing constructor runs no destructor of its own
    Fail(context.hivePath, reason);
  }
  names_.push_back(Utf8(pavoRmName()));
}

HostSession::~HostSession() { Release(); }

void HostSession::Release() {
  if (manager_ != nullptr) {
    PavoRmExit();
    delete manager_;
    manager_ = nullptr;
    information_ = nullptr;
  }
  if (previousHandler_ != nullptr || handlerInstalled_) {
    PavoRmSetMessageBoxHandler(reinterpret_cast<PavoRmMessageBoxHandler>(previousHandler_),
                               previousHandlerContext_, nullptr);
    previousHandler_ = nullptr;
    handlerInstalled_ = false;
  }
}

PavoRmResourceObject& HostSession::Object(const std::string& name) {
  const PavoRmCString wideName(Wide(name).c_str());
  PavoRmResourceObject* object = manager_->GetResourceObject(wideName);
  if (object == nullptr) {
    object = new PavoRmResourceObjectResourceDll(wideName);
    manager_->AttachResourceObject(object, 0);  // the manager owns it from here
    names_.push_back(name);
  }
  if (object->GetResourceHandle() == nullptr) {
    const std::string language = Utf8(manager_->CurrentLanguage().GetString());
    std::string reason = "no language module for '" + language + "'";
    if (language != "enu") reason += " nor for 'enu'";
    if (!messages_.empty()) reason += " (" + DisplayPath(messages_.back()) + ")";
    // A folder of that name here is what the user more likely meant.
    if (IsDirectory(name)) Fail(name, "is a directory, not a module; nor is it a resource object: " + reason);
    Fail(name, reason);
  }
  return *object;
}

ModuleChoice HostSession::Choice(PavoRmResourceObject& object) {
  PavoRmInformation* info = manager_->Information();
  const PavoRmCString name = object.GetName();
  ModuleChoice choice;
  std::string first;
  if (info != nullptr) first = Utf8(info->ReadValue(PavoRmCString(WTEXT("")), name).GetString());
  if (first.empty()) first = Utf8(name.GetString()) + Utf8(manager_->CurrentLanguage().GetString()) + ".dll";
  const std::string english = Utf8(name.GetString()) + "enu.dll";
  const auto expand = [&](const std::string& file) {
    return info != nullptr ? DisplayPath(Utf8(info->ExpandPath(PavoRmCString(Wide(file).c_str())).GetString()))
                           : DisplayPath(file);
  };
  choice.requested = expand(first);
  const std::string used = DisplayPath(Utf8(object.GetFileName().GetString()));
  if (used == choice.requested) {
    choice.used = used;
    return choice;
  }
  choice.used = used == expand(english) ? used : std::string();
  choice.reason = WhyNotLoaded(choice.requested);
  if (choice.used.empty() && expand(english) != choice.requested) {
    choice.reason += ", and " + WhyNotLoaded(expand(english));
  }
  return choice;
}

void HostSession::SwitchLanguage(const std::string& language) {
  if (information_ == nullptr) Fail("language", "no information object");
  information_->SetCurrentLanguageName(PavoRmCString(Wide(language).c_str()));
  for (const std::string& name : names_) {
    PavoRmResourceObject* object = manager_->GetResourceObject(PavoRmCString(Wide(name).c_str()));
    if (object == nullptr) continue;
    if (object->Init() == 0) {
      std::string reason = "cannot switch to '" + language + "'";
      if (!messages_.empty()) reason += " (" + DisplayPath(messages_.back()) + ")";
      Fail(name, reason);
    }
  }
}

std::vector<std::string> HostSession::TakeMessages() {
  std::vector<std::string> out;
  out.swap(messages_);
  return out;
}

}  // namespace pavorm_tool
