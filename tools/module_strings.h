// String tables of language modules, read the way LoadStringW reads them.
#ifndef PAVORM_TOOLS_MODULE_STRINGS_H
#define PAVORM_TOOLS_MODULE_STRINGS_H

#include <map>
#include <string>
#include <vector>

#include "platform/win/modules.h"
#include "platform/win/wide_text.h"

namespace pavorm_tool {

using StringTable = std::map<unsigned, pavo::WideString>;

// A module file mapped as a data file (flags 2, as resource-only modules are
// loaded), released when destroyed.
class ModuleFile {
 public:
  // Fail(path, reason) for a missing, unreadable or malformed file; "-"
  // reads the module from standard input.
  explicit ModuleFile(const std::string& path);
  ModuleFile(const ModuleFile&) = delete;
  ModuleFile& operator=(const ModuleFile&) = delete;
  ~ModuleFile();
  HMODULE handle() const { return module_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string temporary_;  // standard input's copy, removed when destroyed
  HMODULE module_ = nullptr;
};

// Every string of the module in the language LoadStringW chooses for
// uiLanguage (0: the thread's UI language); empty for a module without strings.
StringTable ReadStringTable(HMODULE module, unsigned short uiLanguage);

// The languages (LANGIDs) of the module's string tables, in directory order.
std::string StringTableLanguages(HMODULE module);

// What is damaged in the module's resources, one message each, such as
// "damaged module: string block 3 (ids 32-47), language 1031 (deu): the
// length of string 37 runs past the end of its block"; empty for an intact
// module. At most `limit` messages, the last one telling that more follow.
std::vector<std::string> DescribeDamage(HMODULE module, size_t limit = 20);

// Prints each damage message of the module to standard error as
// "pavorm: NAME: damaged module: ..."; true when there was any.
bool ReportDamage(HMODULE module, const std::string& name);

}  // namespace pavorm_tool

#endif
