#include "tools/xml_encoding.h"

#include <cstdint>

#include "platform/win/code_pages.h"

namespace pavorm_tool {
namespace {

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool IsAnyOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (SameName(name, n)) return true;
  }
  return false;
}

// The encoding name of an XML declaration at the start of ASCII-compatible
// text ("" when there is none); a malformed declaration is left to the
// well-formedness check.
std::string DeclaredEncoding(const std::string& text) {
  if (text.compare(0, 6, "<?xml ") != 0 && text.compare(0, 6, "<?xml\t") != 0 && text.compare(0, 6, "<?xml\n") != 0 &&
      text.compare(0, 6, "<?xml\r") != 0) {
    return std::string();
  }
  const size_t end = text.find("?>");
  const std::string decl = text.substr(0, end);
  const size_t at = decl.find("encoding");
  if (at == std::string::npos) return std::string();
  size_t i = at + 8;
  while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\n' || decl[i] == '\r')) ++i;
  if (i >= decl.size() || decl[i] != '=') return std::string();
  ++i;
  while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\n' || decl[i] == '\r')) ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return std::string();
  const size_t close = decl.find(decl[i], i + 1);
  if (close == std::string::npos) return std::string();
  return decl.substr(i + 1, close - i - 1);
}

// Checks UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
size_t FirstBadUtf8(const std::string& s, size_t from) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  size_t i = from;
  while (i < s.size()) {
    const unsigned char c = at(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t n = 0;
    uint32_t min = 0, v = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      n = 1, min = 0x80, v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2, min = 0x800, v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3, min = 0x10000, v = c & 0x07;
    } else {
      return i;
    }
    if (s.size() - i <= n) return i;
    for (size_t k = 1; k <= n; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) return i;
      v = (v << 6) | (at(i + k) & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return i;
    i += n + 1;
  }
  return std::string::npos;
}

void FromUtf16(const std::string& bytes, size_t start, bool big, XmlText* out) {
  const auto unit = [&](size_t i) {
    const unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return big ? (a << 8) | b : a | (b << 8);
  };
  if ((bytes.size() - start) % 2 != 0) {
    out->problem = "the file ends inside a UTF-16 unit";
    out->problemOffset = bytes.size() - 1;
    return;
  }
  out->utf8.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out->problem = "an unpaired UTF-16 surrogate";
      out->problemOffset = i;
      return;
    }
    AppendUtf8(c, &out->utf8);
  }
}

}  // namespace

XmlText DecodeXml(const std::string& bytes) {
  XmlText out;
  const auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100u; };
  // Byte-order marks, then the first characters of "<?xml" in UTF-16.
  bool utf16 = false, big = false;
  size_t start = 0;
  if (at(0) == 0xFF && at(1) == 0xFE) {
    utf16 = true, start = 2;
  } else if (at(0) == 0xFE && at(1) == 0xFF) {
    utf16 = big = true, start = 2;
  } else if (at(0) == '<' && at(1) == 0 && at(2) == '?' && at(3) == 0) {
    utf16 = true;
  } else if (at(0) == 0 && at(1) == '<' && at(2) == 0 && at(3) == '?') {
    utf16 = big = true;
  }
  if (utf16) {
    out.encoding = big ? "UTF-16BE" : "UTF-16LE";
    FromUtf16(bytes, start, big, &out);
    if (!out.problem.empty()) return out;
    out.declared = DeclaredEncoding(out.utf8);
    if (!out.declared.empty() && !IsAnyOf(out.declared, {"UTF-16", "UTF-16LE", "UTF-16BE", "ISO-10646-UCS-2", "UCS-2"})) {
      out.problem = "the encoding declaration says " + out.declared + " but the file is UTF-16";
    }
    return out;
  }
  const bool bom = at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF;
  start = bom ? 3 : 0;
  const std::string head = bytes.substr(start, 4096);
  out.declared = DeclaredEncoding(head);
  const std::string& d = out.declared;
  if (d.empty() || IsAnyOf(d, {"UTF-8", "UTF8"})) {
    out.encoding = "UTF-8";
  } else if (bom) {
    out.problem = "the encoding declaration says " + d + " but the file starts with a UTF-8 byte-order mark";
    return out;
  } else if (IsAnyOf(d, {"US-ASCII", "ASCII", "ANSI_X3.4-1968"})) {
    out.encoding = "US-ASCII";
  } else if (IsAnyOf(d, {"ISO-8859-1", "ISO8859-1", "ISO_8859-1", "LATIN1", "L1", "ISO-IR-100", "CP819", "IBM819"})) {
    out.encoding = "ISO-8859-1";
  } else if (IsAnyOf(d, {"WINDOWS-1252", "CP1252", "X-CP1252"})) {
    out.encoding = "windows-1252";
  } else if (IsAnyOf(d, {"UTF-16", "UTF-16LE", "UTF-16BE"})) {
    out.problem = "the encoding declaration says " + d + " but the file is not UTF-16";
    return out;
  } else {
    out.problem = "encoding " + d + " is not one the XML library reads (UTF-8, UTF-16, ISO-8859-1, "
                  "windows-1252, US-ASCII)";
    return out;
  }
  if (out.encoding == "UTF-8" || out.encoding == "US-ASCII") {
    const size_t bad = FirstBadUtf8(bytes, start);
    if (bad != std::string::npos) {
      out.problem = out.encoding == "UTF-8" ? "bytes that are not UTF-8" : "a byte that is not US-ASCII";
      out.problemOffset = bad;
      return out;
    }
    if (out.encoding == "US-ASCII") {
      for (size_t i = start; i < bytes.size(); ++i) {
        if (at(i) >= 0x80) {
          out.problem = "a byte that is not US-ASCII";
          out.problemOffset = i;
          return out;
        }
      }
    }
    out.utf8 = bytes.substr(start);
    return out;
  }
  out.utf8.reserve(bytes.size() + bytes.size() / 8);
  if (out.encoding == "ISO-8859-1") {
    for (size_t i = start; i < bytes.size(); ++i) AppendUtf8(at(i), &out.utf8);
    return out;
  }
  // windows-1252 through the library's own table, one byte at a time.
  for (size_t i = start; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(at(i));
    if (b < 0x80) {
      out.utf8 += static_cast<char>(b);
      continue;
    }
    WCHAR unit = 0;
    const char byte = static_cast<char>(b);
    if (MultiByteToWideChar(1252, 0, &byte, 1, &unit, 1) != 1) {
      out.problem = "a byte windows-1252 does not define";
      out.problemOffset = i;
      return out;
    }
    AppendUtf8(unit, &out.utf8);
  }
  return out;
}

}  // namespace pavorm_tool
