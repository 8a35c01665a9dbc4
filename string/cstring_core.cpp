// Construction, narrow text, the shared empty instance and Format.
#include <climits>
#include <cstdarg>
#include <cstring>
#include <new>

#include "platform/win/code_pages.h"
#include "platform/win/last_error.h"
#include "platform/win/wide_text.h"
#include "string/PavoRmCString.h"

namespace {

// Constant-initialized (the default constructor allocates nothing), so it
// exists before any other static constructor of the library runs and is
// destroyed when the library is unloaded.
PavoRmCString g_emptyString;

// Narrow text in the ANSI code page, read up to its 0 byte, into target.
void AssignAnsi(CStringW& target, const char* text) {
  if (text == nullptr || *text == 0) {
    target.Empty();
    return;
  }
  const size_t bytes = std::strlen(text);
  if (bytes > static_cast<size_t>(INT_MAX - 1)) throw std::bad_alloc();
  const int n = static_cast<int>(bytes);
  const int units = MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
  if (units <= 0) {
    // Only an unusable code page gets here: keep the bytes as Latin-1.
    WCHAR* out = target.GetBufferSetLength(n);
    for (int i = 0; i < n; ++i) out[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    return;
  }
  CStringW converted;
  WCHAR* out = converted.GetBufferSetLength(units);
  const int got = MultiByteToWideChar(CP_ACP, 0, text, n, out, units);
  converted.ReleaseBuffer(got > 0 ? got : 0);
  target = static_cast<CStringW&&>(converted);
}

}  // namespace

PavoRmCString::PavoRmCString(const char* text) { AssignAnsi(*this, text); }

PavoRmCString::PavoRmCString(const unsigned char* text) { AssignAnsi(*this, reinterpret_cast<const char*>(text)); }

PavoRmCString& PavoRmCString::operator=(const unsigned char* text) {
  AssignAnsi(*this, reinterpret_cast<const char*>(text));
  return *this;
}

PavoRmCString& PavoRmCString::operator=(const char* text) {
  AssignAnsi(*this, text);
  return *this;
}

PavoRmCString& PavoRmCString::getEmptyString() { return g_emptyString; }

char* PavoRmCString::ansi(char* buffer) const {
  if (buffer == nullptr) return nullptr;
  buffer[0] = 0;
  const int capacity = GetLength() + 1;
  if (WideCharToMultiByte(CP_ACP, 0, GetString(), -1, buffer, capacity, nullptr, nullptr) != 0) return buffer;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return buffer;
  // Double-byte characters made the text longer than the buffer: keep the
  // whole characters that fit, and the terminator, instead of a cut-off
  // text without one.
  const WCHAR* text = GetString();
  const int units = GetCharNum();
  int used = 0;
  for (int i = 0; i < units;) {
    const int step = (i + 1 < units && text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF)
                         ? 2
                         : 1;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text + i, step, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0 || bytes > capacity - 1 - used) break;
    WideCharToMultiByte(CP_ACP, 0, text + i, step, buffer + used, bytes, nullptr, nullptr);
    used += bytes;
    i += step;
  }
  buffer[used] = 0;
  return buffer;
}

int PavoRmCString::GetCharNum() const noexcept { return UnitsBeforeZero(0); }

int PavoRmCString::charCompare(const WCHAR* a, const WCHAR* b) noexcept {
  const int ua = a != nullptr ? static_cast<unsigned short>(a[0]) : 0;
  const int ub = b != nullptr ? static_cast<unsigned short>(b[0]) : 0;
  return ua - ub;
}

void PavoRmCString::Format(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

int PavoRmCString::UnitsBeforeZero(int p) const noexcept {
  const int length = GetLength();
  if (p < 0) p = 0;
  const WCHAR* text = GetString();
  int i = p;
  while (i < length && text[i] != 0) ++i;
  return i - p;
}

void PavoRmCString::Recount() noexcept {
  const int n = UnitsBeforeZero(0);
  if (n == GetLength()) return;
  // The storage exists (the text is not empty), so GetBuffer allocates nothing.
  GetBuffer();
  ReleaseBuffer(n);
}
