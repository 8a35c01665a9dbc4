// What a hive file must be before it is used: our schema exactly, and a
// sound tree whose stored counts and sizes are true (internal to the
// registry). Windows checks a hive it loads in the same spirit and refuses a
// damaged one with ERROR_BADDB.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_HIVE_CHECK_H
#define PAVORM_PLATFORM_WIN_REGISTRY_HIVE_CHECK_H

#include <string>

#include "platform/win/wide_text.h"
#include "platform/win/win_types.h"

struct sqlite3;

namespace pavo {
namespace reg {

// Inside a read transaction: the schema version (kOldestSchemaVersion to
// kSchemaVersion) whose tables and indexes db holds exactly, nothing more
// and nothing less, in *version; ERROR_BADDB for any other schema.
LONG CheckSchema(sqlite3* db, int* version);

// Inside a read transaction, on a file of our schema: SQLite's quick check,
// then that every key is reached from the root exactly once by its parent
// links (no loop, no orphan), every value belongs to a key, names and data
// are stored as written (whole UTF-16 units, the folded name of each name,
// key names that a path can name), and each key's counts and largest sizes
// are those of its rows. ERROR_SUCCESS or ERROR_BADDB (or the failure of a
// query).
LONG CheckHiveContent(sqlite3* db);

// Whether a stored sub-key can be followed by name: not empty, at most 255
// units, no backslash and no 0 unit (no path could name it otherwise), and
// folded is FoldName(name).
bool FollowableKeyName(const WideString& name, const std::string& folded);

}  // namespace reg
}  // namespace pavo

#endif
