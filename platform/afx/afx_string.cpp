#include "platform/afx/afx_string.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/win/wide_printf.h"
#include "platform/win/wide_text.h"

const WCHAR CStringW::kNoText = 0;

namespace {

constexpr int kMaxUnits = INT_MAX - 1;  // leaves room for the terminator

int ClampedLength(size_t n) {
  if (n > static_cast<size_t>(kMaxUnits)) throw std::bad_alloc();
  return static_cast<int>(n);
}

}  // namespace

void CStringW::Reserve(int n) {
  if (n < 0 || n > kMaxUnits) throw std::bad_alloc();
  if (n <= m_Capacity && m_Data != &kNoText) return;
  // Grow by half again, so that repeated appends stay linear.
  int capacity = n;
  if (m_Capacity > 0 && m_Capacity <= kMaxUnits / 3 * 2) {
    const int grown = m_Capacity + m_Capacity / 2;
    if (grown > capacity) capacity = grown;
  }
  auto* fresh = static_cast<WCHAR*>(std::malloc((static_cast<size_t>(capacity) + 1) * sizeof(WCHAR)));
  if (fresh == nullptr) throw std::bad_alloc();
  std::memcpy(fresh, m_Data, static_cast<size_t>(m_Length) * sizeof(WCHAR));
  fresh[m_Length] = 0;
  if (m_Data != &kNoText) std::free(m_Data);
  m_Data = fresh;
  m_Capacity = capacity;
  assert(m_Length <= m_Capacity && n <= m_Capacity);
}

CStringW::CStringW(const CStringW& other) : CStringW() { SetString(other.m_Data, other.m_Length); }

CStringW::CStringW(CStringW&& other) noexcept
    : m_Data(other.m_Data), m_Length(other.m_Length), m_Capacity(other.m_Capacity) {
  other.m_Data = const_cast<WCHAR*>(&kNoText);
  other.m_Length = 0;
  other.m_Capacity = 0;
}

CStringW::CStringW(const WCHAR* text) : CStringW() { SetString(text); }

CStringW::CStringW(const WCHAR* text, int n) : CStringW() { SetString(text, n); }

CStringW::CStringW(WCHAR ch, int count) : CStringW() {
  if (count < 1) return;
  Reserve(count);
  assert(count <= m_Capacity);
  for (int i = 0; i < count; ++i) m_Data[i] = ch;
  m_Length = count;
  m_Data[count] = 0;
}

CStringW::~CStringW() {
  if (m_Data != &kNoText) std::free(m_Data);
}

CStringW& CStringW::operator=(const CStringW& other) {
  if (this != &other) SetString(other.m_Data, other.m_Length);
  return *this;
}

CStringW& CStringW::operator=(CStringW&& other) noexcept {
  if (this == &other) return *this;
  if (m_Data != &kNoText) std::free(m_Data);
  m_Data = other.m_Data;
  m_Length = other.m_Length;
  m_Capacity = other.m_Capacity;
  other.m_Data = const_cast<WCHAR*>(&kNoText);
  other.m_Length = 0;
  other.m_Capacity = 0;
  return *this;
}

CStringW& CStringW::operator=(const WCHAR* text) {
  SetString(text);
  return *this;
}

CStringW& CStringW::operator=(WCHAR ch) {
  SetString(&ch, 1);
  return *this;
}

WCHAR* CStringW::GetBuffer(int n) {
  Reserve(n > m_Length ? n : m_Length);
  return m_Data;
}

void CStringW::ReleaseBuffer(int n) {
  if (m_Data == &kNoText) return;  // no buffer was handed out
  if (n < 0) {
    n = static_cast<int>(pavo::WideLengthBounded(m_Data, static_cast<size_t>(m_Capacity)));
  } else if (n > m_Capacity) {
    n = m_Capacity;
  }
  // The terminator slot is the last of the storage (m_Capacity + 1 units).
  assert(n >= 0 && n <= m_Capacity);
  m_Length = n;
  m_Data[n] = 0;
}

