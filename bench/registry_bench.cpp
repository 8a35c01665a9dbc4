// Settings through the information object on a hive, and a bare SQLite
// key/value table as the floor that a hive read cannot beat; reads, writes
// that shrink the key's largest value, and removals, in a key of 10, 10,000
// and 100,000 values, each on values drawn at random.
//
// Run one benchmark per process (--benchmark_filter), so that none runs on
// the heap and page cache another one left behind (run_all.py does).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "info/PavoRmInformationRegistry.h"
#include "platform/win/registry.h"
#include "platform/win/registry_hive.h"
#include "platform/win/registry_statements.h"

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

// One key of n REG_BINARY values "v0" ... of 32 bytes each, and the names
// of values drawn at random (fixed seed).
class ValuesKey {
 public:
  explicit ValuesKey(int n) {
    const std::u16string file = W(scratch.dir + "/values.hive");
    if (RegLoadAppKeyW(file.c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
    if (RegCreateKeyExW(root, u"Values", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      abort();
    RegCloseKey(key);
    RegCloseKey(root);
    for (int i = 0; i < n; ++i) names.push_back(W("v" + std::to_string(i)));
    Fill(scratch.dir + "/values.hive");
    if (RegLoadAppKeyW(file.c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS ||
        RegOpenKeyExW(root, u"Values", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
      abort();
    std::mt19937 rnd(5100);
    for (int i = 0; i < 4096; ++i) picks.push_back(static_cast<size_t>(rnd() % static_cast<unsigned>(n)));
  }
  ~ValuesKey() {
    RegCloseKey(key);
    RegCloseKey(root);
  }
  LONG Set(const std::u16string& name, DWORD size) {
    static const BYTE data[64] = {1, 2, 3, 4};
    return RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data, size);
  }
  const std::u16string& Pick(size_t i) const { return names[picks[i % picks.size()]]; }

  // The values written straight into the closed hive in one transaction,
  // with the key's counts and sizes as the hive keeps them (one write per
  // value through the API takes minutes at 100,000 on a shared disk).
  void Fill(const std::string& file) const {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db,
                                 "INSERT INTO vals(key, name, folded, type, data)"
                                 " VALUES((SELECT max(id) FROM keys), ?1, ?2, 3, zeroblob(32))",
                                 -1, &st, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < names.size(); ++i) {
      const std::string stored = pavo::reg::ToBlob(names[i]);
      const std::string folded = pavo::reg::FoldName(names[i]);
      sqlite3_bind_blob(st, 1, stored.data(), static_cast<int>(stored.size()), SQLITE_TRANSIENT);
      sqlite3_bind_blob(st, 2, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
      ok = sqlite3_step(st) == SQLITE_DONE && sqlite3_reset(st) == SQLITE_OK;
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db,
                            "UPDATE keys SET nval = (SELECT count(*) FROM vals WHERE key = keys.id),"
                            " maxname = coalesce((SELECT max(length(name)) FROM vals WHERE key = keys.id), 0) / 2,"
                            " maxdata = coalesce((SELECT max(length(data)) FROM vals WHERE key = keys.id), 0);"
                            "COMMIT",
                            nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!ok) abort();
  }

  Scratch scratch;
  HKEY root = nullptr;
  HKEY key = nullptr;
  std::vector<std::u16string> names;
  std::vector<size_t> picks;
};

void BM_ReadRandomValue(benchmark::State& state) {
  ValuesKey k(static_cast<int>(state.range(0)));
  size_t i = 0;
  BYTE buf[64];
  for (auto _ : state) {
    DWORD size = sizeof buf, type = 0;
    if (RegQueryValueExW(k.key, k.Pick(i++).c_str(), nullptr, &type, buf, &size) != ERROR_SUCCESS || size != 32)
      state.SkipWithError("read failed");
  }
  state.SetItemsProcessed(state.iterations());
}

// The value written is the key's largest (64 bytes, set untimed), and the
// timed write makes it 16 bytes: the key's largest size has to be found anew.
void BM_ShrinkingWrite(benchmark::State& state) {
  ValuesKey k(static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    const std::u16string& name = k.Pick(i++);
    state.PauseTiming();
    const LONG grown = k.Set(name, 64);
    state.ResumeTiming();
    if (grown != ERROR_SUCCESS || k.Set(name, 16) != ERROR_SUCCESS) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations());
}

// The value removed is the key's largest (set untimed, and put back untimed).
void BM_DeleteValue(benchmark::State& state) {
  ValuesKey k(static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    const std::u16string& name = k.Pick(i++);
    state.PauseTiming();
    const LONG grown = k.Set(name, 64);
    state.ResumeTiming();
    const LONG removed = RegDeleteValueW(k.key, name.c_str());
    state.PauseTiming();
    if (grown != ERROR_SUCCESS || removed != ERROR_SUCCESS || k.Set(name, 32) != ERROR_SUCCESS)
      state.SkipWithError("delete failed");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations());
}

void ValueCounts(benchmark::internal::Benchmark* b) {
  b->Arg(10)->Arg(10000)->Arg(100000)->MinWarmUpTime(0.1)->MinTime(0.3)->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_ReadRandomValue)->Apply(ValueCounts);
BENCHMARK(BM_ShrinkingWrite)->Apply(ValueCounts);
BENCHMARK(BM_DeleteValue)->Apply(ValueCounts);

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
