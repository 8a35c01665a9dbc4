// Hostile hives at n and 10n keys or values: what refusing or stopping on
// them costs, in time and in peak memory (the C++ heap and SQLite's own),
// to show both grow linearly with the file. Each case: a damaged file
// refused when opened, and the walk that used to run away stopped when the
// damage is made while the hive is open (as another process would).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "platform/win/registry.h"
#include "platform/win/registry_hive_check.h"
#include "platform/win/registry_reg_file.h"
#include "platform/win/registry_read_only.h"
#include "platform/win/registry_statements.h"

// The C++ heap in use and its peak, by way of the global allocation
// functions (SQLite counts its own: sqlite3_memory_highwater).
namespace {
std::atomic<size_t> g_heapInUse{0};
std::atomic<size_t> g_heapPeak{0};

void Track(void* p) {
  const size_t now = g_heapInUse += malloc_usable_size(p);
  size_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
}
}  // namespace

// The replacements pair malloc with free themselves; GCC cannot see that
// every operator new of the program is this one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  Track(p);
  return p;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  g_heapInUse -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

struct Scratch {
  Scratch() {
    char tmpl[] = "/tmp/pavorm-hostile-XXXXXX";
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

void Sql(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    abort();
  }
}

void Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) abort();
  Sql(db, sql);
  sqlite3_close(db);
}

