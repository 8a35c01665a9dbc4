#include "tools/tool_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace pavorm_tool {
namespace {

// What separates folders in a path (a backslash is an ordinary character of
// a Linux file name).
#ifdef _WIN32
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
#else
bool IsSeparator(char c) { return c == '/'; }
#endif

std::string ErrorText(std::errc code) { return std::make_error_code(code).message(); }

}  // namespace

FileKind KindOf(const std::string& path, std::string* reason) {
  std::error_code error;
  const fs::file_status status = fs::status(FilePath(path), error);
  if (error || !fs::exists(status)) {
    // status() sets error for a missing file too; the fallback only keeps a reason there.
    if (reason != nullptr) *reason = error ? error.message() : ErrorText(std::errc::no_such_file_or_directory);
    return FileKind::kNone;
  }
  if (fs::is_directory(status)) return FileKind::kDirectory;
  if (fs::is_regular_file(status)) return FileKind::kRegular;
  return FileKind::kOther;
}

fs::path FilePath(const std::string& path) { return fs::u8path(path); }

std::string MakeDirectories(const std::string& path) {
  if (path.empty()) return ErrorText(std::errc::no_such_file_or_directory);
  // One folder at a time from the top, so that each new one gets its mode as
  // it is made (no moment in which another user could enter it).
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && !IsSeparator(path[i])) continue;
    const std::string part = path.substr(0, i);
#ifdef _WIN32
    if (part.size() == 2 && part[1] == ':') continue;  // a drive: exists or cannot be made
    std::error_code error;
    fs::create_directory(FilePath(part), error);
    if (error) return error.message();
#else
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return std::error_code(errno, std::generic_category()).message();
    }
#endif
  }
  std::string reason;
  const FileKind kind = KindOf(path, &reason);
  if (kind == FileKind::kDirectory) return std::string();
  return kind == FileKind::kNone ? reason : ErrorText(std::errc::file_exists);
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (path.empty()) return names;
  std::error_code error;
  fs::directory_iterator entry(FilePath(path), error);
  // An error while reading keeps the names read so far.
  for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
    names.push_back(entry->path().filename().u8string());
  }
  return names;
}

std::string ExecutableDirectory() {
  std::string self;
#ifdef _WIN32
  // GetModuleFileNameW cuts a name that does not fit: grow until it does.
  std::wstring buffer(MAX_PATH, wchar_t(0));
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() >= 32768) return std::string();  // longer than any Windows path
    buffer.resize(buffer.size() * 2);
  }
  self = fs::path(buffer).u8string();
#else
  std::error_code error;
  const fs::path target = fs::read_symlink("/proc/self/exe", error);
  if (error) return std::string();
  self = target.string();
#endif
  size_t separator = self.size();
  while (separator > 0 && !IsSeparator(self[separator - 1])) --separator;
  return separator == 0 ? std::string() : self.substr(0, separator - 1);
}

std::string WriteTemporaryFile(const std::string& bytes, std::string* reason) {
  std::error_code error;
  const fs::path folder = fs::temp_directory_path(error);
  if (error) {
    *reason = error.message();
    return std::string();
  }
#ifdef _WIN32
  // A name of its own: the process id and a counter, created exclusively.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path path = folder / ("pavorm-" + std::to_string(GetCurrentProcessId()) + "-" +
                                    std::to_string(++counter) + ".dll");
    const int fd = _wopen(path.wstring().c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) continue;
    size_t done = 0;
    while (done < bytes.size()) {
      const unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1u << 30));
      const int n = _write(fd, bytes.data() + done, chunk);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (_close(fd) != 0 || done != bytes.size()) {
      *reason = "write error";
      fs::remove(path, error);
      return std::string();
    }
    return path.u8string();
  }
  *reason = "no free name";
  return std::string();
#else
  std::string path = (folder / "pavorm-XXXXXX.dll").string();
  const int fd = ::mkstemps(&path[0], 4);  // mode 0600
  if (fd < 0) {
    *reason = std::error_code(errno, std::generic_category()).message();
    return std::string();
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *reason = std::error_code(errno, std::generic_category()).message();
      ::close(fd);
      ::unlink(path.c_str());
      return std::string();
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    *reason = std::error_code(errno, std::generic_category()).message();
    ::unlink(path.c_str());
    return std::string();
  }
  return path;
#endif
}

bool RemoveFile(const std::string& path) {
  std::error_code error;
  return fs::remove(FilePath(path), error) && !error;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(2) != 0;
#else
  return ::isatty(2) != 0;
#endif
}

unsigned long long FileSize(const std::string& path) {
  std::error_code error;
  const auto size = fs::file_size(FilePath(path), error);
  return error ? 0 : static_cast<unsigned long long>(size);
}

std::string EnvironmentValue(const char* name) {
#ifdef _WIN32
  // The wide environment: values outside the ANSI code page stay intact.
  const wchar_t* value = _wgetenv(fs::u8path(name).wstring().c_str());
  return value != nullptr ? fs::path(value).u8string() : std::string();
#else
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
#endif
}

#ifdef _WIN32
const char kUserDataVariables[] = "LOCALAPPDATA";

std::string UserDataDirectory() { return EnvironmentValue("LOCALAPPDATA"); }
#else
const char kUserDataVariables[] = "HOME, XDG_DATA_HOME";

std::string UserDataDirectory() {
  // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
  const std::string xdg = EnvironmentValue("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  const std::string home = EnvironmentValue("HOME");
  return home.empty() ? std::string() : home + "/.local/share";
}
#endif

}  // namespace pavorm_tool
