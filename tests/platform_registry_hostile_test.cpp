// Hive files that are damaged or hostile, damage made while a hive is open,
// and hives the process may only read. Every case runs in a child process
// with a time limit (and, without sanitizers, a memory limit), so a walk that
// runs away fails the test instead of hanging it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

using regtest::Get;
using regtest::SetSz;
using regtest::W;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A failed check inside a child: says where, and ends the child with 1.
#define CHILD_CHECK(cond)                                                   \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      return 1;                                                             \
    }                                                                       \
  } while (0)

// Runs body in a child (as uid when the tests run as root and uid is not 0)
// that is killed after 20 s; returns its exit code, or 128 + the signal.
int InChild(const std::function<int()>& body, uid_t uid = 0) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    if (!kSanitized) {
      const rlimit memory = {rlim_t(1) << 31, rlim_t(1) << 31};  // 2 GiB
      setrlimit(RLIMIT_AS, &memory);
    }
    if (uid != 0 && geteuid() == 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(126);
    const int rc = body();
    std::fflush(nullptr);
    _exit(rc);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Runs sql on the file with a plain SQLite connection.
void Damage(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "") << " in " << sql;
  sqlite3_free(error);
  sqlite3_close(db);
}

// Names as stored: UTF-16LE, and folded (upper case, big-endian).
std::string Stored(const std::string& ascii) {
  std::string hex = "x'";
  for (char c : ascii) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02x00", static_cast<unsigned char>(c));
    hex += buf;
  }
  return hex + "'";
}
std::string KeyNamed(const std::string& name) {
  return "(SELECT id FROM keys WHERE name = " + Stored(name) + ")";
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class RegistryHostile : public ::testing::Test {
 protected:
  // root -> A (values) -> B -> C, root -> D; written, closed, kept as bytes.
  void SetUp() override {
    const std::string file = dir_.File("template.hive");
    HKEY root = nullptr, c = nullptr, a = nullptr;
    ASSERT_EQ(regtest::LoadHive(file, &root), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root, WTEXT("A\\B\\C"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &c,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_ALL_ACCESS, &a), ERROR_SUCCESS);
    ASSERT_EQ(SetSz(a, WTEXT("v"), WTEXT("kept")), ERROR_SUCCESS);
    ASSERT_EQ(SetSz(a, WTEXT("w"), WTEXT("other")), ERROR_SUCCESS);
    HKEY d = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, WTEXT("D"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &d,
                              nullptr),
              ERROR_SUCCESS);
    for (HKEY h : {d, c, a, root}) RegCloseKey(h);
    template_ = regtest::ReadFile(file);
    ASSERT_FALSE(template_.empty());
    ASSERT_FALSE(Exists(file + "-wal"));  // the last connection folded its WAL in
  }
  std::string Copy(const std::string& name) {
    const std::string file = dir_.File(name.c_str());
    regtest::WriteFile(file, template_);
    return file;
  }
  regtest::ScratchDir dir_;
  std::string template_;
};

// Damage as a hostile file carries it, one kind per file.
const std::vector<std::pair<const char*, std::string>> kDamage = {
    {"cycle through the root", "UPDATE keys SET parent = " + KeyNamed("B") + " WHERE id = 1"},
    {"cycle below the root", "UPDATE keys SET parent = " + KeyNamed("C") + " WHERE name = " +
                                 Stored("B")},
    {"empty sub-key name", "UPDATE keys SET name = x'', folded = x'' WHERE name = " +
                               Stored("B")},
    {"backslash in a name", "UPDATE keys SET name = " + Stored("x\\y") +
                                " WHERE name = " + Stored("D")},
    {"name that folds to another", "UPDATE keys SET folded = x'0058' WHERE name = " +
                                       Stored("D")},
    {"orphan key", "INSERT INTO keys(parent, name, folded, class, written) "
                   "VALUES(9999, x'7a00', x'005a', x'', 0)"},
    {"orphan value", "INSERT INTO vals(key, name, folded, type, data) "
                     "VALUES(9999, x'7a00', x'005a', 1, x'')"},
    {"longest sub-key name 2^31-1", "UPDATE keys SET maxsub = 2147483647 WHERE id = 1"},
    {"longest value name 2^31-1", "UPDATE keys SET maxname = 2147483647 WHERE name = " +
                                      Stored("A")},
    {"largest data 2^31-1", "UPDATE keys SET maxdata = 2147483647 WHERE name = " + Stored("A")},
    {"sub-key count 2^31-1", "UPDATE keys SET nsub = 2147483647 WHERE id = 1"},
    {"sizes understated", "UPDATE keys SET maxname = 0, maxdata = 0 WHERE name = " + Stored("A")},
    {"value count 2^31-1", "UPDATE keys SET nval = 2147483647 WHERE name = " + Stored("A")},
    {"value count too small", "UPDATE keys SET nval = 1 WHERE name = " + Stored("A")},
    {"value name of odd length", "UPDATE vals SET name = x'7700ff' WHERE name = " + Stored("w")},
    {"data stored as text", "UPDATE vals SET data = 'text' WHERE name = " + Stored("w")},
};

