// Hives under crashing and competing processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <set>

#include "info/PavoRmInformationRegistry.h"
#include "platform/win/registry.h"
#include "registry_test_util.h"

using regtest::W;

namespace {

// Settings go through the information object, which opens, writes and
// closes a key for every value: each write is its own transaction.
class Settings {
 public:
  explicit Settings(HKEY root) : m_info(new PavoRmInformationRegistry(root, WTEXT("Software\\PavoRm"), WTEXT(""), WTEXT("enu"))) {}
  ~Settings() { m_info->SafeDelete(); }
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  PavoRmInformationRegistry* operator->() const { return m_info; }

 private:
  PavoRmInformationRegistry* m_info;
};

bool WriteSetting(HKEY root, const std::string& section, const std::string& name,
                  const std::string& value) {
  Settings settings(root);
  return settings->WriteValue(W(section).c_str(), W(name).c_str(), W(value).c_str()) == 1;
}

std::string ReadSetting(HKEY root, const std::string& section, const std::string& name) {
  Settings settings(root);
  const PavoRmCString value = settings->ReadValue(W(section).c_str(), W(name).c_str());
  return pavo::Utf8FromWide(value.GetString(), static_cast<size_t>(value.GetLength()));
}

std::string IntegrityCheck(const std::string& file) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

TEST(RegistryReliability, AWriterKilledMidWayLosesNoConfirmedWrite) {
  regtest::ScratchDir dir;
  const std::string hive = dir.File("killed.hive");
  std::mt19937 rng(std::random_device{}());
  for (int round = 0; round < 3; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      HKEY root = nullptr;
      if (regtest::LoadHive(hive, &root) != ERROR_SUCCESS) _exit(2);
      for (uint32_t i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(round) + "." + std::to_string(i);
        if (!WriteSetting(root, "S" + std::to_string(i % 7), n, "value " + n)) _exit(3);
        if (write(pipeFds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(4);
      }
      _exit(0);
    }
    close(pipeFds[1]);
    // Let a random number of writes complete, then kill the writer at once.
    const uint32_t killAfter = 1000 + rng() % 3000;
    std::set<uint32_t> confirmed;
    uint32_t index = 0;
    while (confirmed.size() < killAfter &&
           read(pipeFds[0], &index, sizeof index) == static_cast<ssize_t>(sizeof index)) {
      confirmed.insert(index);
    }
    kill(child, SIGKILL);
    // Writes confirmed between our last read and the kill count as well.
    while (read(pipeFds[0], &index, sizeof index) == static_cast<ssize_t>(sizeof index)) {
      confirmed.insert(index);
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped by itself: " << WEXITSTATUS(status);

    HKEY root = nullptr;
    ASSERT_EQ(regtest::LoadHive(hive, &root, KEY_READ), ERROR_SUCCESS);
    for (uint32_t i : confirmed) {
      const std::string n = std::to_string(round) + "." + std::to_string(i);
      ASSERT_EQ(ReadSetting(root, "S" + std::to_string(i % 7), n), "value " + n);
    }
    RegCloseKey(root);
    EXPECT_EQ(IntegrityCheck(hive), "ok");
  }
}

TEST(RegistryReliability, FourProcessesShareAHiveWithoutLossOrBusyErrors) {
  regtest::ScratchDir dir;
  const std::string hive = dir.File("shared.hive");
  constexpr int kProcesses = 4, kWrites = 150;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Each writes its own values into keys that all share, and reads back
      // what the others wrote so far.
      HKEY writer = nullptr;
      if (regtest::LoadHive(hive, &writer) != ERROR_SUCCESS) _exit(1);
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = std::to_string(p) + "-" + std::to_string(i);
        if (!WriteSetting(writer, "K" + std::to_string(i % 3), name, name)) _exit(10 + p);
        HKEY root = nullptr;
        if (regtest::LoadHive(hive, &root, KEY_READ) != ERROR_SUCCESS) _exit(20 + p);
        const std::string other = std::to_string((p + 1) % kProcesses) + "-0";
        const std::string seen = ReadSetting(root, "K0", other);
        if (!seen.empty() && seen != other) _exit(30 + p);
        if (ReadSetting(root, "K" + std::to_string(i % 3), name) != name) _exit(40 + p);
        RegCloseKey(root);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  HKEY root = nullptr;
  ASSERT_EQ(regtest::LoadHive(hive, &root, KEY_READ), ERROR_SUCCESS);
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = std::to_string(p) + "-" + std::to_string(i);
      ASSERT_EQ(ReadSetting(root, "K" + std::to_string(i % 3), name), name);
    }
  }
  RegCloseKey(root);
  EXPECT_EQ(IntegrityCheck(hive), "ok");
}

TEST(RegistryReliability, ReadsSeeWhatAnotherProcessChanged) {
  regtest::ScratchDir dir;
  const std::string hive = dir.File("seen.hive");
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  // The child is made before this process opens the hive, so that it shares nothing.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  char byte = 0;
  if (child == 0) {
    if (read(toChild[0], &byte, 1) != 1) _exit(1);
    HKEY root = nullptr;
    if (regtest::LoadHive(hive, &root) != ERROR_SUCCESS) _exit(2);
    if (!WriteSetting(root, "enu", "v", "second")) _exit(3);
    if (RegDeleteTreeW(root, WTEXT("Software\\PavoRm\\deu")) != ERROR_SUCCESS) _exit(4);
    if (write(toParent[1], &byte, 1) != 1) _exit(5);
    _exit(0);
  }
  HKEY root = nullptr;
  ASSERT_EQ(regtest::LoadHive(hive, &root), ERROR_SUCCESS);
  ASSERT_TRUE(WriteSetting(root, "enu", "v", "first"));
  ASSERT_TRUE(WriteSetting(root, "deu", "v", "x"));
  Settings settings(root);
  PavoRmLanguageList before, after;
  // Read twice: the second read is answered from what the first learned.
  for (int i = 0; i < 2; ++i) ASSERT_EQ(ReadSetting(root, "enu", "v"), "first");
  ASSERT_EQ(settings->GetLanguageList(before), 1);
  ASSERT_EQ(write(toChild[1], &byte, 1), 1);
  ASSERT_EQ(read(toParent[0], &byte, 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadSetting(root, "enu", "v"), "second");
  EXPECT_EQ(ReadSetting(root, "deu", "v"), "");
  ASSERT_EQ(settings->GetLanguageList(after), 1);
  EXPECT_EQ(before.GetCount(), 2);
  EXPECT_EQ(after.GetCount(), 1);
  for (PavoRmCString* s : before) delete s;
  for (PavoRmCString* s : after) delete s;
  RegCloseKey(root);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
}

}  // namespace
