#include "platform/win/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace pavo {
namespace {

// Writes while the result fits; counts on regardless, so that the caller
// learns the whole size and a strict scan still sees every character.
template <typename Unit>
class BoundedOut {
 public:
  BoundedOut(Unit* out, size_t capacity) : m_out(out), m_capacity(out != nullptr ? capacity : 0) {}
  void Put(uint32_t unit) {
    if (m_count < m_capacity) m_out[m_count] = static_cast<Unit>(unit);
    ++m_count;
  }
  // Units that are all below 0x80, widened or narrowed as they are.
  template <typename Source>
  void PutAscii(const Source* units, size_t count) {
    if (m_count + count <= m_capacity) {
      for (size_t k = 0; k < count; ++k) m_out[m_count + k] = static_cast<Unit>(units[k]);
    }
    m_count += count;
  }
  // All or none of a character's units, so a cut result never ends in half a character.
  bool Fits(size_t units) const { return m_count + units <= m_capacity; }
  void Skip(size_t units) { m_count += units; }
  size_t count() const { return m_count; }
  Utf8Status Finish(size_t* produced) const {
    *produced = m_count;
    return m_out != nullptr && m_count > m_capacity ? Utf8Status::kNoRoom : Utf8Status::kOk;
  }

 private:
  Unit* m_out;
  size_t m_capacity;
  size_t m_count = 0;
};

// ASCII is the common case: eight bytes or four units are tested at once.
constexpr uint64_t kHighBytes = 0x8080808080808080ull;
constexpr uint64_t kHighUnits = 0xFF80FF80FF80FF80ull;

uint64_t Load64(const void* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace

Utf8Status EncodeUtf8(const WCHAR* text, size_t length, bool strict, char* out, size_t capacity,
                      size_t* produced) {
  BoundedOut<char> sink(out, capacity);
  for (size_t i = 0; i < length; ++i) {
    while (i + 4 <= length && (Load64(text + i) & kHighUnits) == 0) {
      sink.PutAscii(text + i, 4);
      i += 4;
    }
    if (i == length) break;
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c < 0x80) {
      sink.Put(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      const uint32_t low = i + 1 < length ? static_cast<uint16_t>(text[i + 1]) : 0;
      if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else if (strict) {
        return Utf8Status::kInvalid;
      } else {
        c = 0xFFFD;
      }
    }
    const size_t bytes = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (!sink.Fits(bytes)) {
      sink.Skip(bytes);
      continue;
    }
    if (bytes == 2) {
      sink.Put(0xC0 | (c >> 6));
    } else if (bytes == 3) {
      sink.Put(0xE0 | (c >> 12));
      sink.Put(0x80 | ((c >> 6) & 0x3F));
    } else {
      sink.Put(0xF0 | (c >> 18));
      sink.Put(0x80 | ((c >> 12) & 0x3F));
      sink.Put(0x80 | ((c >> 6) & 0x3F));
    }
    sink.Put(0x80 | (c & 0x3F));
  }
  return sink.Finish(produced);
}

Utf8Status DecodeUtf8(const char* text, size_t length, bool strict, WCHAR* out, size_t capacity,
                      size_t* produced) {
  const auto* src = reinterpret_cast<const unsigned char*>(text);
  BoundedOut<WCHAR> sink(out, capacity);
  size_t i = 0;
  while (i < length) {
    if (i + 8 <= length && (Load64(src + i) & kHighBytes) == 0) {
      sink.PutAscii(src + i, 8);
      i += 8;
      continue;
    }
    const unsigned b = src[i];
    if (b < 0x80) {
      sink.Put(b);
      ++i;
      continue;
    }
    // Expected length and the allowed range of the second byte (which rules
    // out overlong forms, surrogates and values above U+10FFFF).
    size_t need = 0;
    unsigned lo = 0x80, hi = 0xBF;
    uint32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t used = 1;
    bool ok = need != 0;
    for (size_t k = 0; ok && k < need; ++k) {
      if (i + used >= length) {
        ok = false;
        break;
      }
      const unsigned t = src[i + used];
      if (t < (k == 0 ? lo : 0x80u) || t > (k == 0 ? hi : 0xBFu)) {
        ok = false;
        break;
      }
      c = (c << 6) | (t & 0x3F);
      ++used;
    }
    i += used;  // on error: the maximal subpart, the lead and the trail bytes that fit
    if (!ok) {
      if (strict) return Utf8Status::kInvalid;
      sink.Put(0xFFFD);
    } else if (c < 0x10000) {
      sink.Put(c);
    } else if (!sink.Fits(2)) {
      sink.Skip(2);
    } else {
      c -= 0x10000;
      sink.Put(0xD800 + (c >> 10));
      sink.Put(0xDC00 + (c & 0x3FF));
    }
  }
  return sink.Finish(produced);
}

bool AppendUtf8(const WCHAR* text, size_t length, bool strict, std::string* out) {
  size_t bytes = 0;
  if (EncodeUtf8(text, length, strict, nullptr, 0, &bytes) != Utf8Status::kOk) return false;
  const size_t old = out->size();
  out->resize(old + bytes);
  EncodeUtf8(text, length, strict, &(*out)[old], bytes, &bytes);
  return true;
}

}  // namespace pavo
