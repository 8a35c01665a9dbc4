// PavoRmCString members that load through the resource manager; they live
// here, with the manager, so that string/ does not depend on resource/.
#include <cstdarg>

#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "string/PavoRmCString.h"
#include "string/message_inserts.h"
#include "string/resource_report.h"

namespace {

pavo::ReportGuard g_nameForm;  // the guard of loads by resource-object name

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
  pavo::FillMessageInserts(*this, format.GetString(), arguments);
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
