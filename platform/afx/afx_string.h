// CStringW: the host framework's wide string, as the library relies on it.
// A counted sequence of UTF-16 units (0 units included) that is always
// followed in storage by one 0 unit.
#ifndef PAVORM_PLATFORM_AFX_AFX_STRING_H
#define PAVORM_PLATFORM_AFX_AFX_STRING_H

#include "PavoRm51Export.h"

#include <cstdarg>
#include <type_traits>

#include "platform/win/win32_names.h"
#include "platform/win/win_types.h"

class PAVORM_API CStringW {
 public:
  // Empty text; needs no allocation, so static instances need no constructor run.
  constexpr CStringW() noexcept : m_Data(const_cast<WCHAR*>(&kNoText)), m_Length(0), m_Capacity(0) {}
  CStringW(const CStringW& other);
  CStringW(CStringW&& other) noexcept;
  // The units up to the first 0 unit; null gives the empty text.
  CStringW(const WCHAR* text);  // NOLINT: implicit, as in the framework
  // n units from text (which may hold 0 units); null or n <= 0 gives the empty text.
  CStringW(const WCHAR* text, int n);
  // count copies of ch; count < 1 gives the empty text.
  CStringW(WCHAR ch, int count);
  ~CStringW();

  CStringW& operator=(const CStringW& other);
  CStringW& operator=(CStringW&& other) noexcept;
  CStringW& operator=(const WCHAR* text);
  CStringW& operator=(WCHAR ch);

  int GetLength() const noexcept { return m_Length; }
  bool IsEmpty() const noexcept { return m_Length == 0; }
  // The units, followed by a 0 unit; valid until the next change.
  const WCHAR* GetString() const noexcept { return m_Data; }
  operator const WCHAR*() const noexcept { return m_Data; }  // NOLINT

  // Writable storage of at least n units plus a terminator; text and length
  // are kept. n below the length counts as the length. Throws std::bad_alloc.
  WCHAR* GetBuffer(int n);
  WCHAR* GetBuffer() { return GetBuffer(m_Length); }
  // After writing through GetBuffer: n = -1 recounts up to the first 0 unit
  // (within the storage); otherwise the length becomes n (clamped to the storage).
  void ReleaseBuffer(int n = -1);
  // Storage for n units (n < 0 counts as 0), length n, a 0 unit at n. Units
  // past the old length are zero-filled here, never left undefined.
  WCHAR* GetBufferSetLength(int n);

  // Unit i; 0 when i is outside 0..length-1.
  WCHAR GetAt(int i) const noexcept { return i >= 0 && i < m_Length ? m_Data[i] : WCHAR{0}; }
  // Any integer index (a template, so that s[n] never competes with the
  // built-in subscript through the conversion to const WCHAR*).
  template <typename Index, typename = typename std::enable_if<std::is_integral<Index>::value>::type>
  WCHAR operator[](Index i) const noexcept {
    if constexpr (std::is_signed<Index>::value) {
      if (i < 0) return 0;
    }
    if (static_cast<unsigned long long>(i) >= static_cast<unsigned long long>(m_Length)) return 0;
    return m_Data[static_cast<int>(i)];
  }
  // Replaces unit i; nothing happens when i is outside 0..length-1.
  void SetAt(int i, WCHAR ch) noexcept {
    if (i >= 0 && i < m_Length) m_Data[i] = ch;
  }

  // n units from text (may alias this string's own text); null or n <= 0 empties.
  void SetString(const WCHAR* text, int n);
  void SetString(const WCHAR* text);
  void Empty() noexcept;

  // Index of the first ch at or after start; -1 when none or start is outside 0..length-1.
  int Find(WCHAR ch, int start = 0) const noexcept;
  // Index of the first occurrence of s at or after start; an empty s is found
  // at start; -1 when none or start is outside 0..length. Null s counts as empty.
  int Find(const WCHAR* s, int start = 0) const noexcept;
  // Index of the last ch; -1 when none.
  int ReverseFind(WCHAR ch) const noexcept;

  CStringW Left(int n) const;
  CStringW Right(int n) const;
  CStringW Mid(int i) const;
  CStringW Mid(int i, int n) const;

  // Replaces the text by the printf formatting of the arguments (wide
  // runtime rules: %s takes WCHAR text). A malformed conversion is copied
  // literally; a null format gives the empty text.
  void Format(const WCHAR* format, ...);
  void FormatV(const WCHAR* format, va_list args);
  void AppendFormat(const WCHAR* format, ...);

  // Reads string id of the module's string table into the text: non-zero on
  // success; 0, with the text unchanged, when the module has no such string
  // (afx_string_resources.cpp).
  int LoadString(HINSTANCE module, UINT id);

  void Append(const WCHAR* text, int n);
  CStringW& operator+=(const CStringW& other);
  CStringW& operator+=(const WCHAR* text);
  CStringW& operator+=(WCHAR ch);

  // Ordinal comparison of the units (unsigned 16-bit), as wcscmp: <0, 0, >0.
  int Compare(const WCHAR* text) const noexcept;
  int Compare(const CStringW& other) const noexcept;

  friend CStringW operator+(const CStringW& a, const CStringW& b);
  friend CStringW operator+(const CStringW& a, const WCHAR* b);
  friend CStringW operator+(const WCHAR* a, const CStringW& b);
  friend CStringW operator+(const CStringW& a, WCHAR b);

 private:
  static const WCHAR kNoText;
  // Makes room for at least n units plus the terminator, keeping the text.
  void Reserve(int n);

  WCHAR* m_Data;     // m_Capacity + 1 units (or kNoText when m_Capacity is 0)
  int m_Length;      // units of text; m_Data[m_Length] == 0
  int m_Capacity;    // units that fit before the terminator slot
};

PAVORM_API bool operator==(const CStringW& a, const CStringW& b) noexcept;
PAVORM_API bool operator==(const CStringW& a, const WCHAR* b) noexcept;
PAVORM_API bool operator==(const WCHAR* a, const CStringW& b) noexcept;
PAVORM_API bool operator!=(const CStringW& a, const CStringW& b) noexcept;
PAVORM_API bool operator!=(const CStringW& a, const WCHAR* b) noexcept;
PAVORM_API bool operator!=(const WCHAR* a, const CStringW& b) noexcept;
PAVORM_API bool operator<(const CStringW& a, const CStringW& b) noexcept;

#endif
