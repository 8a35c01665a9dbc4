#include "tools/registry_info.h"

namespace pavorm_tool {

RegistryInfo::RegistryInfo(ToolContext& context, HKEY hive) : context_(context) {
  information_ = new PavoRmInformationRegistry(hive, PavoRmCString(Wide(context.keyPath).c_str()),
                                               PavoRmCString(Wide(context.LanguageDirWithSlash()).c_str()),
                                               PavoRmCString(WTEXT("enu")));
  information_->reference();
}

std::vector<std::string> RegistryInfo::Languages() {
  PavoRmLanguageList list;
  const int ok = information_->GetLanguageList(list);
  std::vector<std::string> out;
  for (PavoRmCString* name : list) {
    out.push_back(Utf8(name->GetString()));
    delete name;
  }
  list.RemoveAll();
  if (ok == 0) Fail(context_.keyPath, "no such key in " + context_.hivePath);
  return out;
}

}  // namespace pavorm_tool
