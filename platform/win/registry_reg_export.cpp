// Writing .reg files in the layout of Windows' registry editor.
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>

#include "platform/win/paths.h"
#if !defined(_WIN32)
#include "platform/win/registry_hive.h"
#endif
#include "platform/win/registry_reg_file.h"
#include "platform/win/registry_reg_text.h"

namespace pavo {
namespace reg {
#if defined(_WIN32)
constexpr size_t kMaxValueNameLength = 16383;  // Windows' limit
#endif

namespace {

const WCHAR kNewLine[] = WTEXT("\r\n");

void AppendAscii(WideString* out, const char* s) {
  for (; *s != 0; ++s) out->push_back(static_cast<WCHAR>(*s));
}

// Quoted, with \ and " escaped; CR and LF (which a line cannot hold) as \r and \n.
void AppendQuoted(WideString* out, const WideString& s) {
  out->push_back(u'"');
  for (WCHAR c : s) {
    if (c == u'\\' || c == u'"') {
      out->push_back(u'\\');
      out->push_back(c);
    } else if (c == u'\n') {
      AppendAscii(out, "\\n");
    } else if (c == u'\r') {
      AppendAscii(out, "\\r");
    } else {
      out->push_back(c);
    }
  }
  out->push_back(u'"');
}

WideString TextOf(const std::vector<BYTE>& data) {
  WideString s;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    s.push_back(static_cast<WCHAR>(data[i] | (data[i + 1] << 8)));
  }
  return s;
}

// A REG_SZ that reads back the same from a quoted string: whole units, one
// terminating 0 at the end and none before, no line breaks.
bool QuotableString(const std::vector<BYTE>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const WideString s = TextOf(data);
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] == 0 || s[i] == u'\r' || s[i] == u'\n') return false;
  }
  return s.back() == 0;
}

// hex bytes, wrapped like the registry editor: lines end in ",\" before column 80
// and go on indented by two spaces.
void AppendHex(WideString* out, size_t lineStart, const std::vector<BYTE>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    out->push_back(static_cast<WCHAR>(kDigits[bytes[i] >> 4]));
    out->push_back(static_cast<WCHAR>(kDigits[bytes[i] & 15]));
    if (i + 1 == bytes.size()) break;
    out->push_back(u',');
    if (out->size() - lineStart > 76) {
      out->push_back(u'\\');
      *out += kNewLine;
      lineStart = out->size();
      AppendAscii(out, "  ");
    }
  }
}

void AppendValue(WideString* out, const WideString& name, DWORD type,
                 const std::vector<BYTE>& data, RegFileFormat format) {
  const size_t lineStart = out->size();
  if (name.empty()) {
    out->push_back(u'@');
  } else {
    AppendQuoted(out, name);
  }
  out->push_back(u'=');
  const bool ansi = format == RegFileFormat::kRegedit4;
  if (type == REG_SZ && QuotableString(data)) {
    WideString text = TextOf(data);
    text.pop_back();
    AppendQuoted(out, text);
  } else if (type == REG_DWORD && data.size() == 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x",
                  static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                      (static_cast<unsigned>(data[3]) << 24));
    AppendAscii(out, buf);
  } else {
    char buf[24];
    if (type == REG_BINARY) {
      std::snprintf(buf, sizeof buf, "hex:");
    } else {
      std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(type));
    }
    AppendAscii(out, buf);
    if (ansi && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      // REGEDIT4 holds these as ANSI bytes.
      const std::string bytes = AnsiFromWide(TextOf(data));
      AppendHex(out, lineStart, std::vector<BYTE>(bytes.begin(), bytes.end()));
    } else {
      AppendHex(out, lineStart, data);
    }
  }
  *out += kNewLine;
}

