// The registry information object on the tool's hive, for commands that read
// and write the configuration without loading any module.
#ifndef PAVORM_TOOLS_REGISTRY_INFO_H
#define PAVORM_TOOLS_REGISTRY_INFO_H

#include <string>
#include <vector>

#include "info/PavoRmInformationRegistry.h"
#include "tools/tool_context.h"

namespace pavorm_tool {

// Holds one reference on a PavoRmInformationRegistry over an open hive.
class RegistryInfo {
 public:
  RegistryInfo(ToolContext& context, HKEY hive);
  RegistryInfo(const RegistryInfo&) = delete;
  RegistryInfo& operator=(const RegistryInfo&) = delete;
  ~RegistryInfo() { information_->SafeDelete(); }
  PavoRmInformation* operator->() { return information_; }

  // The installed languages as the library sees them (every sub-key of the
  // key path); Fail(key path, ...) when the key cannot be opened.
  std::vector<std::string> Languages();

 private:
  ToolContext& context_;
  PavoRmInformation* information_;
};

}  // namespace pavorm_tool

#endif
