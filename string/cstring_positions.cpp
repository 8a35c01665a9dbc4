// The b and c position families. Both index UTF-16 units; they differ only
// in how positions are clamped at the edges.
#include <climits>
#include <cstring>
#include <new>

#include "platform/win/char_types.h"
#include "platform/win/wide_text.h"
#include "string/PavoRmCString.h"

int PavoRmCString::ByteToCharIndex(int p) const noexcept {
  if (p <= 0) return p;
  return p >= GetLength() ? GetLength() : p;
}

int PavoRmCString::CharToByteIndex(int c) const noexcept {
  if (c <= 0) return c;
  // c < GetCharNum() exactly when c is inside the text and no 0 unit lies in 0..c.
  if (c < GetLength()) {
    const WCHAR* text = GetString();
    int i = 0;
    while (i <= c && text[i] != 0) ++i;
    if (i > c) return c;
  }
  return GetLength();
}

int PavoRmCString::bGetCharNext(int p) const noexcept {
  if (p < 0 || p >= GetLength()) return -1;
  return p + 1 < GetLength() ? p + 1 : -1;
}

int PavoRmCString::bGetCharPrev(int p) const noexcept {
  if (p < 0 || p >= GetLength()) return -1;
  return p >= 1 ? p - 1 : -1;
}

int PavoRmCString::bIsTab(int p) const noexcept { return (p >= 0 && p < GetLength() && GetAt(p) == 9) ? 1 : 0; }

int PavoRmCString::bCompare(int p, WCHAR ch) const noexcept {
  if (p < 0 || p >= GetLength()) return 255;
  return static_cast<int>(static_cast<unsigned short>(GetAt(p))) - static_cast<int>(static_cast<unsigned short>(ch));
}

int PavoRmCString::bCompare(int p, const WCHAR* s) const noexcept {
  if (p < 0 || p >= GetLength()) return 255;
  if (s == nullptr) return 0;
  // As the Microsoft runtime's wcsncmp: the difference of the first units
  // that differ (unsigned 16-bit), within the length of s. The text's own
  // terminator ends the comparison at its end.
  const WCHAR* text = GetString() + p;
  const size_t n = pavo::WideLength(s);
  for (size_t i = 0; i < n; ++i) {
    if (text[i] != s[i] || text[i] == 0) {
      return static_cast<int>(static_cast<unsigned short>(text[i])) - static_cast<int>(static_cast<unsigned short>(s[i]));
    }
  }
  return 0;
}

int PavoRmCString::bFind(WCHAR ch, int start) const noexcept { return Find(ch, start < 0 ? 0 : start); }

int PavoRmCString::cFind(const WCHAR* s, int start) const noexcept {
  const int from = start < 0 ? 0 : CharToByteIndex(start);
  return ByteToCharIndex(Find(s, from));
}

PavoRmCString PavoRmCString::cLeft(int n) const {
  if (n < 0) n = 0;
  if (n >= GetLength()) return *this;
  int k = 0;
  if (n > 0) k = n < GetCharNum() ? n : GetLength();
  return Left(k);
}

PavoRmCString PavoRmCString::cRight(int n) const {
  if (n < 1) return *this;
  return cMid(GetCharNum() - n);
}

void PavoRmCString::bSetAt(int p, WCHAR ch) noexcept {
  if (p >= 0 && p < GetLength()) SetAt(p, ch);
}

void PavoRmCString::bSetAt(int p, const WCHAR* s) {
  if (p < 0 || p >= GetLength()) return;
  // s may point into this text: keep a copy before the text moves.
  const PavoRmCString insert(s);
  bDelete(p);
  bInsert(p, insert.GetString());
}

void PavoRmCString::bMakeLower(int p) noexcept {
  if (p < 0 || p >= GetLength()) return;
  WCHAR unit = GetAt(p);
  CharLowerBuffW(&unit, 1);
  SetAt(p, unit);
}

void PavoRmCString::bMakeUpper(int p) noexcept {
  if (p < 0 || p >= GetLength()) return;
  WCHAR unit = GetAt(p);
  CharUpperBuffW(&unit, 1);
  SetAt(p, unit);
}

void PavoRmCString::bInsert(int p, WCHAR ch) {
  const WCHAR units[2] = {ch, 0};
  if (ch == 0) {
    // Inserting the 0 unit itself: the recount below ends the text there.
    if (p < 0 || p > GetLength()) return;
    GetBuffer();
    ReleaseBuffer(p);
    Recount();
    return;
  }
  bInsert(p, units);
}

// Inserting moves the units from p up to the first 0 unit after them, then
// recounts the length up to the first 0 unit, like the deletion below: text
// behind an inner 0 unit does not survive an edit of this family.
void PavoRmCString::bInsert(int p, const WCHAR* s) {
  const int length = GetLength();
  if (p < 0 || p > length) return;
  const PavoRmCString insert(s);  // s may point into this text
  const int n = insert.GetLength();
  const int tail = UnitsBeforeZero(p);
  if (n > INT_MAX - 1 - (p + tail)) throw std::bad_alloc();
  WCHAR* text = GetBuffer(p + tail + n);
  std::memmove(text + p + n, text + p, static_cast<size_t>(tail) * sizeof(WCHAR));
  std::memcpy(text + p, insert.GetString(), static_cast<size_t>(n) * sizeof(WCHAR));
  text[p + n + tail] = 0;
  ReleaseBuffer(p + n + tail);
  Recount();
}

int PavoRmCString::bDelete(int p, int n) {
  const int length = GetLength();
  if (p < 0 || p >= length || n < 1) return n;
  if (n > length - p) n = length - p;
  const int tail = UnitsBeforeZero(p + n);
  WCHAR* text = GetBuffer();
  std::memmove(text + p, text + p + n, static_cast<size_t>(tail) * sizeof(WCHAR));
  text[p + tail] = 0;
  ReleaseBuffer(p + tail);
  Recount();
  return n;
}

int PavoRmCString::cDelete(int c, int n) {
  const int p = CharToByteIndex(c);
  const int from = p < 0 ? 0 : (p > GetLength() ? GetLength() : p);
  const int restLength = GetLength() - from;
  const int restChars = UnitsBeforeZero(from);
  int k = 0;
  if (n > 0) k = n < restChars ? n : restLength;
  return bDelete(p, k);
}