// What a host does with a hive: list it, export it, empty it.
int UseHive(HKEY root) {
  std::string text;
  (void)pavo::reg::ExportRegText(root, WTEXT("HKEY_CURRENT_USER"),
                                 pavo::reg::RegFileFormat::kVersion5, &text);
  DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  (void)RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                         &maxName, &maxData, nullptr, nullptr);
  (void)RegDeleteTreeW(root, nullptr);
  return 0;
}

TEST_F(RegistryHostile, DamagedHivesAreRefusedAndLeftAsTheyWere) {
  for (size_t i = 0; i < kDamage.size(); ++i) {
    const char* what = kDamage[i].first;
    const std::string& sql = kDamage[i].second;
    SCOPED_TRACE(what);
    const std::string file = Copy("damaged" + std::to_string(i) + ".hive");
    Damage(file, sql);
    const std::string before = regtest::ReadFile(file);
    EXPECT_EQ(InChild([&] {
                HKEY root = nullptr;
                const LONG rc = regtest::LoadHive(file, &root);
                if (rc == ERROR_SUCCESS) {
                  UseHive(root);  // must end even so; the check below fails
                  RegCloseKey(root);
                }
                CHILD_CHECK(rc == ERROR_BADDB);
                CHILD_CHECK(root == nullptr);
                return 0;
              }),
              0);
    EXPECT_TRUE(regtest::ReadFile(file) == before) << "the file was changed";
    EXPECT_FALSE(Exists(file + "-wal"));
  }
}

TEST_F(RegistryHostile, DamageMadeWhileOpenStopsEveryWalkWithAnError) {
  for (size_t i = 0; i < kDamage.size(); ++i) {
    const char* what = kDamage[i].first;
    const std::string& sql = kDamage[i].second;
    SCOPED_TRACE(what);
    const std::string file = Copy("open" + std::to_string(i) + ".hive");
    EXPECT_EQ(InChild([&] {
                HKEY root = nullptr, a = nullptr;
                CHILD_CHECK(regtest::LoadHive(file, &root) == ERROR_SUCCESS);
                CHILD_CHECK(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_ALL_ACCESS, &a) ==
                            ERROR_SUCCESS);
                Damage(file, sql);  // another process, as far as the hive can tell
                UseHive(root);      // ends, whatever it reports
                // Sizes are never reported past what the file could hold.
                DWORD maxSub = 0, maxName = 0, maxData = 0, subKeys = 0;
                for (HKEY h : {root, a}) {
                  if (RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr,
                                       nullptr, &maxName, &maxData, nullptr, nullptr) ==
                      ERROR_SUCCESS) {
                    CHILD_CHECK(maxSub <= 255 && maxName <= 16383 && subKeys < 1000000);
                    CHILD_CHECK(maxData < (1u << 30));
                  }
                }
                RegCloseKey(a);
                RegCloseKey(root);
                return 0;
              }),
              0);
  }
}

TEST_F(RegistryHostile, ACycleMadeWhileOpenIsReportedAndDeletesNothing) {
  const std::string file = Copy("cycle.hive");
  EXPECT_EQ(InChild([&] {
              HKEY root = nullptr, a = nullptr;
              CHILD_CHECK(regtest::LoadHive(file, &root) == ERROR_SUCCESS);
              CHILD_CHECK(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_ALL_ACCESS, &a) == ERROR_SUCCESS);
              Damage(file, kDamage[0].second);
              CHILD_CHECK(RegDeleteTreeW(root, WTEXT("A")) == ERROR_BADDB);
              CHILD_CHECK(RegDeleteTreeW(root, nullptr) == ERROR_BADDB);
              std::string text;
              CHILD_CHECK(pavo::reg::ExportRegText(root, WTEXT("HKEY_CURRENT_USER"),
                                                   pavo::reg::RegFileFormat::kVersion5,
                                                   &text) == ERROR_BADDB);
              LONG rc = ERROR_SUCCESS;
              CHILD_CHECK(Get(a, WTEXT("v"), &rc).size() == 10 && rc == ERROR_SUCCESS);
              RegCloseKey(a);
              RegCloseKey(root);
              return 0;
            }),
            0);
}

