// Where the hives of the predefined root keys live.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_PREDEFINED_H
#define PAVORM_PLATFORM_WIN_REGISTRY_PREDEFINED_H

#include <string>

namespace pavo {
namespace reg {

// The hive file of HKEY_LOCAL_MACHINE (machine) or HKEY_CURRENT_USER:
// $PAVORM_HKLM_HIVE / $PAVORM_HKCU_HIVE when set, else machine.hive / user.hive in
// $XDG_CONFIG_HOME/pavorm (else ~/.config/pavorm), whose missing folders are made
// with mode 0700. Empty when no place can be found.
std::string PredefinedHivePath(bool machine);

}  // namespace reg
}  // namespace pavo

#endif
