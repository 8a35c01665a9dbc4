// PavoRmCString members that load by resource-object name. The name is turned
// into a module by the lookup the resource layer installs, so that the string
// layer links without it.
#include <atomic>
#include <cstdarg>

#include "string/PavoRmCString.h"
#include "string/message_inserts.h"
#include "string/resource_module_lookup.h"
#include "string/resource_report.h"

namespace {

pavo::ReportGuard g_nameForm;  // the guard of loads by resource-object name

// Constant-initialised (null) before any code runs, so a load from another
// static initialiser sees either no lookup or a complete one.
std::atomic<pavo::ResourceModuleLookup> g_lookup{nullptr};

}  // namespace

pavo::ResourceModuleLookup pavo::SetResourceModuleLookup(ResourceModuleLookup lookup) noexcept {
  return g_lookup.exchange(lookup);
}

void pavo::RemoveResourceModuleLookup(ResourceModuleLookup lookup) noexcept {
  g_lookup.compare_exchange_strong(lookup, nullptr);
}

HINSTANCE pavo::FindResourceModule(const PavoRmCString& resourceName) {
  const ResourceModuleLookup lookup = g_lookup.load();
  return lookup != nullptr ? lookup(resourceName) : nullptr;
}

PavoRmCString::PavoRmCString(const WCHAR* resourceName, unsigned int id, int showError) {
  LoadStringW(PavoRmCString(resourceName), id, showError);
}

int PavoRmCString::LoadStringW(const PavoRmCString& resourceName, unsigned int id, int showError) {
  HINSTANCE module = pavo::FindResourceModule(resourceName);
  if (module != nullptr && CStringW::LoadString(module, id)) return 1;
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