TEST_F(RegistryHostile, AnEmptyNamedSubKeyIsReportedNeverFollowed) {
  const std::string file = Copy("empty.hive");
  EXPECT_EQ(InChild([&] {
              HKEY root = nullptr, a = nullptr;
              CHILD_CHECK(regtest::LoadHive(file, &root) == ERROR_SUCCESS);
              CHILD_CHECK(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_READ, &a) == ERROR_SUCCESS);
              Damage(file, kDamage[2].second);
              WCHAR name[8];
              CHILD_CHECK(RegEnumKeyW(a, 0, name, 8) == ERROR_BADDB);
              std::string text;
              CHILD_CHECK(pavo::reg::ExportRegText(root, WTEXT("HKEY_CURRENT_USER"),
                                                   pavo::reg::RegFileFormat::kVersion5,
                                                   &text) == ERROR_BADDB);
              // An empty sub-key path still opens the key itself.
              HKEY self = nullptr;
              CHILD_CHECK(RegOpenKeyExW(a, WTEXT(""), 0, KEY_READ, &self) == ERROR_SUCCESS);
              RegCloseKey(self);
              RegCloseKey(a);
              RegCloseKey(root);
              return 0;
            }),
            0);
}

TEST_F(RegistryHostile, AFileWithOurMarksButAnotherSchemaIsNeverChanged) {
  const std::string file = dir_.File("schema.hive");
  // Our application id and schema version over tables that are not ours; the
  // file is in rollback-journal mode, which opening a hive would change.
  Damage(file,
         "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER);"
         "CREATE TABLE vals(seq INTEGER PRIMARY KEY, key INTEGER);"
         "INSERT INTO keys VALUES(1, 0);"
         "PRAGMA application_id=1347569750; PRAGMA user_version=1;");
  const std::string before = regtest::ReadFile(file);
  HKEY root = nullptr;
  EXPECT_EQ(regtest::LoadHive(file, &root), ERROR_BADDB);
  EXPECT_TRUE(regtest::ReadFile(file) == before) << "the file was changed";
  // Our schema with a trigger added is not ours either.
  const std::string trigger = Copy("trigger.hive");
  Damage(trigger, "CREATE TRIGGER t AFTER INSERT ON vals BEGIN DELETE FROM keys; END");
  const std::string withTrigger = regtest::ReadFile(trigger);
  EXPECT_EQ(regtest::LoadHive(trigger, &root), ERROR_BADDB);
  EXPECT_TRUE(regtest::ReadFile(trigger) == withTrigger) << "the file was changed";
}

// The first schema, as the hive wrote it, with a key and two values.
const char kFirstSchemaHive[] =
    "CREATE TABLE keys(  id INTEGER PRIMARY KEY AUTOINCREMENT,  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,  folded BLOB NOT NULL,  class BLOB NOT NULL,"
    "  written INTEGER NOT NULL,  nsub INTEGER NOT NULL DEFAULT 0,"
    "  maxsub INTEGER NOT NULL DEFAULT 0,  maxclass INTEGER NOT NULL DEFAULT 0,"
    "  nval INTEGER NOT NULL DEFAULT 0,  maxname INTEGER NOT NULL DEFAULT 0,"
    "  maxdata INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_child ON keys(parent, folded);"
    "CREATE TABLE vals(  seq INTEGER PRIMARY KEY AUTOINCREMENT,  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,  folded BLOB NOT NULL,  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_name ON vals(key, folded);"
    "CREATE INDEX vals_order ON vals(key);"
    "INSERT INTO keys(id, parent, name, folded, class, written, nsub, maxsub, maxclass)"
    " VALUES(1, 0, x'', x'', x'', 1, 1, 1, 2);"
    "INSERT INTO keys(id, parent, name, folded, class, written, nval, maxname, maxdata)"
    " VALUES(2, 1, x'4100', x'0041', x'63006c00', 2, 2, 4, 10);"
    "INSERT INTO vals(key, name, folded, type, data) VALUES(2, x'7600', x'0056', 1,"
    " x'6b006500700074000000');"
    "INSERT INTO vals(key, name, folded, type, data) VALUES(2, x'6c006f006e006700', "
    " x'004c004f004e0047', 3, x'01');"
    "PRAGMA application_id=1347569750; PRAGMA user_version=1;";

