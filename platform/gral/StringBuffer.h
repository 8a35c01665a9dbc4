// Gral::StringBuffer: the imaging library's byte buffer tagged with an
// encoding code. Stand-in for GralCore's class with the operations this
// library and its hosts use.
#ifndef PAVORM_PLATFORM_GRAL_STRINGBUFFER_H
#define PAVORM_PLATFORM_GRAL_STRINGBUFFER_H

#include "PavoRm51Export.h"

#include <cstddef>
#include <memory>

namespace Gral {

// A block of bytes whose text runs to the first terminator of its encoding
// (one 0 byte for codes 0 and 1, one 0 unit at an even offset for code 2), or
// to the end of the bytes when there is none. size() counts the bytes as they
// were given, terminator included; data() is always followed by a 0 unit
// beyond size(), so the text can be read as a terminated string in any case.
class PAVORM_API StringBuffer {
 public:
  static constexpr int kAnsi = 0;   // the process's ANSI code page
  static constexpr int kUtf8 = 1;   // UTF-8
  static constexpr int kUtf16 = 2;  // UTF-16, two bytes a unit, host byte order

  // An empty buffer: size 0, encoding UTF-8.
  StringBuffer();
  // Copies byteCount bytes (terminator included) and records encoding. A
  // negative count counts as 0; a null pointer gives byteCount 0 bytes.
  StringBuffer(int byteCount, const void* bytes, int encoding);
  // byteCount 0 bytes in encoding: no text. (0, 1) is the empty UTF-8 buffer.
  StringBuffer(int byteCount, int encoding);
  StringBuffer(const StringBuffer& other);
  StringBuffer(StringBuffer&& other) noexcept;
  StringBuffer& operator=(const StringBuffer& other);
  StringBuffer& operator=(StringBuffer&& other) noexcept;

  // Replaces target by this buffer's text in encoding, terminator included
  // (an empty text gives just the terminator). An encoding code other than
  // 0, 1 and 2 reads as no text and, as a target, gives an empty buffer.
  // Characters the target cannot hold become '?' (or a best fit) as the
  // code-page conversion does; ill-formed input becomes U+FFFD.
  // Throws std::length_error when the result would exceed INT_MAX bytes.
  void convert(StringBuffer& target, int encoding) const;

  // The bytes; never null (an empty buffer points at a 0 unit).
  char* data() noexcept { return reinterpret_cast<char*>(Units()); }
  const char* data() const noexcept { return reinterpret_cast<const char*>(Units()); }
  // Byte count as given, terminator included.
  int size() const noexcept { return m_Size; }

  virtual int encoding() const;
  // True when the buffer holds no character before its terminator.
  virtual bool isEmpty() const;

  // The code of wide-character (WCHAR) text: 2.
  static int nativeEncoding() noexcept { return kUtf16; }

  // Bytes of the text before its terminator.
  int textBytes() const noexcept;

  virtual ~StringBuffer();

 private:
  // byteCount bytes, all 0 except the first `filled` ones, which the caller writes.
  void Reset(int byteCount, int filled = 0);
  // Cuts the text to textBytes bytes followed by a terminator.
  void Truncate(int textBytes);

  static constexpr size_t kInlineUnits = 16;
  char16_t* Units() noexcept { return m_Heap ? m_Heap.get() : m_Inline; }
  const char16_t* Units() const noexcept { return m_Heap ? m_Heap.get() : m_Inline; }

  // Held as 16-bit units so that UTF-16 text is aligned: m_Size bytes, then
  // 0 bytes up to and including one whole 0 unit. Short texts stay inline.
  std::unique_ptr<char16_t[]> m_Heap;
  char16_t m_Inline[kInlineUnits];
  int m_Size;
  int m_Encoding;
};

}  // namespace Gral

#endif