WCHAR* CStringW::GetBufferSetLength(int n) {
  if (n < 0) n = 0;
  Reserve(n);
  assert(m_Length <= m_Capacity && n <= m_Capacity);
  if (n > m_Length) std::memset(m_Data + m_Length, 0, static_cast<size_t>(n - m_Length) * sizeof(WCHAR));
  m_Length = n;
  m_Data[n] = 0;
  return m_Data;
}

void CStringW::SetString(const WCHAR* text, int n) {
  if (text == nullptr || n <= 0) {
    Empty();
    return;
  }
  // The source may lie inside this string's own storage.
  if (m_Data != &kNoText && text >= m_Data && text <= m_Data + m_Capacity) {
    const size_t offset = static_cast<size_t>(text - m_Data);
    if (offset + static_cast<size_t>(n) > static_cast<size_t>(m_Capacity)) n = m_Capacity - static_cast<int>(offset);
    assert(n >= 0 && offset + static_cast<size_t>(n) <= static_cast<size_t>(m_Capacity));
    std::memmove(m_Data, m_Data + offset, static_cast<size_t>(n) * sizeof(WCHAR));
  } else {
    if (n > m_Capacity || m_Data == &kNoText) {
      // Fresh storage of exactly n units: an assignment does not grow geometrically.
      Empty();
      if (m_Data != &kNoText) std::free(m_Data);
      m_Data = const_cast<WCHAR*>(&kNoText);
      m_Capacity = 0;
      Reserve(n);
    }
    assert(n <= m_Capacity);
    std::memcpy(m_Data, text, static_cast<size_t>(n) * sizeof(WCHAR));
  }
  m_Length = n;
  m_Data[n] = 0;
}

void CStringW::SetString(const WCHAR* text) { SetString(text, ClampedLength(pavo::WideLength(text))); }

void CStringW::Empty() noexcept {
  m_Length = 0;
  if (m_Data != &kNoText) m_Data[0] = 0;
}

int CStringW::Find(WCHAR ch, int start) const noexcept {
  if (start < 0 || start >= m_Length) return -1;
  for (int i = start; i < m_Length; ++i) {
    if (m_Data[i] == ch) return i;
  }
  return -1;
}

int CStringW::Find(const WCHAR* s, int start) const noexcept {
  if (start < 0 || start > m_Length) return -1;
  const size_t n = pavo::WideLength(s);
  if (n == 0) return start;
  if (n > static_cast<size_t>(m_Length - start)) return -1;
  const int last = m_Length - static_cast<int>(n);
  for (int i = start; i <= last; ++i) {
    if (m_Data[i] == s[0] && std::memcmp(m_Data + i, s, n * sizeof(WCHAR)) == 0) return i;
  }
  return -1;
}

int CStringW::ReverseFind(WCHAR ch) const noexcept {
  for (int i = m_Length; i > 0; --i) {
    if (m_Data[i - 1] == ch) return i - 1;
  }
  return -1;
}

CStringW CStringW::Left(int n) const {
  if (n < 0) n = 0;
  if (n >= m_Length) return *this;
  return CStringW(m_Data, n);
}

CStringW CStringW::Right(int n) const {
  if (n < 0) n = 0;
  if (n >= m_Length) return *this;
  return CStringW(m_Data + (m_Length - n), n);
}

CStringW CStringW::Mid(int i) const { return Mid(i, INT_MAX); }

CStringW CStringW::Mid(int i, int n) const {
  if (i < 0) i = 0;
  if (n < 0) n = 0;
  if (i >= m_Length) return CStringW();
  if (n > m_Length - i) n = m_Length - i;
  if (i == 0 && n == m_Length) return *this;
  return CStringW(m_Data + i, n);
}

void CStringW::FormatV(const WCHAR* format, va_list args) {
  pavo::WideString out;
  if (format != nullptr) {
    pavo::PrintfVaListArgs source(args);
    const pavo::PrintfStatus status = pavo::AppendPrintf(out, format, pavo::WideLength(format), source);
    if (status == pavo::PrintfStatus::TooLong) throw std::bad_alloc();
  }
  SetString(out.data(), ClampedLength(out.size()));
}

