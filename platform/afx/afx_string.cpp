#include "platform/afx/afx_string.h"

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
  if (n <= m_capacity && m_data != &kNoText) return;
  // Grow by half again, so that repeated appends stay linear.
  int capacity = n;
  if (m_capacity > 0 && m_capacity <= kMaxUnits / 3 * 2) {
    const int grown = m_capacity + m_capacity / 2;
    if (grown > capacity) capacity = grown;
  }
  auto* fresh = static_cast<WCHAR*>(std::malloc((static_cast<size_t>(capacity) + 1) * sizeof(WCHAR)));
  if (fresh == nullptr) throw std::bad_alloc();
  std::memcpy(fresh, m_data, static_cast<size_t>(m_length) * sizeof(WCHAR));
  fresh[m_length] = 0;
  if (m_data != &kNoText) std::free(m_data);
  m_data = fresh;
  m_capacity = capacity;
}

CStringW::CStringW(const CStringW& other) : CStringW() { SetString(other.m_data, other.m_length); }

CStringW::CStringW(CStringW&& other) noexcept
    : m_data(other.m_data), m_length(other.m_length), m_capacity(other.m_capacity) {
  other.m_data = const_cast<WCHAR*>(&kNoText);
  other.m_length = 0;
  other.m_capacity = 0;
}

CStringW::CStringW(const WCHAR* text) : CStringW() { SetString(text); }

CStringW::CStringW(const WCHAR* text, int n) : CStringW() { SetString(text, n); }

CStringW::CStringW(WCHAR ch, int count) : CStringW() {
  if (count < 1) return;
  Reserve(count);
  for (int i = 0; i < count; ++i) m_data[i] = ch;
  m_length = count;
  m_data[count] = 0;
}

CStringW::~CStringW() {
  if (m_data != &kNoText) std::free(m_data);
}

CStringW& CStringW::operator=(const CStringW& other) {
  if (this != &other) SetString(other.m_data, other.m_length);
  return *this;
}

CStringW& CStringW::operator=(CStringW&& other) noexcept {
  if (this == &other) return *this;
  if (m_data != &kNoText) std::free(m_data);
  m_data = other.m_data;
  m_length = other.m_length;
  m_capacity = other.m_capacity;
  other.m_data = const_cast<WCHAR*>(&kNoText);
  other.m_length = 0;
  other.m_capacity = 0;
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
  Reserve(n > m_length ? n : m_length);
  return m_data;
}

void CStringW::ReleaseBuffer(int n) {
  if (m_data == &kNoText) return;  // no buffer was handed out
  if (n < 0) {
    n = static_cast<int>(pavo::WideLengthBounded(m_data, static_cast<size_t>(m_capacity)));
  } else if (n > m_capacity) {
    n = m_capacity;
  }
  m_length = n;
  m_data[n] = 0;
}

WCHAR* CStringW::GetBufferSetLength(int n) {
  if (n < 0) n = 0;
  Reserve(n);
  if (n > m_length) std::memset(m_data + m_length, 0, static_cast<size_t>(n - m_length) * sizeof(WCHAR));
  m_length = n;
  m_data[n] = 0;
  return m_data;
}

void CStringW::SetString(const WCHAR* text, int n) {
  if (text == nullptr || n <= 0) {
    Empty();
    return;
  }
  // The source may lie inside this string's own storage.
  if (m_data != &kNoText && text >= m_data && text <= m_data + m_capacity) {
    const size_t offset = static_cast<size_t>(text - m_data);
    if (offset + static_cast<size_t>(n) > static_cast<size_t>(m_capacity)) n = m_capacity - static_cast<int>(offset);
    std::memmove(m_data, m_data + offset, static_cast<size_t>(n) * sizeof(WCHAR));
  } else {
    if (n > m_capacity || m_data == &kNoText) {
      // Fresh storage of exactly n units: an assignment does not grow geometrically.
      Empty();
      if (m_data != &kNoText) std::free(m_data);
      m_data = const_cast<WCHAR*>(&kNoText);
      m_capacity = 0;
      Reserve(n);
    }
    std::memcpy(m_data, text, static_cast<size_t>(n) * sizeof(WCHAR));
  }
  m_length = n;
  m_data[n] = 0;
}

void CStringW::SetString(const WCHAR* text) { SetString(text, ClampedLength(pavo::WideLength(text))); }

void CStringW::Empty() noexcept {
  m_length = 0;
  if (m_data != &kNoText) m_data[0] = 0;
}

int CStringW::Find(WCHAR ch, int start) const noexcept {
  if (start < 0 || start >= m_length) return -1;
  for (int i = start; i < m_length; ++i) {
    if (m_data[i] == ch) return i;
  }
  return -1;
}

int CStringW::Find(const WCHAR* s, int start) const noexcept {
  if (start < 0 || start > m_length) return -1;
  const size_t n = pavo::WideLength(s);
  if (n == 0) return start;
  if (n > static_cast<size_t>(m_length - start)) return -1;
  const int last = m_length - static_cast<int>(n);
  for (int i = start; i <= last; ++i) {
    if (m_data[i] == s[0] && std::memcmp(m_data + i, s, n * sizeof(WCHAR)) == 0) return i;
  }
  return -1;
}

int CStringW::ReverseFind(WCHAR ch) const noexcept {
  for (int i = m_length; i > 0; --i) {
    if (m_data[i - 1] == ch) return i - 1;
  }
  return -1;
}

CStringW CStringW::Left(int n) const {
  if (n < 0) n = 0;
  if (n >= m_length) return *this;
  return CStringW(m_data, n);
}

CStringW CStringW::Right(int n) const {
  if (n < 0) n = 0;
  if (n >= m_length) return *this;
  return CStringW(m_data + (m_length - n), n);
}

CStringW CStringW::Mid(int i) const { return Mid(i, INT_MAX); }

CStringW CStringW::Mid(int i, int n) const {
  if (i < 0) i = 0;
  if (n < 0) n = 0;
  if (i >= m_length) return CStringW();
  if (n > m_length - i) n = m_length - i;
  if (i == 0 && n == m_length) return *this;
  return CStringW(m_data + i, n);
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
  if (n > kMaxUnits - m_length) throw std::bad_alloc();
  // Appending part of itself: keep an offset, the storage may move.
  const bool inside = m_data != &kNoText && text >= m_data && text <= m_data + m_capacity;
  const size_t offset = inside ? static_cast<size_t>(text - m_data) : 0;
  if (inside && offset + static_cast<size_t>(n) > static_cast<size_t>(m_capacity) + 1)
    n = m_capacity + 1 - static_cast<int>(offset);
  Reserve(m_length + n);
  const WCHAR* src = inside ? m_data + offset : text;
  std::memmove(m_data + m_length, src, static_cast<size_t>(n) * sizeof(WCHAR));
  m_length += n;
  m_data[m_length] = 0;
}

CStringW& CStringW::operator+=(const CStringW& other) {
  Append(other.m_data, other.m_length);
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
  return CompareUnits(m_data, static_cast<size_t>(m_length), text != nullptr ? text : &kNoText, pavo::WideLength(text));
}

int CStringW::Compare(const CStringW& other) const noexcept {
  return CompareUnits(m_data, static_cast<size_t>(m_length), other.m_data, static_cast<size_t>(other.m_length));
}

CStringW operator+(const CStringW& a, const CStringW& b) {
  CStringW result;
  result.Reserve(ClampedLength(static_cast<size_t>(a.m_length) + static_cast<size_t>(b.m_length)));
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
