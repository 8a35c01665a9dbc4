// Settings through the information object on a hive, and a bare SQLite
// key/value table as the floor that a hive read cannot beat.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "info/PavoRmInformationRegistry.h"
#include "platform/win/registry.h"

namespace {

struct Scratch {
  Scratch() {
    char tmpl[] = "/tmp/pavorm-bench-XXXXXX";
    const char* made = mkdtemp(tmpl);
    dir = made != nullptr ? made : "/tmp";
  }
  ~Scratch() {
    const std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) perror("rm");
  }
  std::string dir;
};

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A hive with a settings key holding 50 languages and 20 values per section.
class Fixture {
 public:
  Fixture() {
    const std::u16string file = W(scratch.dir + "/bench.hive");
    if (RegLoadAppKeyW(file.c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
    info = new PavoRmInformationRegistry(root, u"Software\\Vendor\\PavoRm", u"/opt/lang", u"enu");
    for (int i = 0; i < 50; ++i) {
      const std::u16string lang = W("l" + std::to_string(100 + i));
      for (int v = 0; v < 20; ++v) {
        info->WriteValue(lang.c_str(), W("value" + std::to_string(v)).c_str(), u"setting text");
      }
    }
    info->WriteValue(u"", u"Viewer", u"viewerdeu.dll");
  }
  ~Fixture() {
    info->SafeDelete();
    RegCloseKey(root);
  }
  Scratch scratch;
  HKEY root = nullptr;
  PavoRmInformationRegistry* info = nullptr;
};

void BM_ReadValue(benchmark::State& state) {
  Fixture f;
  const PavoRmCString section(u"l120"), name(u"value7");
  for (auto _ : state) {
    PavoRmCString v = f.info->ReadValue(section, name);
    benchmark::DoNotOptimize(v);
    if (v.GetLength() != 12) state.SkipWithError("wrong value");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadValue);

void BM_ReadValueNoSection(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    PavoRmCString v = f.info->ReadValue(u"", u"Viewer");
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadValueNoSection);

void BM_WriteValue(benchmark::State& state) {
  Fixture f;
  int i = 0;
  for (auto _ : state) {
    const std::u16string value = W("text " + std::to_string(i++ % 1000));
    if (f.info->WriteValue(u"l120", u"value7", value.c_str()) != 1) state.SkipWithError("failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteValue);

void BM_GetLanguageList50(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    PavoRmLanguageList list;
    if (f.info->GetLanguageList(list) != 1 || list.GetCount() != 50) state.SkipWithError("list");
    for (PavoRmCString* s : list) delete s;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetLanguageList50);

// Peer: one prepared SELECT on an indexed SQLite table in WAL mode, the least
// work any SQLite-backed read can do.
void BM_PeerSqliteSelect(benchmark::State& state) {
  Scratch scratch;
  sqlite3* db = nullptr;
  sqlite3_open((scratch.dir + "/peer.db").c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; CREATE TABLE kv(k TEXT PRIMARY KEY, v BLOB);"
               "INSERT INTO kv VALUES('l120\\value7', 'setting text');",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT v FROM kv WHERE k = ?1", -1, &st, nullptr);
  for (auto _ : state) {
    sqlite3_bind_text(st, 1, "l120\\value7", -1, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_ROW) state.SkipWithError("peer");
    benchmark::DoNotOptimize(sqlite3_column_blob(st, 0));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PeerSqliteSelect);

// Prints the usual table, then how a settings read compares with the peer.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        m_ns[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double read = m_ns["BM_ReadValue"], peer = m_ns["BM_PeerSqliteSelect"];
    if (read > 0 && peer > 0) {
      std::printf("ReadValue (open, query info, read, close) vs one bare SQLite select: %.2fx the time\n",
                  read / peer);
    }
  }

 private:
  std::map<std::string, double> m_ns;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
