// Gral::StringBuffer: storage, text bounds and re-encoding through the
// code-page stand-in (UTF-8 and the ANSI code page).
#include "platform/gral/StringBuffer.h"

#include <climits>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/win/code_pages.h"
#include "platform/win/win_types.h"

namespace Gral {
namespace {

bool KnownEncoding(int encoding) {
  return encoding == StringBuffer::kAnsi || encoding == StringBuffer::kUtf8 || encoding == StringBuffer::kUtf16;
}

int CheckedSize(size_t bytes) {
  if (bytes > static_cast<size_t>(INT_MAX)) throw std::length_error("Gral::StringBuffer: text too long");
  return static_cast<int>(bytes);
}

// Wide text of the source: its own units when it is UTF-16, else decoded into scratch.
const WCHAR* WideSource(const char* bytes, int count, int encoding, std::u16string& scratch, int& units) {
  units = 0;
  if (count <= 0) return nullptr;
  if (encoding == StringBuffer::kUtf16) {
    units = count / 2;
    return reinterpret_cast<const WCHAR*>(bytes);  // the buffer's units are 16-bit aligned
  }
  const UINT cp = encoding == StringBuffer::kUtf8 ? CP_UTF8 : CP_ACP;
  // One byte never gives more than one unit (a 4-byte UTF-8 sequence gives 2).
  scratch.resize(static_cast<size_t>(count));
  units = MultiByteToWideChar(cp, 0, bytes, count, reinterpret_cast<WCHAR*>(&scratch[0]), count);
  if (units < 0) units = 0;
  return reinterpret_cast<const WCHAR*>(scratch.data());
}

}  // namespace

StringBuffer::StringBuffer() : m_Inline{}, m_Size(0), m_Encoding(kUtf8) {}

StringBuffer::StringBuffer(int byteCount, const void* bytes, int encoding) : m_Size(0), m_Encoding(encoding) {
  Reset(bytes == nullptr ? 0 : byteCount, byteCount);
  if (m_Size > 0) std::memcpy(data(), bytes, static_cast<size_t>(m_Size));
}

StringBuffer::StringBuffer(int byteCount, int encoding) : m_Size(0), m_Encoding(encoding) { Reset(byteCount); }

StringBuffer::StringBuffer(const StringBuffer& other) : m_Size(0), m_Encoding(other.m_Encoding) {
  Reset(other.m_Size, other.m_Size);
  std::memcpy(data(), other.data(), static_cast<size_t>(m_Size));
}

StringBuffer& StringBuffer::operator=(const StringBuffer& other) {
  if (this != &other) {
    StringBuffer copy(other);
    *this = std::move(copy);
  }
  return *this;
}

StringBuffer::StringBuffer(StringBuffer&& other) noexcept : m_Size(0), m_Encoding(kUtf8) {
  *this = std::move(other);
}

StringBuffer& StringBuffer::operator=(StringBuffer&& other) noexcept {
  if (this == &other) return *this;
  m_Heap = std::move(other.m_Heap);
  if (!m_Heap) std::memcpy(m_Inline, other.m_Inline, sizeof m_Inline);
  m_Size = other.m_Size;
  m_Encoding = other.m_Encoding;
  std::memset(other.m_Inline, 0, sizeof other.m_Inline);
  other.m_Size = 0;
  return *this;
}

StringBuffer::~StringBuffer() = default;

void StringBuffer::Truncate(int textBytes) {
  // The text and one terminator; the bytes behind it are 0 already or cleared here.
  if (textBytes >= m_Size) return;
  std::memset(data() + textBytes, 0, static_cast<size_t>(m_Size - textBytes));
  m_Size = textBytes + (m_Encoding == kUtf16 ? 2 : 1);
}

void StringBuffer::Reset(int byteCount, int filled) {
  m_Size = byteCount > 0 ? byteCount : 0;
  // Whole units for the bytes plus one 0 unit behind them.
  const size_t units = static_cast<size_t>(m_Size) / 2 + 2;
  char16_t* u = m_Inline;
  if (units <= kInlineUnits) {
    m_Heap.reset();
  } else {
    m_Heap.reset(new char16_t[units]);
    u = m_Heap.get();
  }
  // The caller writes the first `filled` bytes; everything behind them is 0.
  size_t from = filled > 0 && filled <= m_Size ? static_cast<size_t>(filled) & ~static_cast<size_t>(1) : 0;
  std::memset(reinterpret_cast<char*>(u) + from, 0, units * 2 - from);
}

int StringBuffer::encoding() const { return m_Encoding; }

int StringBuffer::textBytes() const noexcept {
  if (m_Encoding == kUtf16) {
    const int units = m_Size / 2;
    int i = 0;
    const char16_t* u = Units();
    while (i < units && u[i] != 0) ++i;
    return 2 * i;
  }
  const void* zero = std::memchr(data(), 0, static_cast<size_t>(m_Size));
  return zero == nullptr ? m_Size : static_cast<int>(static_cast<const char*>(zero) - data());
}

bool StringBuffer::isEmpty() const {
  if (m_Encoding == kUtf16) return m_Size < 2 || Units()[0] == 0;
  return m_Size < 1 || data()[0] == 0;
}

void StringBuffer::convert(StringBuffer& target, int encoding) const {
  StringBuffer result(0, encoding);
  if (!KnownEncoding(encoding)) {
    target = std::move(result);
    return;
  }
  const int have = KnownEncoding(m_Encoding) ? textBytes() : 0;
  if (encoding == m_Encoding) {
    // Same code: the text as it stands, cut at its terminator.
    const int terminator = encoding == kUtf16 ? 2 : 1;
    result.Reset(CheckedSize(static_cast<size_t>(have) + terminator), have);
    if (have > 0) std::memcpy(result.data(), data(), static_cast<size_t>(have));
    target = std::move(result);
    return;
  }
  if (encoding == kUtf16) {
    // Narrow to wide: never more units than bytes, written in place.
    result.Reset(CheckedSize((static_cast<size_t>(have) + 1) * 2));
    const UINT cp = m_Encoding == kUtf8 ? CP_UTF8 : CP_ACP;
    const int units = have > 0 ? MultiByteToWideChar(cp, 0, data(), have, reinterpret_cast<WCHAR*>(result.data()), have) : 0;
    result.Truncate(units > 0 ? 2 * units : 0);
    target = std::move(result);
    return;
  }
  std::u16string scratch;
  int units = 0;
  const WCHAR* wide = WideSource(data(), have, m_Encoding, scratch, units);
  if (units > 0) {
    // UTF-8 takes at most three bytes a unit; other code pages are asked.
    const UINT cp = encoding == kUtf8 ? CP_UTF8 : CP_ACP;
    size_t room = cp == CP_UTF8 ? static_cast<size_t>(units) * 3 : 0;
    if (room == 0 || room >= static_cast<size_t>(INT_MAX)) {
      const int needed = WideCharToMultiByte(cp, 0, wide, units, nullptr, 0, nullptr, nullptr);
      room = needed > 0 ? static_cast<size_t>(needed) : 0;
    }
    result.Reset(CheckedSize(room + 1));
    const int written =
        room > 0 ? WideCharToMultiByte(cp, 0, wide, units, result.data(), static_cast<int>(room), nullptr, nullptr) : 0;
    result.Truncate(written > 0 ? written : 0);
  } else {
    result.Reset(1);
  }
  target = std::move(result);
}

}  // namespace Gral
