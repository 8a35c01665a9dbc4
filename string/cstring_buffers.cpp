// PavoRmCString <-> Gral::StringBuffer: taking the text of a buffer in any
// encoding, and making UTF-16 or ANSI-code-page buffers of a text.
#include <climits>
#include <stdexcept>
#include <string>

#include "platform/gral/StringBuffer.h"
#include "platform/win/code_pages.h"
#include "platform/win/wide_text.h"
#include "string/PavoRmCString.h"

namespace {

// Sets out to the buffer's text, made wide when it is not already.
void TakeText(CStringW& out, const Gral::StringBuffer& buffer) {
  if (buffer.isEmpty()) {
    out.Empty();
    return;
  }
  const int wide = Gral::StringBuffer::nativeEncoding();
  if (buffer.encoding() == wide) {
    // Units up to the terminator, never past the buffer's bytes.
    out.SetString(reinterpret_cast<const WCHAR*>(buffer.data()), buffer.textBytes() / 2);
    return;
  }
  Gral::StringBuffer local;
  buffer.convert(local, wide);
  out.SetString(reinterpret_cast<const WCHAR*>(local.data()), local.textBytes() / 2);
}

}  // namespace

PavoRmCString::PavoRmCString(const Gral::StringBuffer& buffer) { TakeText(*this, buffer); }

PavoRmCString& PavoRmCString::operator=(Gral::StringBuffer* buffer) {
  if (buffer == nullptr) throw std::runtime_error("Null pointer argument");
  TakeText(*this, *buffer);
  return *this;
}

Gral::StringBuffer PavoRmCString::cnvtToSB(const PavoRmCString& text) {
  // GetLength() <= INT_MAX / 2 - 1 for any text a CStringW can hold, so the
  // byte count cannot overflow; checked all the same.
  const long long bytes = 2LL * text.GetLength() + 2;
  if (bytes > INT_MAX) throw std::length_error("PavoRmCString::cnvtToSB: text too long");
  return Gral::StringBuffer(static_cast<int>(bytes), text.GetString(), Gral::StringBuffer::nativeEncoding());
}

Gral::StringBuffer PavoRmCString::cnvtToSB(const WCHAR* text) {
  // The same bytes as cnvtToSB(PavoRmCString(text)), without the copy.
  static const WCHAR kTerminator = 0;
  if (text == nullptr) text = &kTerminator;
  const size_t units = pavo::WideLength(text);
  if (units > static_cast<size_t>(INT_MAX / 2 - 1)) throw std::length_error("PavoRmCString::cnvtToSB: text too long");
  return Gral::StringBuffer(static_cast<int>(2 * units + 2), text, Gral::StringBuffer::nativeEncoding());
}

Gral::StringBuffer PavoRmCString::cnvtToAsciiSB(const WCHAR* text) {
  static const char kTerminator = 0;
  if (text == nullptr || *text == 0) return Gral::StringBuffer(1, &kTerminator, 0);
  // Ask for the size first: a unit can take more than two bytes (three in
  // UTF-8, four in GB18030), so a block of two bytes a unit may not do.
  const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return Gral::StringBuffer(1, &kTerminator, 0);
  std::string block(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, &block[0], needed, nullptr, nullptr);
  if (written <= 0) return Gral::StringBuffer(1, &kTerminator, 0);
  // The narrow text and its terminator (the code page never writes a 0 byte
  // inside a character, so the first 0 is the terminator).
  const size_t length = std::char_traits<char>::length(block.c_str());
  return Gral::StringBuffer(static_cast<int>(length + 1), block.data(), 0);
}
