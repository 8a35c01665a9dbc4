#include "string/message_inserts.h"

#include <new>

#include "platform/win/format_message.h"
#include "platform/win/local_memory.h"
#include "platform/win/last_error.h"
#include "string/PavoRmCString.h"

// Newer than some SDK headers: FormatMessageW's code for an empty message.
#ifndef ERROR_NO_WORK_DONE
#define ERROR_NO_WORK_DONE 235L
#endif

namespace {

// std::bad_alloc with the message of the Windows runtime's allocation failure.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace

namespace pavo {

void FillMessageInserts(PavoRmCString& target, const WCHAR* format, va_list& arguments) {
  LPWSTR buffer = nullptr;
  SetLastError(ERROR_SUCCESS);
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                   reinterpret_cast<LPWSTR>(&buffer), 0, &arguments);
  if (buffer == nullptr) {
    // Windows hands out no block for an empty message (0, ERROR_NO_WORK_DONE);
    // that is the empty text, not a failure. Real failures set another code.
    const DWORD error = GetLastError();
    if (error == ERROR_NO_WORK_DONE || error == ERROR_SUCCESS) {
      target.Empty();
      return;
    }
    throw static_cast<std::bad_alloc*>(new (std::nothrow) BadAllocation);
  }
  try {
    target = buffer;
  } catch (...) {
    LocalFree(buffer);
    throw;
  }
  LocalFree(buffer);
}

}  // namespace pavo
