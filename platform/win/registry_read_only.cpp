// Read-only hives: read in place through a VFS that creates nothing, or
// copied into memory when no WAL holds changes (registry_read_only.h).
#include "platform/win/registry_read_only.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/win/last_error.h"
#include "platform/win/registry_statements.h"

namespace pavo {
namespace reg {

namespace {

const char kReadOnlyVfsName[] = "pavorm-read-only";

// SQLite's locking of a database file (its file format): a reader holds a
// read lock inside these 510 bytes at 1 GiB + 2; a writer that wants the
// file to itself (as the last connection does before it folds the WAL in
// and removes it) needs a write lock on all of them.
constexpr off_t kSharedLockFirst = 0x40000000 + 2;
constexpr off_t kSharedLockBytes = 510;

// Offsets 18 and 19 of the database header: the file format versions, 2 in
// WAL mode, 1 in rollback-journal mode.
constexpr size_t kFormatVersionOffset = 18;
constexpr size_t kDatabaseHeaderBytes = 100;

// Attempts before a hive that keeps changing between the two ways of
// reading it is reported busy.
constexpr int kOpenAttempts = 20;

// Opens the database and its WAL read-only and never creates them; every
// other call (and every other file, temporary ones among them) goes to the
// default VFS unchanged.
int OpenWithoutCreating(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                        int* outFlags) {
  auto* base = static_cast<sqlite3_vfs*>(vfs->pAppData);
  if (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) {
    flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
  }
  return base->xOpen(base, name, file, flags, outFlags);
}

bool RegisterReadOnlyVfs() {
  static std::once_flag once;
  static sqlite3_vfs vfs;
  static bool registered = false;
  std::call_once(once, [] {
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    if (base == nullptr) return;
    vfs = *base;
    vfs.pNext = nullptr;
    vfs.zName = kReadOnlyVfsName;
    vfs.pAppData = base;
    vfs.xOpen = &OpenWithoutCreating;
    registered = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
  });
  return registered;
}

// A file name as an SQLite URI path: %, ? and # and every byte outside
// printable ASCII percent-encoded.
std::string UriPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file:";
  for (unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F || c == '%' || c == '?' || c == '#') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

enum class WalState { kAbsentOrEmpty, kHasContent, kUnknown };

WalState StateOfWal(const std::string& path) {
  struct stat st;
  if (::stat((path + "-wal").c_str(), &st) != 0) {
    return errno == ENOENT ? WalState::kAbsentOrEmpty : WalState::kUnknown;
  }
  return st.st_size == 0 ? WalState::kAbsentOrEmpty : WalState::kHasContent;
}

LONG MapOpenErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_CANTREAD;
  }
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Closes a descriptor whatever way the scope is left (which drops its lock).
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : m_fd(fd) {}
  ~ScopedFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

// Reads the whole database file while no WAL holds changes: ERROR_SUCCESS,
// kRetry when a WAL with content appeared or the file changed meanwhile (or
// a writer holds the file), or an error code.
LONG ReadSettledFile(const std::string& path, std::string* bytes) {
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return MapOpenErrno(errno);
  // An open-file-description lock: closing another descriptor of the file
  // (SQLite's, in this process) does not drop it, nor does it drop theirs.
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kSharedLockFirst;
  lock.l_len = kSharedLockBytes;
  if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) {
    return errno == EAGAIN || errno == EACCES ? kRetry : ERROR_CANTREAD;
  }
  struct stat before, after;
  if (::fstat(fd.get(), &before) != 0) return ERROR_CANTREAD;
  if (StateOfWal(path) != WalState::kAbsentOrEmpty) return kRetry;
  if (before.st_size < 0 || static_cast<uint64_t>(before.st_size) > SIZE_MAX / 2) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  std::string content(static_cast<size_t>(before.st_size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::pread(fd.get(), &content[done], content.size() - done,
                              static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? kRetry : ERROR_CANTREAD;  // cut short while read: again
    done += static_cast<size_t>(n);
  }
  if (::fstat(fd.get(), &after) != 0) return ERROR_CANTREAD;
  if (!SameFile(before, after) || StateOfWal(path) != WalState::kAbsentOrEmpty) return kRetry;
  *bytes = std::move(content);
  return ERROR_SUCCESS;
}

// A connection to an in-memory copy of bytes, marked read-only.
LONG OpenCopy(std::string bytes, sqlite3** db) {
  // The copy is no WAL database: without the mark SQLite would look for a
  // WAL beside a file that does not exist.
  if (bytes.size() >= kDatabaseHeaderBytes && bytes[kFormatVersionOffset] == 2 &&
      bytes[kFormatVersionOffset + 1] == 2) {
    bytes[kFormatVersionOffset] = 1;
    bytes[kFormatVersionOffset + 1] = 1;
  }
  sqlite3* conn = nullptr;
  if (sqlite3_open_v2(":memory:", &conn, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(conn);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  const sqlite3_int64 size = static_cast<sqlite3_int64>(bytes.size());
  auto* image = static_cast<unsigned char*>(sqlite3_malloc64(bytes.empty() ? 1 : bytes.size()));
  if (image == nullptr) {
    sqlite3_close_v2(conn);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (!bytes.empty()) std::memcpy(image, bytes.data(), bytes.size());
  // SQLite owns the image from here, whether this succeeds or not.
  const int rc = sqlite3_deserialize(conn, "main", image, size, size,
                                     SQLITE_DESERIALIZE_FREEONCLOSE |
                                         SQLITE_DESERIALIZE_READONLY);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(conn);
    return rc == SQLITE_NOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_BADDB;
  }
  *db = conn;
  return ERROR_SUCCESS;
}

// A connection that reads the file in place; kRetry when the WAL went away
// before SQLite opened it.
LONG OpenInPlace(const std::string& path, sqlite3** db) {
  if (!RegisterReadOnlyVfs()) return ERROR_CANTOPEN;
  const std::string uri = UriPath(path) + "?readonly_shm=1";
  sqlite3* conn = nullptr;
  int rc = sqlite3_open_v2(uri.c_str(), &conn,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                           kReadOnlyVfsName);
  if (rc == SQLITE_OK) {
    // SQLite opens the WAL and the -shm file with the first read.
    rc = sqlite3_exec(conn, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    *db = conn;
    return ERROR_SUCCESS;
  }
  sqlite3_close_v2(conn);
  if ((rc & 0xff) == SQLITE_CANTOPEN) {
    // The WAL was removed meanwhile (read again as a settled file), or the
    // -shm file is missing or unreadable, which a reader cannot repair.
    return StateOfWal(path) == WalState::kAbsentOrEmpty ? kRetry : ERROR_ACCESS_DENIED;
  }
  return MapSqlite(rc, false);
}

}  // namespace

LONG OpenReadOnlyConnection(const std::string& path, sqlite3** db, bool* inMemory) {
  *db = nullptr;
  LONG rc = kRetry;
  for (int attempt = 0; attempt < kOpenAttempts && rc == kRetry; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
    switch (StateOfWal(path)) {
      case WalState::kHasContent:
        *inMemory = false;
        rc = OpenInPlace(path, db);
        break;
      case WalState::kAbsentOrEmpty: {
        *inMemory = true;
        std::string bytes;
        rc = ReadSettledFile(path, &bytes);
        if (rc == ERROR_SUCCESS) rc = OpenCopy(std::move(bytes), db);
        break;
      }
      case WalState::kUnknown:
        return ERROR_ACCESS_DENIED;  // the folder cannot be searched
    }
  }
  return rc == kRetry ? ERROR_BUSY : rc;
}

}  // namespace reg
}  // namespace pavo
