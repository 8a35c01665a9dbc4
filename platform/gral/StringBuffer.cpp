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

// UTF-16 text of the source (units before its terminator).
std::u16string DecodeToWide(const char* bytes, int count, int encoding) {
  std::u16string wide;
  if (count <= 0) return wide;
  if (encoding == StringBuffer::kUtf16) {
    wide.resize(static_cast<size_t>(count) / 2);
    std::memcpy(&wide[0], bytes, wide.size() * 2);
    return wide;
  }
  const UINT cp = encoding == StringBuffer::kUtf8 ? CP_UTF8 : CP_ACP;
  // One byte never gives more than one unit (a 4-byte UTF-8 sequence gives 2).
  wide.resize(static_cast<size_t>(count));
  const int units = MultiByteToWideChar(cp, 0, bytes, count, reinterpret_cast<WCHAR*>(&wide[0]), count);
  wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
  return wide;
}

// Narrow text of wide in code page cp, without terminator; empty on failure.
std::string EncodeNarrow(const std::u16string& wide, UINT cp) {
  std::string out;
  if (wide.empty()) return out;
  const auto* src = reinterpret_cast<const WCHAR*>(wide.data());
  const int units = CheckedSize(wide.size());
  // UTF-8 needs at most 3 bytes a unit; else (or when that bound is too big) ask.
  size_t room = cp == CP_UTF8 ? wide.size() * 3 : 0;
  if (room == 0 || room > static_cast<size_t>(INT_MAX)) {
    const int needed = WideCharToMultiByte(cp, 0, src, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return out;
    room = static_cast<size_t>(needed);
  }
  out.resize(room);
  const int written = WideCharToMultiByte(cp, 0, src, units, &out[0], static_cast<int>(room), nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

}  // namespace

StringBuffer::StringBuffer() : m_units(1, u'\0'), m_size(0), m_encoding(kUtf8) {}

StringBuffer::StringBuffer(int byteCount, const void* bytes, int encoding) : m_size(0), m_encoding(encoding) {
  Reset(bytes == nullptr ? 0 : byteCount);
  if (m_size > 0) std::memcpy(data(), bytes, static_cast<size_t>(m_size));
}

StringBuffer::StringBuffer(int byteCount, int encoding) : m_size(0), m_encoding(encoding) { Reset(byteCount); }

StringBuffer::StringBuffer(StringBuffer&& other) noexcept
    : m_units(std::move(other.m_units)), m_size(other.m_size), m_encoding(other.m_encoding) {
  other.m_units.assign(1, u'\0');
  other.m_size = 0;
}

StringBuffer& StringBuffer::operator=(StringBuffer&& other) noexcept {
  if (this != &other) {
    m_units.swap(other.m_units);
    m_size = other.m_size;
    m_encoding = other.m_encoding;
    other.m_units.assign(1, u'\0');
    other.m_size = 0;
  }
  return *this;
}

StringBuffer::~StringBuffer() = default;

void StringBuffer::Reset(int byteCount) {
  m_size = byteCount > 0 ? byteCount : 0;
  // Whole units for the bytes plus one 0 unit behind them.
  m_units.assign(static_cast<size_t>(m_size) / 2 + 2, u'\0');
}

int StringBuffer::encoding() const { return m_encoding; }

int StringBuffer::textBytes() const noexcept {
  if (m_encoding == kUtf16) {
    const int units = m_size / 2;
    int i = 0;
    while (i < units && m_units[static_cast<size_t>(i)] != 0) ++i;
    return 2 * i;
  }
  const void* zero = std::memchr(data(), 0, static_cast<size_t>(m_size));
  return zero == nullptr ? m_size : static_cast<int>(static_cast<const char*>(zero) - data());
}

bool StringBuffer::isEmpty() const {
  if (m_encoding == kUtf16) return m_size < 2 || m_units[0] == 0;
  return m_size < 1 || data()[0] == 0;
}

void StringBuffer::convert(StringBuffer& target, int encoding) const {
  StringBuffer result(0, encoding);
  if (!KnownEncoding(encoding)) {
    target = std::move(result);
    return;
  }
  const int have = KnownEncoding(m_encoding) ? textBytes() : 0;
  if (encoding == m_encoding) {
    // Same code: the text as it stands, cut at its terminator.
    const int terminator = encoding == kUtf16 ? 2 : 1;
    result.Reset(CheckedSize(static_cast<size_t>(have) + terminator));
    if (have > 0) std::memcpy(result.data(), data(), static_cast<size_t>(have));
    target = std::move(result);
    return;
  }
  const std::u16string wide = DecodeToWide(data(), have, m_encoding);
  if (encoding == kUtf16) {
    result.Reset(CheckedSize((wide.size() + 1) * 2));
    if (!wide.empty()) std::memcpy(result.data(), wide.data(), wide.size() * 2);
  } else {
    const std::string narrow = EncodeNarrow(wide, encoding == kUtf8 ? CP_UTF8 : CP_ACP);
    result.Reset(CheckedSize(narrow.size() + 1));
    if (!narrow.empty()) std::memcpy(result.data(), narrow.data(), narrow.size());
  }
  target = std::move(result);
}

}  // namespace Gral