TEST_F(RegistryHostile, AHiveOfTheFirstSchemaReadsTheSameAndIsBroughtUpToDate) {
  const std::string file = dir_.File("first.hive");
  Damage(file, kFirstSchemaHive);
  const auto check = [&](HKEY root) {
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, WTEXT("a"), 0, KEY_READ, &a), ERROR_SUCCESS);
    DWORD values = 0, maxName = 0, maxData = 0, maxClass = 0;
    ASSERT_EQ(RegQueryInfoKeyW(a, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 4u);
    EXPECT_EQ(maxData, 10u);
    ASSERT_EQ(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, nullptr, nullptr, &maxClass,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxClass, 2u);
    LONG rc = ERROR_SUCCESS;
    EXPECT_EQ(Get(a, WTEXT("V"), &rc).size(), 10u);
    RegCloseKey(a);
  };
  // Read-only, it is read as it is and not changed.
  ASSERT_EQ(chmod(dir_.File("").c_str(), 0755), 0);
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  const std::string before = regtest::ReadFile(file);
  EXPECT_EQ(InChild([&] {
              HKEY root = nullptr;
              CHILD_CHECK(regtest::LoadHive(file, &root, KEY_READ) == ERROR_SUCCESS);
              check(root);
              RegCloseKey(root);
              return ::testing::Test::HasFailure() ? 1 : 0;
            }, 65534),
            0);
  EXPECT_TRUE(regtest::ReadFile(file) == before) << "the file was changed";
  // Writable, it is migrated and reads the same; its sizes are kept by the
  // new indexes from then on.
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  HKEY root = nullptr;
  ASSERT_EQ(regtest::LoadHive(file, &root), ERROR_SUCCESS);
  check(root);
  HKEY a = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_ALL_ACCESS, &a), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(a, WTEXT("v")), ERROR_SUCCESS);
  DWORD maxData = 0;
  ASSERT_EQ(RegQueryInfoKeyW(a, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(maxData, 1u);
  RegCloseKey(a);
  RegCloseKey(root);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT (SELECT user_version FROM pragma_user_version),"
                               " (SELECT count(*) FROM sqlite_master WHERE type = 'index')",
                               -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 2);
  EXPECT_EQ(sqlite3_column_int(st, 1), 3 + 4);  // the first ones and the length indexes
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// A folder the readers of the tests may use, and the users who play owner and
// reader: other users when the tests run as root, else the one user, whose
// rights the file modes take away.
constexpr uid_t kOwner = 4242, kReader = 65534;
bool AsRoot() { return geteuid() == 0; }

int ReadKept(const std::string& file, const WCHAR* expected) {
  HKEY root = nullptr, a = nullptr;
  CHILD_CHECK(regtest::LoadHive(file, &root, KEY_ALL_ACCESS) == ERROR_ACCESS_DENIED);
  CHILD_CHECK(regtest::LoadHive(file, &root, KEY_READ) == ERROR_SUCCESS);
  CHILD_CHECK(RegOpenKeyExW(root, WTEXT("A"), 0, KEY_READ, &a) == ERROR_SUCCESS);
  LONG rc = ERROR_SUCCESS;
  const std::vector<BYTE> data = Get(a, WTEXT("v"), &rc);
  CHILD_CHECK(rc == ERROR_SUCCESS);
  CHILD_CHECK(pavo::WideString(reinterpret_cast<const WCHAR*>(data.data()),
                             data.size() / 2 - 1) == expected);
  CHILD_CHECK(SetSz(a, WTEXT("v"), WTEXT("no")) == ERROR_ACCESS_DENIED);
  RegCloseKey(a);
  RegCloseKey(root);
  return 0;
}

int WriteAsOwner(const std::string& file, const WCHAR* text) {
  HKEY root = nullptr, a = nullptr;
  CHILD_CHECK(regtest::LoadHive(file, &root) == ERROR_SUCCESS);
  CHILD_CHECK(RegCreateKeyExW(root, WTEXT("A"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &a,
                              nullptr) == ERROR_SUCCESS);
  CHILD_CHECK(SetSz(a, WTEXT("v"), text) == ERROR_SUCCESS);
  RegCloseKey(a);
  RegCloseKey(root);
  return 0;
}

class RegistryReadOnly : public RegistryHostile {
 protected:
  void SetUp() override {
    RegistryHostile::SetUp();
    folder_ = dir_.File("share");
    ASSERT_EQ(mkdir(folder_.c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir_.File("").c_str(), 0755), 0);
    if (AsRoot()) {
      ASSERT_EQ(chown(folder_.c_str(), kOwner, kOwner), 0);
    }
    file_ = folder_ + "/shared.hive";
  }
  void TearDown() override { chmod(folder_.c_str(), 0755); }
  std::string folder_, file_;
};

TEST_F(RegistryReadOnly, AFileWithoutWriteBitsOpensForReadingAndLeavesNothing) {
  ASSERT_EQ(chmod(folder_.c_str(), 0777), 0);  // the reader may make files here
  ASSERT_EQ(InChild([&] { return WriteAsOwner(file_, WTEXT("kept")); }, kOwner), 0);
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  EXPECT_EQ(InChild([&] { return ReadKept(file_, WTEXT("kept")); }, kReader), 0);
  EXPECT_FALSE(Exists(file_ + "-wal"));
  EXPECT_FALSE(Exists(file_ + "-shm"));
  // The owner takes the write bit back and writes as before.
  ASSERT_EQ(chmod(file_.c_str(), 0644), 0);
  EXPECT_EQ(InChild([&] { return WriteAsOwner(file_, WTEXT("later")); }, kOwner), 0);
}

TEST_F(RegistryReadOnly, AReaderWithoutRightsToTheFolderReadsTheHive) {
  ASSERT_EQ(InChild([&] { return WriteAsOwner(file_, WTEXT("kept")); }, kOwner), 0);
  ASSERT_EQ(chmod(file_.c_str(), AsRoot() ? 0644 : 0444), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  EXPECT_EQ(InChild([&] { return ReadKept(file_, WTEXT("kept")); }, kReader), 0);
}

TEST_F(RegistryReadOnly, AnotherUsersOpenHiveIsReadWhileItsOwnerWrites) {
  int toReader[2], toOwner[2];
  ASSERT_EQ(pipe(toReader), 0);
  ASSERT_EQ(pipe(toOwner), 0);
  ASSERT_EQ(InChild([&] { return WriteAsOwner(file_, WTEXT("old")); }, kOwner), 0);
  ASSERT_EQ(chmod(file_.c_str(), 0644), 0);
  std::fflush(nullptr);
  const pid_t owner = fork();
  if (owner == 0) {
    // Holds the hive open with a change still in its WAL, waits for the
    // reader, then writes again.
    if (AsRoot() && (setgid(kOwner) != 0 || setuid(kOwner) != 0)) _exit(126);
    HKEY root = nullptr, a = nullptr;
    if (regtest::LoadHive(file_, &root) != ERROR_SUCCESS) _exit(2);
    if (RegOpenKeyExW(root, WTEXT("A"), 0, KEY_ALL_ACCESS, &a) != ERROR_SUCCESS) _exit(3);
    if (SetSz(a, WTEXT("v"), WTEXT("new")) != ERROR_SUCCESS) _exit(4);
    if (!AsRoot()) {
      // One user: the modes stand for the rights another user would lack.
      for (const char* suffix : {"", "-wal", "-shm"}) chmod((file_ + suffix).c_str(), 0444);
      chmod(folder_.c_str(), 0555);
    }
    char byte = 1;
    if (write(toReader[1], &byte, 1) != 1 || read(toOwner[0], &byte, 1) != 1) _exit(5);
    if (SetSz(a, WTEXT("v"), WTEXT("after")) != ERROR_SUCCESS) _exit(6);
    _exit(0);
  }
  ASSERT_GT(owner, 0);
  char byte = 0;
  ASSERT_EQ(read(toReader[0], &byte, 1), 1);
  ASSERT_TRUE(Exists(file_ + "-wal"));
  EXPECT_EQ(InChild([&] { return ReadKept(file_, WTEXT("new")); }, kReader), 0);
  ASSERT_EQ(write(toOwner[1], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(owner, &status, 0), owner);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (int fd : {toReader[0], toReader[1], toOwner[0], toOwner[1]}) close(fd);
}

}  // namespace
