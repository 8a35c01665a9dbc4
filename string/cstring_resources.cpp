#include <cstdarg>
#include <cstdint>
#include <exception>
#include <new>

#include "platform/win/format_message.h"
#include "platform/win/local_memory.h"
#include "string/PavoRmCString.h"
#include "string/resource_report.h"

namespace {

pavo::ReportGuard g_handleForm;  // the guard of loads by module handle

// std::bad_alloc with the message of the Windows runtime's allocation failure.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace

int PavoRmCString::LoadStringW(HINSTANCE module, unsigned int id, int showError) {
  if (LoadString(module, id)) return 1;
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
  LPWSTR buffer = nullptr;
  va_list args;
  va_start(args, format);
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                   reinterpret_cast<LPWSTR>(&buffer), 0, &args);
  va_end(args);
  if (buffer == nullptr) throw static_cast<std::bad_alloc*>(new (std::nothrow) BadAllocation);
  try {
    *this = buffer;
  } catch (...) {
    LocalFree(buffer);
    throw;
  }
  LocalFree(buffer);
}
