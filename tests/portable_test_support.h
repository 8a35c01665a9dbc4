// Helpers that let one test source run on Linux and on Windows (also under
// Wine): scratch folders, running a program with its output captured, the
// Wine check and the ANSI code page a test needs.
#ifndef PAVORM_TESTS_PORTABLE_TEST_SUPPORT_H
#define PAVORM_TESTS_PORTABLE_TEST_SUPPORT_H

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/win/code_pages.h"
#include "platform/win/win_types.h"
#include "platform/win/wide_text.h"

namespace portable {

// True when the process runs under Wine rather than Windows or Linux.
inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(WTEXT("ntdll.dll"));
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Linux programs the tests compare with (llvm-readobj, msgfmt, xmllint) run
// from a Windows process under Wine too: RunProcess starts a program named
// by an absolute Linux path through /bin/sh (Wine starts Linux programs but
// hands back no exit status; the shell writes it to a file). HostProgram
// names such a program (a bare name: in /usr/bin), HostPath a file for it.
// On Linux and on Windows itself both are the names as given (there the
// programs are simply not found).
inline std::string HostPath(const std::string& path) {
#ifdef _WIN32
  if (!RunningUnderWine()) return path;
  using ToUnix = char*(__cdecl*)(LPCWSTR);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(WTEXT("kernel32.dll")), "wine_get_unix_file_name")));
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (toUnix == nullptr || n <= 0) return path;
  std::vector<WCHAR> wide(static_cast<size_t>(n));
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
  char* unixPath = toUnix(wide.data());
  if (unixPath == nullptr) return path;
  const std::string out(unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return out;
#else
  return path;
#endif
}

inline std::string HostProgram(const std::string& program) {
#ifdef _WIN32
  if (!RunningUnderWine() || program.find_first_of("/\\") != std::string::npos) return program;
  return "/usr/bin/" + program;
#else
  return program;
#endif
}

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const char* prefix = "pavorm") {
    namespace fs = std::filesystem;
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const std::string name = std::string(prefix) + "-" + std::to_string(ProcessId()) + "-" +
                               std::to_string(stamp % 1000000007ULL) + "-" + std::to_string(counter++);
      const fs::path candidate = (ec ? fs::path(".") : base) / name;
      if (fs::create_directory(candidate, ec) && !ec) {
        path_ = candidate;
        break;
      }
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool Made() const { return !path_.empty(); }
  // The folder, or a file in it, as a UTF-8 path with '/' separators.
  std::string Path() const { return path_.generic_u8string(); }
  std::string File(const std::string& name) const { return (path_ / std::filesystem::u8path(name)).generic_u8string(); }

 private:
  static unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
  }
  std::filesystem::path path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::u8path(path), std::ios::binary) << bytes;
}

struct ProcessRun {
  int status = -1;  // exit code; 128 + signal on Linux; -1 when it did not start
  std::string out, err;
};

struct ProcessOptions {
  std::string workDir;                                       // "": the current folder
  std::string stdinFile;                                     // "": empty input
  std::vector<std::pair<std::string, std::string>> setEnv;   // variables set for the child
  std::vector<std::string> unsetEnv;                         // variables removed for the child
  unsigned long long addressLimit = 0;                       // the child's address space in bytes (0: none; Linux)
};