void CStringW::Format(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CStringW::AppendFormat(const WCHAR* format, ...) {
  CStringW more;
  va_list args;
  va_start(args, format);
  more.FormatV(format, args);
  va_end(args);
  *this += more;
}

void CStringW::Append(const WCHAR* text, int n) {
  if (text == nullptr || n <= 0) return;
  if (n > kMaxUnits - m_Length) throw std::bad_alloc();
  // Appending part of itself: keep an offset, the storage may move.
  const bool inside = m_Data != &kNoText && text >= m_Data && text <= m_Data + m_Capacity;
  const size_t offset = inside ? static_cast<size_t>(text - m_Data) : 0;
  if (inside && offset + static_cast<size_t>(n) > static_cast<size_t>(m_Capacity) + 1)
    n = m_Capacity + 1 - static_cast<int>(offset);
  Reserve(m_Length + n);
  // The source, if inside, was cut to the storage (terminator slot included).
  assert(m_Length + n <= m_Capacity);
  assert(!inside || offset + static_cast<size_t>(n) <= static_cast<size_t>(m_Capacity) + 1);
  const WCHAR* src = inside ? m_Data + offset : text;
  std::memmove(m_Data + m_Length, src, static_cast<size_t>(n) * sizeof(WCHAR));
  m_Length += n;
  m_Data[m_Length] = 0;
}

CStringW& CStringW::operator+=(const CStringW& other) {
  Append(other.m_Data, other.m_Length);
  return *this;
}

CStringW& CStringW::operator+=(const WCHAR* text) {
  Append(text, ClampedLength(pavo::WideLength(text)));
  return *this;
}

CStringW& CStringW::operator+=(WCHAR ch) {
  Append(&ch, 1);
  return *this;
}

namespace {

int CompareUnits(const WCHAR* a, size_t na, const WCHAR* b, size_t nb) noexcept {
  const size_t n = na < nb ? na : nb;
  for (size_t i = 0; i < n; ++i) {
    const unsigned ua = static_cast<unsigned short>(a[i]), ub = static_cast<unsigned short>(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

}  // namespace

int CStringW::Compare(const WCHAR* text) const noexcept {
  return CompareUnits(m_Data, static_cast<size_t>(m_Length), text != nullptr ? text : &kNoText, pavo::WideLength(text));
}

int CStringW::Compare(const CStringW& other) const noexcept {
  return CompareUnits(m_Data, static_cast<size_t>(m_Length), other.m_Data, static_cast<size_t>(other.m_Length));
}

CStringW operator+(const CStringW& a, const CStringW& b) {
  CStringW result;
  result.Reserve(ClampedLength(static_cast<size_t>(a.m_Length) + static_cast<size_t>(b.m_Length)));
  result += a;
  result += b;
  return result;
}

CStringW operator+(const CStringW& a, const WCHAR* b) {
  CStringW result(a);
  result += b;
  return result;
}

CStringW operator+(const WCHAR* a, const CStringW& b) {
  CStringW result(a);
  result += b;
  return result;
}

CStringW operator+(const CStringW& a, WCHAR b) {
  CStringW result(a);
  result += b;
  return result;
}

bool operator==(const CStringW& a, const CStringW& b) noexcept { return a.Compare(b) == 0; }
bool operator==(const CStringW& a, const WCHAR* b) noexcept { return a.Compare(b) == 0; }
bool operator==(const WCHAR* a, const CStringW& b) noexcept { return b.Compare(a) == 0; }
bool operator!=(const CStringW& a, const CStringW& b) noexcept { return !(a == b); }
bool operator!=(const CStringW& a, const WCHAR* b) noexcept { return !(a == b); }
bool operator!=(const WCHAR* a, const CStringW& b) noexcept { return !(a == b); }
bool operator<(const CStringW& a, const CStringW& b) noexcept { return a.Compare(b) < 0; }