// A sound hive whose root has n sub-keys (chain: each below the one
// before) with a value each, its counts and sizes as the hive keeps them.
std::string MakeHive(const Scratch& scratch, const std::string& name, int n, bool chain) {
  const std::string file = scratch.dir + "/" + name;
  HKEY root = nullptr;
  if (RegLoadAppKeyW(W(file).c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
  RegCloseKey(root);
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) abort();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* key = nullptr;
  sqlite3_stmt* value = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO keys(id, parent, name, folded, class, written)"
                     " VALUES(?1, ?2, ?3, ?4, x'', 0)",
                     -1, &key, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO vals(key, name, folded, type, data)"
                     " VALUES(?1, x'7600', x'0056', 3, x'01020304')",
                     -1, &value, nullptr);
  for (int i = 1; i <= n; ++i) {
    const std::u16string keyName = W("k" + std::to_string(i));
    const std::string stored = pavo::reg::ToBlob(keyName);
    const std::string folded = pavo::reg::FoldName(keyName);
    sqlite3_bind_int64(key, 1, i + 1);
    sqlite3_bind_int64(key, 2, chain ? i : 1);
    sqlite3_bind_blob(key, 3, stored.data(), static_cast<int>(stored.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(key, 4, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(value, 1, i + 1);
    if (sqlite3_step(key) != SQLITE_DONE || sqlite3_step(value) != SQLITE_DONE) abort();
    sqlite3_reset(key);
    sqlite3_reset(value);
  }
  sqlite3_finalize(key);
  sqlite3_finalize(value);
  Sql(db,
      "UPDATE keys SET nsub = (SELECT count(*) FROM keys AS c WHERE c.parent = keys.id),"
      " maxsub = coalesce((SELECT max(length(name)) FROM keys AS c"
      " WHERE c.parent = keys.id), 0) / 2,"
      " nval = (SELECT count(*) FROM vals WHERE key = keys.id),"
      " maxname = coalesce((SELECT max(length(name)) FROM vals WHERE key = keys.id), 0) / 2,"
      " maxdata = coalesce((SELECT max(length(data)) FROM vals WHERE key = keys.id), 0);"
      "COMMIT");
  sqlite3_close(db);
  return file;
}

// Damage of each kind, for a hive of MakeHive: key n + 1 is the last.
std::string CycleThroughRoot(int n) {
  return "UPDATE keys SET parent = " + std::to_string(n + 1) + " WHERE id = 1";
}
// The root below its first sub-key (counted there): the walk meets the root
// again.
std::string CycleThroughFirst(int) {
  return "UPDATE keys SET parent = 2 WHERE id = 1; UPDATE keys SET nsub = 1 WHERE id = 2";
}
std::string EmptyName(int n) {
  return "UPDATE keys SET name = x'', folded = x'' WHERE id = " + std::to_string(n / 2 + 1);
}
const char kLongestNameLie[] = "UPDATE keys SET maxsub = 2147483647 WHERE id = 1";

// Peak memory of the loop, over what was in use when it began.
class PeakMemory {
 public:
  PeakMemory() : m_heapBase(g_heapInUse.load()) {
    g_heapPeak = m_heapBase;
    sqlite3_memory_highwater(1);
    m_sqliteBase = sqlite3_memory_used();
  }
  void Report(benchmark::State& state) const {
    state.counters["peak_heap_KiB"] = static_cast<double>(g_heapPeak - m_heapBase) / 1024;
    state.counters["peak_sqlite_KiB"] =
        static_cast<double>(sqlite3_memory_highwater(0) - m_sqliteBase) / 1024;
  }

 private:
  size_t m_heapBase;
  sqlite3_int64 m_sqliteBase;
};

void Expect(LONG rc, LONG expected, benchmark::State& state) {
  if (rc != expected) state.SkipWithError(("unexpected result " + std::to_string(rc)).c_str());
}

// A damaged file is refused when opened: the checks' cost.
template <bool Chain>
void Refused(benchmark::State& state, std::string (*damage)(int)) {
  Scratch scratch;
  const int n = static_cast<int>(state.range(0));
  const std::string file = MakeHive(scratch, "refused.hive", n, Chain);
  Sql(file, damage(n));
  PeakMemory peak;
  for (auto _ : state) {
    HKEY root = nullptr;
    Expect(RegLoadAppKeyW(W(file).c_str(), &root, KEY_READ, 0, 0), ERROR_BADDB, state);
  }
  peak.Report(state);
  state.SetComplexityN(n);
}

std::string LongestNameLie(int) { return kLongestNameLie; }

std::string WrongSchema(int) {
  return "CREATE TRIGGER t AFTER INSERT ON vals BEGIN DELETE FROM keys; END";
}

void BM_RefusedCycleThroughRoot(benchmark::State& state) { Refused<true>(state, &CycleThroughRoot); }
void BM_RefusedEmptySubKeyName(benchmark::State& state) { Refused<false>(state, &EmptyName); }
void BM_RefusedLongestNameLie(benchmark::State& state) { Refused<false>(state, &LongestNameLie); }
void BM_RefusedWrongSchema(benchmark::State& state) { Refused<false>(state, &WrongSchema); }

// Damage made while the hive is open: the walk ends with ERROR_BADDB.
template <bool Chain, typename Walk>
void StoppedWhileOpen(benchmark::State& state, std::string (*damage)(int), Walk walk) {
  Scratch scratch;
  const int n = static_cast<int>(state.range(0));
  const std::string file = MakeHive(scratch, "open.hive", n, Chain);
  HKEY root = nullptr;
  if (RegLoadAppKeyW(W(file).c_str(), &root, KEY_ALL_ACCESS, 0, 0) != ERROR_SUCCESS) abort();
  Sql(file, damage(n));
  PeakMemory peak;
  for (auto _ : state) Expect(walk(root), ERROR_BADDB, state);
  peak.Report(state);
  state.SetComplexityN(n);
  RegCloseKey(root);
}

LONG Export(HKEY root) {
  std::string text;
  return pavo::reg::ExportRegText(root, u"HKEY_CURRENT_USER", pavo::reg::RegFileFormat::kVersion5,
                                  &text);
}

void BM_DeleteTreeStopsOnACycle(benchmark::State& state) {
  StoppedWhileOpen<true>(state, &CycleThroughRoot,
                         [](HKEY root) { return RegDeleteTreeW(root, nullptr); });
}
void BM_ExportStopsOnACycle(benchmark::State& state) {
  StoppedWhileOpen<false>(state, &CycleThroughFirst, &Export);
}
void BM_ExportStopsOnAnEmptySubKeyName(benchmark::State& state) {
  StoppedWhileOpen<false>(state, &EmptyName, &Export);
}
void BM_ExportStopsOnALongestNameLie(benchmark::State& state) {
  StoppedWhileOpen<false>(state, &LongestNameLie, &Export);
}

// A hive the process may only read, opened and checked as RegLoadAppKeyW
// does it for a reader without write rights: a copy read into memory.
void BM_ReadOnlyOpen(benchmark::State& state) {
  Scratch scratch;
  const int n = static_cast<int>(state.range(0));
  const std::string file = MakeHive(scratch, "read-only.hive", n, false);
  PeakMemory peak;
  for (auto _ : state) {
    sqlite3* db = nullptr;
    bool inMemory = false;
    LONG rc = pavo::reg::OpenReadOnlyConnection(file, &db, &inMemory);
    if (rc == ERROR_SUCCESS) {
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      rc = pavo::reg::CheckHiveContent(db);
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    Expect(rc, ERROR_SUCCESS, state);
  }
  peak.Report(state);
  state.SetComplexityN(n);
}

// n and 10n keys; a warm-up of the same operation before the timed samples.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1000)->Arg(10000)->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond)->Complexity();
}
BENCHMARK(BM_RefusedCycleThroughRoot)->Apply(Sizes);
BENCHMARK(BM_RefusedEmptySubKeyName)->Apply(Sizes);
BENCHMARK(BM_RefusedLongestNameLie)->Apply(Sizes);
BENCHMARK(BM_RefusedWrongSchema)->Apply(Sizes);
BENCHMARK(BM_DeleteTreeStopsOnACycle)->Apply(Sizes);
BENCHMARK(BM_ExportStopsOnACycle)->Apply(Sizes);
BENCHMARK(BM_ExportStopsOnAnEmptySubKeyName)->Apply(Sizes);
BENCHMARK(BM_ExportStopsOnALongestNameLie)->Apply(Sizes);
BENCHMARK(BM_ReadOnlyOpen)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