#ifdef _WIN32
namespace detail {

inline pavo::WideString Wide(const std::string& utf8) {
  if (utf8.empty()) return pavo::WideString();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  pavo::WideString out(static_cast<size_t>(n > 0 ? n : 0), WTEXT('\0'));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

// One argument quoted as the C runtime's command-line parser reads it back:
// backslashes are literal except before a quote, where they are doubled.
inline void AppendQuoted(pavo::WideString& line, const pavo::WideString& arg) {
  if (!arg.empty() && arg.find_first_of(WTEXT(" \t\n\v\"")) == pavo::WideString::npos) {
    line += arg;
    return;
  }
  line += WTEXT('"');
  size_t backslashes = 0;
  for (WCHAR c : arg) {
    if (c == WTEXT('\\')) {
      ++backslashes;
      continue;
    }
    if (c == WTEXT('"')) line.append(backslashes * 2 + 1, WTEXT('\\'));
    else line.append(backslashes, WTEXT('\\'));
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, WTEXT('\\'));
  line += WTEXT('"');
}

inline bool SameName(const pavo::WideString& a, const pavo::WideString& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The parent's environment with the options applied, as a CreateProcessW block.
inline pavo::WideString EnvironmentBlock(const ProcessOptions& options) {
  std::vector<pavo::WideString> entries;
  if (LPWCH block = GetEnvironmentStringsW()) {
    for (const WCHAR* p = block; *p != 0; p += pavo::WideLength(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsW(block);
  }
  auto remove = [&entries](const pavo::WideString& name) {
    std::vector<pavo::WideString> kept;
    for (const pavo::WideString& e : entries) {
      const size_t eq = e.find(WTEXT('='), 1);  // entries like "=C:=C:\" start with '='
      if (eq == pavo::WideString::npos || !SameName(e.substr(0, eq), name)) kept.push_back(e);
    }
    entries.swap(kept);
  };
  for (const std::string& name : options.unsetEnv) remove(Wide(name));
  for (const auto& kv : options.setEnv) {
    remove(Wide(kv.first));
    entries.push_back(Wide(kv.first) + WTEXT("=") + Wide(kv.second));
  }
  pavo::WideString out;
  for (const pavo::WideString& e : entries) {
    out += e;
    out += WTEXT('\0');
  }
  out += WTEXT('\0');
  return out;
}

// Under Wine: program is a Linux executable (an ELF file named by its Linux
// path; the Z: drive is the root).
inline bool IsLinuxProgram(const std::string& program) {
  if (!RunningUnderWine() || program.empty() || program[0] != '/') return false;
  std::string dos = "Z:" + program;
  for (char& c : dos) c = c == '/' ? '\\' : c;
  std::ifstream in(std::filesystem::u8path(dos), std::ios::binary);
  char magic[4] = {};
  in.read(magic, sizeof magic);
  return in && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

inline HANDLE OpenInherited(const pavo::WideString& path, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace detail
#endif

// Runs program with args (no shell), standard output and error captured; a
// program name without a folder is looked up in PATH.
inline ProcessRun RunProcess(const std::string& program, const std::vector<std::string>& args,
                             const ProcessOptions& options = ProcessOptions()) {
  ProcessRun run;
  ScratchDir capture("pavorm-run");
  if (!capture.Made()) return run;
  const std::string outPath = capture.File("stdout"), errPath = capture.File("stderr");
#ifdef _WIN32
  std::string exe = program;
  std::vector<std::string> argv = args;
  const bool linuxProgram = detail::IsLinuxProgram(program);
  const std::string statusPath = capture.File("status");
  if (linuxProgram) {
    // sh -c SCRIPT sh STATUS env [--unset=NAME] [NAME=VALUE] PROGRAM ARGS...
    argv = {"-c", "st=$1; shift; \"$@\"; echo $? > \"$st.tmp\" && mv \"$st.tmp\" \"$st\"", "sh", HostPath(statusPath),
            "/usr/bin/env"};
    for (const std::string& name : options.unsetEnv) argv.push_back("--unset=" + name);
    for (const auto& kv : options.setEnv) argv.push_back(kv.first + "=" + kv.second);
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    exe = "Z:\\bin\\sh";
  }
  pavo::WideString line;
  detail::AppendQuoted(line, detail::Wide(exe));
  for (const std::string& a : argv) {
    line += WTEXT(' ');
    detail::AppendQuoted(line, detail::Wide(a));
  }
  HANDLE in = detail::OpenInherited(options.stdinFile.empty() ? WTEXT("NUL") : detail::Wide(options.stdinFile), false);
  HANDLE out = detail::OpenInherited(detail::Wide(outPath), true);
  HANDLE err = detail::OpenInherited(detail::Wide(errPath), true);
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    pavo::WideString env = detail::EnvironmentBlock(options);
    const pavo::WideString dir = detail::Wide(options.workDir);
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, &env[0],
                       dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
      WaitForSingleObject(pi.hProcess, INFINITE);
      DWORD code = 0;
      if (linuxProgram) {
        // The status file appears whole (renamed into place) when the program has ended.
        for (int waited = 0; waited < 600 * 100; ++waited) {
          const std::string status = ReadWholeFile(statusPath);
          if (!status.empty()) {
            run.status = std::atoi(status.c_str());
            break;
          }
          Sleep(10);
        }
      } else if (GetExitCodeProcess(pi.hProcess, &code)) {
        run.status = static_cast<int>(code);
      }
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  for (HANDLE h : {in, out, err}) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
#else
  const pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    const int in = open(options.stdinFile.empty() ? "/dev/null" : options.stdinFile.c_str(), O_RDONLY);
    const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(125);
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
    if (options.addressLimit != 0) {
      const struct rlimit limit = {static_cast<rlim_t>(options.addressLimit), static_cast<rlim_t>(options.addressLimit)};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(124);
    }
    for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& kv : options.setEnv) setenv(kv.first.c_str(), kv.second.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());  // a name without '/' is looked up in PATH
    _exit(127);
  }
  int ws = 0;
  if (waitpid(pid, &ws, 0) == pid) run.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
#endif
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}

// Makes cp the ANSI code page for one scope. On Linux that is the stand-in's
// PAVORM_ACP switch; Windows (and Wine, from LC_ALL) fix the ANSI code page
// when the process starts, so there the scope can only tell whether the
// process runs with cp (Active()); PAVORM_NEED_ANSI_CODE_PAGE skips if not.
class AnsiCodePageScope {
 public:
  explicit AnsiCodePageScope(unsigned cp) : cp_(cp) {
#ifndef _WIN32
    const char* old = std::getenv("PAVORM_ACP");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("PAVORM_ACP", std::to_string(cp).c_str(), 1);
#endif
  }
  ~AnsiCodePageScope() {
#ifndef _WIN32
    if (had_) setenv("PAVORM_ACP", old_.c_str(), 1);
    else unsetenv("PAVORM_ACP");
#endif
  }
  AnsiCodePageScope(const AnsiCodePageScope&) = delete;
  AnsiCodePageScope& operator=(const AnsiCodePageScope&) = delete;
  bool Active() const { return GetACP() == cp_; }
  unsigned CodePage() const { return cp_; }

 private:
  unsigned cp_;
  bool had_ = false;
  std::string old_;
};

}  // namespace portable

#define PAVORM_NEED_ANSI_CODE_PAGE(scope)                                                          \
  do {                                                                                             \
    if (!(scope).Active())                                                                         \
      GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not " << (scope).CodePage()       \
                   << ": run with LC_ALL naming a locale of that code page";                       \
  } while (0)

// Skips the current test under Wine, printing why: used where Wine departs
// from Windows' documented behaviour and the test states Windows'.
// Wine's resource lookup for LANG_NEUTRAL (FindResourceW, LoadStringW).
#define PAVORM_WINE_NEUTRAL_FIRST                                                                      \
  "FindResourceW and LoadStringW take a neutral-language resource before one in the thread's UI " \
  "language (SetThreadUILanguage); Windows takes the thread's language first"

#define PAVORM_SKIP_UNDER_WINE(reason)                                  \
  do {                                                                  \
    if (::portable::RunningUnderWine()) GTEST_SKIP() << "Wine: " << reason; \
  } while (0)

#endif
