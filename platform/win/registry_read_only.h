// Opening a hive the process may only read, without creating, changing or
// leaving behind any file (internal to the registry).
//
// SQLite reads a WAL-mode database through its -wal and -shm files and makes
// them when they are missing, with the database's mode and owned by the
// reader; a reader without write rights then fails, or leaves files that
// keep the owner from writing. So:
//
// - While a -wal file with content exists (the owner has the hive open, or
//   stopped without folding it in), SQLite reads the hive in place, through a
//   VFS that opens the database and its WAL read-only and never creates
//   them, and with the -shm file opened read-only (readonly_shm), never made.
// - Otherwise the database file holds every committed change: it is read
//   whole into memory, under a shared lock that keeps a closing writer from
//   folding in and removing a WAL meanwhile, and checked unchanged after the
//   read. The copy is the hive as it was when it was opened.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_READ_ONLY_H
#define PAVORM_PLATFORM_WIN_REGISTRY_READ_ONLY_H

#include <string>

#include "platform/win/win_types.h"

struct sqlite3;

namespace pavo {
namespace reg {

// Opens a read-only connection to the hive file at path: ERROR_SUCCESS with
// *db set, or a Windows error code with *db null. *inMemory tells whether
// the connection reads a copy.
LONG OpenReadOnlyConnection(const std::string& path, sqlite3** db, bool* inMemory);

}  // namespace reg
}  // namespace pavo

#endif
