#include <cstdarg>
#include <new>

#include "platform/win/format_message.h"
#include "platform/win/local_memory.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "string/PavoRmCString.h"
#include "string/resource_report.h"

namespace {

pavo::ReportGuard g_nameForm;  // the guard of loads by resource-object name

// std::bad_alloc with the message of the Windows runtime's allocation failure.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

// The module of the resource object of that name; null when there is no
// manager (Instance has reported it), no such object or no module.
HINSTANCE ModuleOf(const PavoRmCString& resourceName) {
  PavoRmResourceManager* manager = PavoRmResourceManager::Instance();
  if (manager == nullptr) return nullptr;
  PavoRmResourceObject* object = manager->GetResourceObject(resourceName);
  return object != nullptr ? object->GetResourceHandle() : nullptr;
}

}  // namespace

PavoRmCString::PavoRmCString(const WCHAR* resourceName, unsigned int id, int showError) {
  LoadStringW(PavoRmCString(resourceName), id, showError);
}

int PavoRmCString::LoadStringW(const PavoRmCString& resourceName, unsigned int id, int showError) {
  HINSTANCE module = ModuleOf(resourceName);
  if (module != nullptr && LoadString(module, id)) return 1;
  if (!showError) return 0;
  PavoRmCString text;
  if (!g_nameForm.reporting) {
    text.CStringW::Format(WTEXT("Can not find the resource string \nnumber %d in resource %s."), static_cast<int>(id),
                          resourceName.GetString());
  }
  pavo::ReportMissingString(g_nameForm, text.GetString());
  return 0;
}

void PavoRmCString::FormatMessageVA(const PavoRmCString& resourceName, unsigned int id, va_list& arguments) {
  PavoRmCString format;
  if (!format.LoadStringW(resourceName, id, 1)) return;
  LPWSTR buffer = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format.GetString(), 0, 0,
                   reinterpret_cast<LPWSTR>(&buffer), 0, &arguments);
  if (buffer == nullptr) throw static_cast<std::bad_alloc*>(new (std::nothrow) BadAllocation);
  try {
    *this = buffer;
  } catch (...) {
    LocalFree(buffer);
    throw;
  }
  LocalFree(buffer);
}

void PavoRmCString::FormatMessageW(const PavoRmCString& resourceName, unsigned int id, ...) {
  va_list arguments;
  va_start(arguments, id);
  try {
    FormatMessageVA(resourceName, id, arguments);
  } catch (...) {
    va_end(arguments);
    throw;
  }
  va_end(arguments);
}
