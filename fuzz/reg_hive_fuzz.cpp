// Hive files with random damage to their keys and values tables: looping
// and dangling parent links, empty, duplicate and unfoldable names, lying
// counts and largest sizes, orphan rows. The first input byte says whether
// the damage is in the file before it is opened (then the hive must be
// refused, or be sound: export and the tree delete succeed) or made while it
// is open, as another process would. Either way enumeration, export and the
// tree delete must end (libFuzzer's -timeout and -rss_limit_mb tell).
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"

namespace {

std::string g_dir;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string ReadAll(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
  std::fclose(f);
}

// A small tree of keys with values, written once and copied for each input.
const std::string& TemplateHive() {
  static const std::string bytes = [] {
    char tmpl[] = "/tmp/pavorm-hive-fuzz-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (dir == nullptr) abort();
    g_dir = dir;
    const std::string path = g_dir + "/template.hive";
    HKEY root = nullptr;
    if (RegLoadAppKeyW(Wide(path).c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
    const char* const paths[] = {"A", "A\\B", "A\\B\\C", "A\\Bb", "D", "D\\E"};
    for (const char* p : paths) {
      HKEY key = nullptr;
      if (RegCreateKeyExW(root, Wide(p).c_str(), 0, const_cast<LPWSTR>(u"cls"), 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        abort();
      }
      RegSetValueExW(key, u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"text"), 10);
      RegSetValueExW(key, u"Longer", 0, REG_BINARY, reinterpret_cast<const BYTE*>("0123"), 4);
      RegCloseKey(key);
    }
    RegCloseKey(root);  // the last handle: the WAL is folded in
    return ReadAll(path);
  }();
  return bytes;
}

// Reads the input a byte or a number at a time; zeros past its end.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool More() const { return m_pos < m_size; }
  uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  int64_t Number() {
    switch (Byte() % 6) {
      case 0: return 0;
      case 1: return -1;
      case 2: return 2147483647;
      case 3: return INT64_C(4294967295);
      case 4: return Byte() % 12;
      default: {
        int64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | Byte();
        return v;
      }
    }
  }
  std::string Blob() {
    const size_t n = Byte() % 8;
    std::string out;
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(Byte()));
    return out;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

// One change to a table row, its values bound from the input.
const char* const kDamage[] = {
    "UPDATE keys SET parent = ?2 WHERE id = ?1",
    "UPDATE keys SET name = ?3, folded = ?3 WHERE id = ?1",
    "UPDATE keys SET name = x'', folded = x'' WHERE id = ?1",
    ("UPDATE keys SET name = (SELECT name FROM keys WHERE id = ?2),"
     " folded = (SELECT folded FROM keys WHERE id = ?2) || ?3 WHERE id = ?1"),
    "UPDATE keys SET nsub = ?2 WHERE id = ?1",
    "UPDATE keys SET maxsub = ?2 WHERE id = ?1",
    "UPDATE keys SET maxclass = ?2 WHERE id = ?1",
    "UPDATE keys SET nval = ?2 WHERE id = ?1",
    "UPDATE keys SET maxname = ?2 WHERE id = ?1",
    "UPDATE keys SET maxdata = ?2 WHERE id = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, folded, class, written) VALUES(?2, ?3, ?3, x'', 0)",
    "UPDATE vals SET key = ?2 WHERE seq = ?1",
    "UPDATE vals SET name = ?3, folded = ?3 WHERE seq = ?1",
    "UPDATE vals SET data = ?3, type = ?2 WHERE seq = ?1",
    "INSERT INTO vals(key, name, folded, type, data) VALUES(?2, ?3, ?3, 3, ?3)",
};

void ApplyDamage(const std::string& path, Input* in) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) abort();
  sqlite3_busy_timeout(db, 5000);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int n = 0; n < 8 && in->More(); ++n) {
    sqlite3_stmt* st = nullptr;
    const char* sql = kDamage[in->Byte() % (sizeof kDamage / sizeof kDamage[0])];
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) abort();
    sqlite3_bind_int64(st, 1, 1 + in->Byte() % 10);
    sqlite3_bind_int64(st, 2, in->Number());
    const std::string blob = in->Blob();
    sqlite3_bind_blob(st, 3, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    sqlite3_step(st);  // a unique name taken already is refused: fine
    sqlite3_finalize(st);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// Walks the tree by name as a host does, at most depth levels deep.
void Enumerate(HKEY key, int depth) {
  DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                       &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  // A hive whose sizes passed its checks may size buffers by them.
  if (maxSub > 255 || maxName > 16383 || maxData > (64u << 20)) abort();
  std::vector<WCHAR> name(maxName + 1);
  std::vector<BYTE> data(maxData);
  for (DWORD i = 0; i < values; ++i) {
    DWORD cch = static_cast<DWORD>(name.size()), cb = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, i, name.data(), &cch, nullptr, nullptr, data.data(), &cb) !=
        ERROR_SUCCESS) {
      break;
    }
  }
  std::vector<WCHAR> sub(maxSub + 1);
  for (DWORD i = 0; i < subKeys && depth > 0; ++i) {
    if (RegEnumKeyW(key, i, sub.data(), static_cast<DWORD>(sub.size())) != ERROR_SUCCESS) break;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, sub.data(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
      Enumerate(child, depth - 1);
      RegCloseKey(child);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& bytes = TemplateHive();
  Input in(data, size);
  const bool whileOpen = in.Byte() & 1;
  const std::string path = g_dir + "/damaged.hive";
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  WriteAll(path, bytes);
  if (!whileOpen) ApplyDamage(path, &in);
  HKEY root = nullptr;
  const LONG opened = RegLoadAppKeyW(Wide(path).c_str(), &root, KEY_ALL_ACCESS, 0, 0);
  if (opened != ERROR_SUCCESS) {
    if (whileOpen || opened != ERROR_BADDB || root != nullptr) abort();
    return 0;
  }
  if (whileOpen) ApplyDamage(path, &in);
  Enumerate(root, 8);
  for (auto format : {pavo::reg::RegFileFormat::kVersion5, pavo::reg::RegFileFormat::kRegedit4}) {
    std::string text;
    const LONG rc = pavo::reg::ExportRegText(root, u"HKEY_CURRENT_USER", format, &text);
    if (!whileOpen && rc != ERROR_SUCCESS) abort();  // a hive that passed its checks exports
  }
  const LONG deleted = RegDeleteTreeW(root, nullptr);
  if (!whileOpen && deleted != ERROR_SUCCESS) abort();
  RegCloseKey(root);
  return 0;
}