// Appends one key: its header line and its values.
LONG AppendKey(WideString* out, HKEY key, const WideString& fullName, RegFileFormat format) {
  DWORD values = 0, maxName = 0, maxData = 0;
  LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  *out += kNewLine;
  out->push_back(u'[');
  *out += fullName;
  out->push_back(u']');
  *out += kNewLine;
  // The sizes are where the buffers start: a value written meanwhile (or a
  // file changed by someone else) may need more, which the call tells.
  std::vector<WCHAR> name(static_cast<size_t>(maxName) + 1);
  std::vector<BYTE> data(static_cast<size_t>(maxData) + 1);  // never empty: never a size query
  for (DWORD i = 0; i < values;) {
    DWORD cchName = static_cast<DWORD>(name.size());
    DWORD cbData = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueW(key, i, name.data(), &cchName, nullptr, &type, data.data(), &cbData);
    if (rc == ERROR_NO_MORE_ITEMS) break;  // changed under us: write what is there
    if (rc == ERROR_MORE_DATA) {
      if (cbData > data.size()) {
        data.resize(cbData);
      } else if (name.size() <= kMaxValueNameLength) {
        name.resize(kMaxValueNameLength + 1);
      } else {
        return ERROR_BADDB;  // neither buffer was short
      }
      continue;  // the same value again, with room for it
    }
    if (rc != ERROR_SUCCESS) return rc;
    if (cbData > data.size() || cchName >= name.size()) return ERROR_BADDB;
    AppendValue(out, WideString(name.data(), cchName), type,
                std::vector<BYTE>(data.begin(), data.begin() + cbData), format);
    ++i;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LONG ExportRegText(HKEY key, const WCHAR* keyName, RegFileFormat format, std::string* out) {
  if (keyName == nullptr || keyName[0] == 0 || out == nullptr) return ERROR_INVALID_PARAMETER;
  WideString text = format == RegFileFormat::kVersion5 ? kRegHeader5 : kRegHeader4;
  text += kNewLine;
  // Depth first without recursion: a stack of paths relative to key, the
  // sub-keys of each pushed in reverse so that they come out in order.
  std::vector<WideString> pending(1);
  const WideString base = keyName;
  // Each key is written once: a key reached again (parent links that loop in
  // a damaged file, two rows of one name) is damage, reported, not followed.
#if defined(_WIN32)
  // The real registry has no loops; a key met again under another path
  // (through a link) is written again there.
  std::set<WideString> written;
#else
  std::set<std::pair<const void*, KeyId>> written;
#endif
  while (!pending.empty()) {
    const WideString rel = std::move(pending.back());
    pending.pop_back();
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(key, rel.c_str(), 0, KEY_READ, &h);
    if (rc == ERROR_FILE_NOT_FOUND && !rel.empty()) continue;  // deleted meanwhile
    if (rc != ERROR_SUCCESS) return rc;
#if defined(_WIN32)
    const WideString identity = rel;
#else
    std::pair<const void*, KeyId> identity(nullptr, 0);
    if (!KeyIdentity(h, &identity.first, &identity.second)) {
      RegCloseKey(h);
      return ERROR_INVALID_HANDLE;
    }
#endif
    if (!written.insert(identity).second) {
      RegCloseKey(h);
      return ERROR_BADDB;
    }
    rc = AppendKey(&text, h, rel.empty() ? base : base + WTEXT("\\") + rel, format);
    DWORD subKeys = 0, maxSub = 0;
    if (rc == ERROR_SUCCESS) {
      rc = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
    }
    std::vector<WideString> children;
    std::vector<WCHAR> name(static_cast<size_t>(maxSub) + 1);
    for (DWORD i = 0; rc == ERROR_SUCCESS && i < subKeys; ++i) {
      DWORD cch = static_cast<DWORD>(name.size());
      const LONG e = RegEnumKeyExW(h, i, name.data(), &cch, nullptr, nullptr, nullptr, nullptr);
      if (e == ERROR_NO_MORE_ITEMS) break;
      if (e != ERROR_SUCCESS) rc = e;
      if (e == ERROR_SUCCESS) {
        children.push_back(rel.empty() ? WideString(name.data(), cch)
                                       : rel + WTEXT("\\") + WideString(name.data(), cch));
      }
    }
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return rc;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  text += kNewLine;
  if (format == RegFileFormat::kRegedit4) {
    *out = AnsiFromWide(text);
    return ERROR_SUCCESS;
  }
  out->clear();
  out->reserve(2 + text.size() * 2);
  out->push_back(static_cast<char>(0xFF));
  out->push_back(static_cast<char>(0xFE));
  for (WCHAR c : text) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
  return ERROR_SUCCESS;
}

LONG ExportRegFile(const WCHAR* path, HKEY key, const WCHAR* keyName, RegFileFormat format) {
  if (path == nullptr || path[0] == 0) return ERROR_INVALID_PARAMETER;
  std::string bytes;
  LONG rc = ExportRegText(key, keyName, format, &bytes);
  if (rc != ERROR_SUCCESS) return rc;
#if defined(_WIN32)
  const int fd = ::_wopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const std::string native = NativePath(path);
  const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
  if (fd < 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
  size_t done = 0;
  while (done < bytes.size()) {
#if defined(_WIN32)
    const size_t chunk = bytes.size() - done < (size_t{1} << 30) ? bytes.size() - done : (size_t{1} << 30);
    const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
#else
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      rc = errno == ENOSPC ? ERROR_DISK_FULL : ERROR_CANTWRITE;
      break;
    }
    done += static_cast<size_t>(n);
  }
#if defined(_WIN32)
  if (::_close(fd) != 0 && rc == ERROR_SUCCESS) rc = ERROR_CANTWRITE;
#else
  if (::close(fd) != 0 && rc == ERROR_SUCCESS) rc = ERROR_CANTWRITE;
#endif
  return rc;
}

}  // namespace reg
}  // namespace pavo
