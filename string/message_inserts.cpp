#include "string/message_inserts.h"

#include <new>

#include "platform/win/format_message.h"
#include "platform/win/local_memory.h"
#include "string/PavoRmCString.h"

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
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                   reinterpret_cast<LPWSTR>(&buffer), 0, &arguments);
  if (buffer == nullptr) throw static_cast<std::bad_alloc*>(new (std::nothrow) BadAllocation);
  try {
    target = buffer;
  } catch (...) {
    LocalFree(buffer);
    throw;
  }
  LocalFree(buffer);
}

}  // namespace pavo
