// Where the tool finds its configuration and language modules, and the
// pieces every command shares: the hive (opened as an application hive), the
// key path of the library's settings, and language names.
//
// Defaults, each overridable by an option and an environment variable:
//   hive        --hive FILE      PAVORM_HIVE          $XDG_DATA_HOME/pavorm/config.hive
//                                                     (else ~/.local/share/pavorm/config.hive)
//   key path    --key PATH       PAVORM_KEY           Software\PavoRm51
//   modules     --lang-dir DIR   PAVORM_LANGUAGE_DIR  <prefix>/share/PavoRm51/lang next to an
//                                                     installed tool, else the build tree's lang/
#ifndef PAVORM_TOOLS_TOOL_CONTEXT_H
#define PAVORM_TOOLS_TOOL_CONTEXT_H

#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "tools/cli_args.h"

namespace pavorm_tool {

// An open root key of a hive file, closed when destroyed.
class HiveKey {
 public:
  HiveKey() = default;
  explicit HiveKey(HKEY key) : key_(key) {}
  HiveKey(const HiveKey&) = delete;
  HiveKey& operator=(const HiveKey&) = delete;
  HiveKey(HiveKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
  ~HiveKey();
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

struct ToolContext {
  std::string hivePath;
  std::string keyPath;      // UTF-8, backslash-separated, below the hive's root
  std::string languageDir;  // without a trailing slash
  bool hiveCreated = false;  // set by OpenHive when it made a new hive
  bool defaultHive = false;  // the hive's place is the default one (its folder may be made)

  // Resolves the three places from the options, the environment and the defaults.
  static ToolContext FromArgs(const Args& args);
  // Opens the hive, creating and seeding it on first use: one sub-key per
  // language whose module of the library lies in the language directory.
  HiveKey OpenHive();
  // The language directory as the information object takes it (may be empty).
  std::string LanguageDirWithSlash() const;
};

// A Windows three-letter language name (enu, deu, fra, ...) and its LANGID.
struct LanguageName {
  const char* name;
  unsigned short langId;
  const char* english;
};
// The entry of a name (case-insensitive), or null.
const LanguageName* FindLanguage(const std::string& name);
// The entry of a LANGID (exact, else the primary language), or null.
const LanguageName* FindLanguage(unsigned short langId);
// The languages whose modules "<stem><lang>.dll" lie in dir, sorted.
std::vector<std::string> LanguagesWithModules(const std::string& dir, const std::string& stem);

// A path the library built (with backslashes, as on Windows) in Linux form.
std::string DisplayPath(const std::string& path);

// Text of a registry error code, for error lines.
std::string RegistryErrorText(long code);

}  // namespace pavorm_tool

#endif
