#include "tools/host_session.h"

#include <algorithm>
#include <new>

#include "platform/win/message_box.h"
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

}  // namespace

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
    Fail(name, reason);
  }
  return *object;
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
