// Reading .reg files: decode, check every line, then apply.
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "platform/win/paths.h"
#if !defined(_WIN32)
#include "platform/win/registry_hive.h"
#endif
#include "platform/win/registry_reg_file.h"
#include "platform/win/registry_reg_text.h"

namespace pavo {
namespace reg {
#if defined(_WIN32)
namespace {
// Names compare as the registry compares them: in upper case.
WideString FoldName(WideString name) {
  if (!name.empty()) CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
  return name;
}
}  // namespace
#endif

namespace {

// Larger .reg files are refused rather than read into memory.
constexpr size_t kMaxRegFileBytes = size_t{256} << 20;

struct Operation {
  enum Kind { kKey, kDeleteKey, kSetValue, kDeleteValue } kind;
  HKEY root = nullptr;
  WideString path;  // below root; may be empty (the root itself)
  WideString name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

bool IsSpace(WCHAR c) { return c == u' ' || c == u'\t'; }

WideString Trim(const WideString& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

WCHAR Upper(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 32) : c; }

bool StartsWithNoCase(const WideString& s, size_t pos, const WCHAR* prefix) {
  for (size_t i = 0; prefix[i] != 0; ++i) {
    if (pos + i >= s.size() || Upper(s[pos + i]) != Upper(prefix[i])) return false;
  }
  return true;
}

int HexDigit(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The text as UTF-16: a UTF-16LE BOM, a UTF-8 BOM, or plain bytes, which are
// UTF-8 for a version 5 header and Windows-1252 for REGEDIT4.
WideString Decode(const unsigned char* p, size_t size, bool* regedit4) {
  *regedit4 = false;
  if (size >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    WideString out;
    out.reserve((size - 2) / 2);
    for (size_t i = 2; i + 1 < size; i += 2) out.push_back(static_cast<WCHAR>(p[i] | (p[i + 1] << 8)));
    return out;
  }
  size_t start = 0;
  if (size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) start = 3;
  const std::string bytes(reinterpret_cast<const char*>(p) + start, size - start);
  if (start == 0 && bytes.compare(0, 8, "REGEDIT4") == 0) {
    *regedit4 = true;
    return WideFromAnsi(bytes);
  }
  return WideFromUtf8(bytes.data(), bytes.size());
}

std::vector<WideString> SplitLines(const WideString& text) {
  std::vector<WideString> lines;
  WideString current;
  for (size_t i = 0; i < text.size(); ++i) {
    const WCHAR c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      continue;
    }
    current.push_back(c);
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// A quoted text starting at s[*pos] == '"'; \\ \" \n \r \0 are escapes.
bool ParseQuoted(const WideString& s, size_t* pos, WideString* out) {
  out->clear();
  size_t i = *pos + 1;
  while (i < s.size()) {
    const WCHAR c = s[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c == u'\\' && i + 1 < s.size()) {
      const WCHAR e = s[i + 1];
      if (e == u'n') {
        out->push_back(u'\n');
      } else if (e == u'r') {
        out->push_back(u'\r');
      } else if (e == u'0') {
        out->push_back(0);
      } else {
        out->push_back(e);  // \\ and \" and any other escaped character
      }
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

bool RestIsBlank(const WideString& s, size_t pos) {
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  return pos == s.size() || s[pos] == u';';
}

std::vector<BYTE> WideBytes(const WideString& s, bool terminate) {
  std::vector<BYTE> out;
  out.reserve((s.size() + 1) * 2);
  for (WCHAR c : s) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

bool ParseHexBytes(const WideString& s, size_t pos, std::vector<BYTE>* out) {
  out->clear();
  while (true) {
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
    if (pos >= s.size() || s[pos] == u';') return true;
    int value = 0, digits = 0;
    while (pos < s.size() && HexDigit(s[pos]) >= 0) {
      value = value * 16 + HexDigit(s[pos]);
      if (++digits > 2) return false;
      ++pos;
    }
    if (digits == 0) return false;
    out->push_back(static_cast<BYTE>(value));
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
    if (pos >= s.size() || s[pos] == u';') return true;
    if (s[pos] != u',') return false;
    ++pos;
  }
}

class Parser {
 public:
  Parser(const std::vector<RegFileRoot>& roots, bool regedit4)
      : m_roots(roots), m_regedit4(regedit4) {}

  // Parses the lines after the header; false with *errorLine on the first bad one.
  bool Run(const std::vector<WideString>& lines, size_t first, std::vector<Operation>* ops,
           size_t* errorLine) {
    for (size_t i = first; i < lines.size(); ++i) {
      const size_t lineNo = i + 1;
      WideString line = Trim(lines[i]);
      if (line.empty() || line[0] == u';') continue;
      bool ok;
      if (line[0] == u'[') {
        ok = ParseKey(line, ops);
      } else {
        // Hex data may go on over lines that end in a backslash.
        while (!line.empty() && line.back() == u'\\' && IsHexValue(line) && i + 1 < lines.size()) {
          line.pop_back();
          line += Trim(lines[++i]);
        }
        ok = m_haveKey && ParseValue(line, ops);
      }
      if (!ok) {
        *errorLine = lineNo;
        return false;
      }
    }
    return true;
  }

 private:
  // Reads a value line up to its data: the name ("quoted", or @ for the
  // default value) and the '=' after it. *pos is left at the data.
  static bool ParseValueName(const WideString& line, size_t* pos, WideString* name) {
    *pos = 0;
    if (line[0] == u'@') {
      *pos = 1;
    } else if (line[0] == u'"') {
      if (!ParseQuoted(line, pos, name)) return false;
    } else {
      return false;
    }
    while (*pos < line.size() && IsSpace(line[*pos])) ++*pos;
    if (*pos >= line.size() || line[*pos] != u'=') return false;
    ++*pos;
    while (*pos < line.size() && IsSpace(line[*pos])) ++*pos;
    return true;
  }

  static bool IsHexValue(const WideString& line) {
    size_t pos = 0;
    WideString ignored;
    return ParseValueName(line, &pos, &ignored) && StartsWithNoCase(line, pos, WTEXT("hex"));
  }

  bool ParseKey(const WideString& line, std::vector<Operation>* ops) {
    const size_t close = line.rfind(u']');
    if (close == WideString::npos || !RestIsBlank(line, close + 1)) return false;
    bool remove = line.size() > 1 && line[1] == u'-';
    WideString full = line.substr(remove ? 2 : 1, close - (remove ? 2 : 1));
    while (!full.empty() && full.back() == u'\\') full.pop_back();
    Operation op;
    op.kind = remove ? Operation::kDeleteKey : Operation::kKey;
    if (!Resolve(full, &op.root, &op.path)) return false;
    if (remove && op.path.empty()) return false;  // a root is never deleted
    m_haveKey = !remove;
    ops->push_back(std::move(op));
    return true;
  }

  bool Resolve(const WideString& full, HKEY* root, WideString* path) const {
    size_t best = 0;
    const RegFileRoot* match = nullptr;
    for (const RegFileRoot& r : m_roots) {
      const size_t n = r.name.size();
      if (n == 0 || n > full.size() || n < best) continue;
      if (n < full.size() && full[n] != u'\\') continue;
      if (FoldName(full.substr(0, n)) != FoldName(r.name)) continue;
      best = n;
      match = &r;
    }
    if (match == nullptr) return false;
    *root = match->key;
    *path = best < full.size() ? full.substr(best + 1) : WideString();
    return true;
  }

  bool ParseValue(const WideString& line, std::vector<Operation>* ops) {
    Operation op;
    op.kind = Operation::kSetValue;
    size_t pos = 0;
    if (!ParseValueName(line, &pos, &op.name) || pos >= line.size()) return false;
    if (line[pos] == u'-' && RestIsBlank(line, pos + 1)) {
      op.kind = Operation::kDeleteValue;
    } else if (line[pos] == u'"') {
      WideString text;
      if (!ParseQuoted(line, &pos, &text) || !RestIsBlank(line, pos)) return false;
      op.type = REG_SZ;
      op.data = WideBytes(text, true);
    } else if (StartsWithNoCase(line, pos, WTEXT("dword:"))) {
      pos += 6;
      uint32_t value = 0;
      int digits = 0;
      while (pos < line.size() && HexDigit(line[pos]) >= 0) {
        if (++digits > 8) return false;
        value = value * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
      }
      if (digits == 0 || !RestIsBlank(line, pos)) return false;
      op.type = REG_DWORD;
      op.data = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                 static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    } else if (StartsWithNoCase(line, pos, WTEXT("hex"))) {
      pos += 3;
      op.type = REG_BINARY;
      if (pos < line.size() && line[pos] == u'(') {
        ++pos;
        uint32_t type = 0;
        int digits = 0;
        while (pos < line.size() && HexDigit(line[pos]) >= 0) {
          if (++digits > 8) return false;
          type = type * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
        }
        if (digits == 0 || pos >= line.size() || line[pos] != u')') return false;
        ++pos;
        op.type = type;
      }
      if (pos >= line.size() || line[pos] != u':') return false;
      if (!ParseHexBytes(line, pos + 1, &op.data)) return false;
      if (m_regedit4 && (op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ)) {
        // REGEDIT4 writes the text of these types as ANSI bytes.
        op.data = WideBytes(WideFromAnsi(std::string(op.data.begin(), op.data.end())), false);
      }
    } else {
      return false;
    }
    if (op.data.size() > 0xFFFFFFFFu) return false;
    ops->push_back(std::move(op));
    return true;
  }

  const std::vector<RegFileRoot>& m_roots;
  bool m_regedit4;
  bool m_haveKey = false;
};

LONG Apply(const std::vector<Operation>& ops) {
  HKEY current = nullptr;
  LONG result = ERROR_SUCCESS;
  for (const Operation& op : ops) {
    LONG rc = ERROR_SUCCESS;
    switch (op.kind) {
      case Operation::kKey:
        if (current != nullptr) RegCloseKey(current);
        current = nullptr;
        rc = RegCreateKeyExW(op.root, op.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &current, nullptr);
        break;
      case Operation::kDeleteKey:
        rc = RegDeleteTreeW(op.root, op.path.c_str());
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // already gone, as regedit sees it
        break;
      case Operation::kSetValue:
        if (current == nullptr) break;  // its key could not be made: reported already
        rc = RegSetValueExW(current, op.name.c_str(), 0, op.type,
                            op.data.empty() ? nullptr : op.data.data(),
                            static_cast<DWORD>(op.data.size()));
        break;
      case Operation::kDeleteValue:
        if (current == nullptr) break;
        rc = RegDeleteValueW(current, op.name.c_str());
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
        break;
    }
    if (rc != ERROR_SUCCESS && result == ERROR_SUCCESS) result = rc;
  }
  if (current != nullptr) RegCloseKey(current);
  return result;
}

}  // namespace

std::vector<RegFileRoot> DefaultRegFileRoots() {
  return {{WTEXT("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
          {WTEXT("HKCU"), HKEY_CURRENT_USER},
          {WTEXT("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
          {WTEXT("HKLM"), HKEY_LOCAL_MACHINE}};
}

LONG ImportRegText(const void* bytes, size_t size, const std::vector<RegFileRoot>& roots,
                   size_t* errorLine) {
  size_t unusedLine = 0;
  if (errorLine == nullptr) errorLine = &unusedLine;
  *errorLine = 0;
  if (bytes == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  if (size > kMaxRegFileBytes) return ERROR_NOT_ENOUGH_MEMORY;
  bool regedit4 = false;
  WideString text = Decode(static_cast<const unsigned char*>(bytes), size, &regedit4);
  // Some tools end the file with a 0 character; it is not a line.
  while (!text.empty() && text.back() == 0) text.pop_back();
  const std::vector<WideString> lines = SplitLines(text);
  size_t first = 0;
  while (first < lines.size() && Trim(lines[first]).empty()) ++first;
  if (first >= lines.size()) {
    *errorLine = 1;
    return ERROR_BAD_FORMAT;
  }
  const WideString header = Trim(lines[first]);
  if (header != (regedit4 ? WideString(kRegHeader4) : WideString(kRegHeader5))) {
    *errorLine = first + 1;
    return ERROR_BAD_FORMAT;
  }
  std::vector<Operation> ops;
  Parser parser(roots, regedit4);
  if (!parser.Run(lines, first + 1, &ops, errorLine)) return ERROR_INVALID_DATA;
  return Apply(ops);
}

LONG ImportRegFile(const WCHAR* path, const std::vector<RegFileRoot>& roots, size_t* errorLine) {
  if (path == nullptr || path[0] == 0) return ERROR_INVALID_PARAMETER;
#if defined(_WIN32)
  const int fd = ::_wopen(path, _O_RDONLY | _O_BINARY);
#else
  const std::string native = NativePath(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
  std::string bytes;
  char buf[65536];
  LONG rc = ERROR_SUCCESS;
  for (;;) {
#if defined(_WIN32)
    const int n = ::_read(fd, buf, sizeof buf);
#else
    const ssize_t n = ::read(fd, buf, sizeof buf);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      rc = ERROR_CANTREAD;
      break;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > kMaxRegFileBytes) {
      rc = ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
#if defined(_WIN32)
  ::_close(fd);
#else
  ::close(fd);
#endif
  if (rc != ERROR_SUCCESS) return rc;
  return ImportRegText(bytes.data(), bytes.size(), roots, errorLine);
}

}  // namespace reg
}  // namespace pavo
