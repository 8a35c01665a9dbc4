#include <cstdarg>
#include <cstdint>

#include "string/PavoRmCString.h"
#include "string/message_inserts.h"
#include "string/resource_report.h"

namespace {

pavo::ReportGuard g_handleForm;  // the guard of loads by module handle

}  // namespace

int PavoRmCString::LoadStringW(HINSTANCE module, unsigned int id, int showError) {
  if (CStringW::LoadString(module, id)) return 1;  // the base load, never an overload of this class
  if (!showError) return 0;
  PavoRmCString text;
  if (!g_handleForm.reporting) {
    // %d of the handle prints its low 32 bits as a signed number.
    const auto handle = static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module)));
    text.CStringW::Format(WTEXT("Can not find the resource string \nnumber %d in resource %d."), static_cast<int>(id),
                static_cast<int>(handle));
  }
  pavo::ReportMissingString(g_handleForm, text.GetString());
  return 0;
}

void PavoRmCString::Format(HINSTANCE module, unsigned int id, ...) {
  PavoRmCString format;
  format.LoadStringW(module, id, 1);
  va_list args;
  va_start(args, id);
  FormatV(format.GetString(), args);
  va_end(args);
}

void PavoRmCString::FormatMessageL(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  try {
    pavo::FillMessageInserts(*this, format, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}
