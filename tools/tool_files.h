// The tool's calls to the operating system, in one place: file status,
// folders, the tool's own executable and environment variables. Paths are
// UTF-8, as the command line gives them; on Windows they are turned into
// UTF-16 here, so that the rest of the tool stays the same there.
#ifndef PAVORM_TOOLS_TOOL_FILES_H
#define PAVORM_TOOLS_TOOL_FILES_H

#include <filesystem>
#include <string>
#include <vector>

namespace pavorm_tool {

enum class FileKind { kNone, kDirectory, kRegular, kOther };

// What path names, following links; kNone when it cannot be examined (a
// missing file, an empty path), with the system's reason in *reason when
// reason is not null.
FileKind KindOf(const std::string& path, std::string* reason = nullptr);
inline bool PathExists(const std::string& path) { return KindOf(path) != FileKind::kNone; }
inline bool IsDirectory(const std::string& path) { return KindOf(path) == FileKind::kDirectory; }
inline bool IsRegularFile(const std::string& path) { return KindOf(path) == FileKind::kRegular; }

// The path as the standard library's file streams take it.
std::filesystem::path FilePath(const std::string& path);

// Makes every missing folder of path, new ones for the user alone (0700 on
// Linux: they hold the user's own settings). Empty on success, else the
// system's reason (also when path ends up naming something else).
std::string MakeDirectories(const std::string& path);

// Names of the entries of a folder, "." and ".." left out, in no particular
// order; empty when the folder cannot be read (or path is empty).
std::vector<std::string> ListDirectory(const std::string& path);

// The folder of the running executable, without a trailing separator; empty
// when the system cannot tell.
std::string ExecutableDirectory();

// Writes bytes to a new file only the user can read, in the system's folder
// of temporary files (ending ".dll"); its path, or "" with the system's reason.
std::string WriteTemporaryFile(const std::string& bytes, std::string* reason);
// Removes a file; false when it cannot.
bool RemoveFile(const std::string& path);

// True when standard error is a terminal (progress is shown only there).
bool StandardErrorIsTerminal();

// The size of a regular file in bytes; 0 when it is empty or cannot be examined.
unsigned long long FileSize(const std::string& path);

// The variable's value; empty when it is not set.
std::string EnvironmentValue(const char* name);

// The folder of the user's application data (Linux: $XDG_DATA_HOME when it
// is absolute, else $HOME/.local/share; Windows: %LOCALAPPDATA%); empty when
// none is set. kUserDataVariables names what sets it, for error messages.
std::string UserDataDirectory();
extern const char kUserDataVariables[];

}  // namespace pavorm_tool

#endif
