// Costs of the resource management:
//  - LoadStringW by resource-object name (20 objects attached, the wanted one
//    last) against the load by module handle it wraps;
//  - switching 100 resource-only objects to another language (each Init maps
//    the new module and releases the old) against the bare open, fstat, mmap,
//    munmap and close of the same files.
// After the Google Benchmark runs, main times both pairs again in this process
// and prints the ratios. `--count` instead runs each loop once for callgrind:
//   valgrind --tool=callgrind ./resource_manager_bench --count
//   callgrind_annotate --inclusive=yes callgrind.out.* | grep Loop
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "info/PavoRmInformationRegistry.h"
#include "platform/win/modules.h"
#include "platform/win/paths.h"
#include "platform/win/registry.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/identity.h"

namespace {

constexpr unsigned kStringId = 28504;
constexpr int kSwitchObjects = 100;

// Information kept in memory: each object's configured file is its own name
// (a normal module then serves its own resources), or nothing.
class BenchInformation : public PavoRmInformation {
 public:
  BenchInformation(const PavoRmCString& path, bool ownNames)
      : PavoRmInformation(PavoRmCString(), path, u"deu"), ownNames_(ownNames) {}
  int WriteValue(const PavoRmCString&, const PavoRmCString&, const PavoRmCString&) override { return 0; }
  PavoRmCString ReadValue(const PavoRmCString&, const PavoRmCString& name) override {
    return ownNames_ ? name : PavoRmCString();
  }
  int GetLanguageList(PavoRmLanguageList&) override { return 1; }
  PavoRmCString GetCurrentLanguage() override { return GetCurrentLanguageName(); }

 private:
  bool ownNames_;
};

std::string ObjectName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "Object%03d", i);
  return name;
}

PavoRmCString Wide(const std::string& s) { return PavoRmCString(pavo::WideFromUtf8(s.data(), s.size()).c_str()); }

// --- load by name ------------------------------------------------------------

struct NameFixture {
  PavoRmResourceManager manager;
  PavoRmCString last;
  NameFixture() {
    manager.AttachInformation(new BenchInformation(PavoRmCString(), true));
    for (int i = 0; i < 20; ++i) {
      last = Wide(ObjectName(i));
      manager.AttachResourceObject(new PavoRmResourceObjectNormalDll(last, pavoRmDllInstance(), pavoRmDllInstance()), 1);
    }
  }
};

__attribute__((noinline)) size_t LoadByNameLoop(const PavoRmCString& name, int n) {
  size_t total = 0;
  PavoRmCString text;
  for (int i = 0; i < n; ++i) total += static_cast<size_t>(text.LoadStringW(name, kStringId, 0));
  return total;
}

__attribute__((noinline)) size_t LoadByHandleLoop(HINSTANCE module, int n) {
  size_t total = 0;
  PavoRmCString text;
  for (int i = 0; i < n; ++i) total += static_cast<size_t>(text.LoadStringW(module, kStringId, 0));
  return total;
}

// --- language switch ----------------------------------------------------------

// A folder with ObjectNNN{deu,fra}.dll, copies of the library's language modules.
struct SwitchFolder {
  std::string dir;
  SwitchFolder() {
    char tmpl[] = "/tmp/pavorm-bench-XXXXXX";
    dir = mkdtemp(tmpl) != nullptr ? tmpl : "/tmp";
    for (const char* language : {"deu", "fra"}) {
      std::ifstream in(std::string(PAVORM_LANGUAGE_DIR "/PavoRm") + language + ".dll", std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      for (int i = 0; i < kSwitchObjects; ++i) {
        std::ofstream(File(i, language), std::ios::binary) << bytes;
      }
    }
  }
  ~SwitchFolder() {
    const std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }
  std::string File(int i, const char* language) const { return dir + "/" + ObjectName(i) + language + ".dll"; }
};

struct SwitchFixture {
  PavoRmResourceManager manager;
  PavoRmInformation* information;
  std::vector<PavoRmResourceObject*> objects;
  bool french = false;
  explicit SwitchFixture(PavoRmInformation* info) : information(info) {
    manager.AttachInformation(information);
    for (int i = 0; i < kSwitchObjects; ++i) {
      objects.push_back(new PavoRmResourceObjectResourceDll(Wide(ObjectName(i))));
      manager.AttachResourceObject(objects.back(), 1);
    }
  }
  ~SwitchFixture() {
    for (PavoRmResourceObject* object : objects) FreeLibrary(object->GetResourceHandle());
  }
};

__attribute__((noinline)) int SwitchLoop(SwitchFixture& f) {
  f.french = !f.french;
  f.information->SetCurrentLanguageName(f.french ? u"fra" : u"deu");
  int ok = 0;
  for (PavoRmResourceObject* object : f.objects) ok += object->Init();
  return ok;
}

__attribute__((noinline)) size_t BareMapLoop(const std::vector<std::string>& files) {
  size_t total = 0;
  for (const std::string& file : files) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st = {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
      void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (map != MAP_FAILED) {
        total += static_cast<const unsigned char*>(map)[0];
        munmap(map, static_cast<size_t>(st.st_size));
      }
    }
    close(fd);
  }
  return total;
}

// The module stand-in alone, in the order a switch uses it: each new module
// is loaded while the old one is held, then the old one is released.
__attribute__((noinline)) size_t LoadFreeLoop(const std::vector<PavoRmCString>& files, std::vector<HINSTANCE>* held) {
  size_t total = 0;
  held->resize(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    HINSTANCE module = LoadLibraryExW(files[i].GetString(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    total += module != nullptr ? 1 : 0;
    if ((*held)[i] != nullptr) FreeLibrary((*held)[i]);
    (*held)[i] = module;
  }
  return total;
}

std::vector<std::string> SwitchTargets(const SwitchFolder& folder, bool french) {
  std::vector<std::string> files;
  for (int i = 0; i < kSwitchObjects; ++i) files.push_back(folder.File(i, french ? "fra" : "deu"));
  return files;
}

const SwitchFolder& Folder() {
  static const SwitchFolder folder;
  return folder;
}

// --- Google Benchmark cases ------------------------------------------------------

void BM_LoadStringByName20(benchmark::State& state) {
  NameFixture f;
  for (auto _ : state) benchmark::DoNotOptimize(LoadByNameLoop(f.last, 1));
}
BENCHMARK(BM_LoadStringByName20);

void BM_LoadStringByHandle(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(LoadByHandleLoop(pavoRmDllInstance(), 1));
}
BENCHMARK(BM_LoadStringByHandle);

void BM_Switch100ResourceDlls(benchmark::State& state) {
  SwitchFixture f(new BenchInformation(Wide(Folder().dir), false));
  for (auto _ : state) benchmark::DoNotOptimize(SwitchLoop(f));
}
BENCHMARK(BM_Switch100ResourceDlls)->Unit(benchmark::kMicrosecond);

void BM_Switch100ResourceDllsRegistryInformation(benchmark::State& state) {
  const std::string hive = Folder().dir + "/bench.hive";
  HKEY root = nullptr;
  if (RegLoadAppKeyW(pavo::WideFromUtf8(hive.data(), hive.size()).c_str(), &root, KEY_ALL_ACCESS, 0, 0) != 0) {
    state.SkipWithError("no hive");
    return;
  }
  {
    SwitchFixture f(new PavoRmInformationRegistry(root, u"Software\\Bench", Wide(Folder().dir), u"deu"));
    for (auto _ : state) benchmark::DoNotOptimize(SwitchLoop(f));
  }
  RegCloseKey(root);
}
BENCHMARK(BM_Switch100ResourceDllsRegistryInformation)->Unit(benchmark::kMicrosecond);

void BM_BareMap100(benchmark::State& state) {
  const auto deu = SwitchTargets(Folder(), false), fra = SwitchTargets(Folder(), true);
  bool french = false;
  for (auto _ : state) {
    french = !french;
    benchmark::DoNotOptimize(BareMapLoop(french ? fra : deu));
  }
}
BENCHMARK(BM_BareMap100)->Unit(benchmark::kMicrosecond);

// --- ratios in the same run ---------------------------------------------------

// Best times of two runs measured in alternation, so that both see the same
// load of a shared machine.
template <typename A, typename B>
std::pair<double, double> BestOfAlternating(A&& a, B&& b, int repeats) {
  double bestA = 1e300, bestB = 1e300;
  for (int r = 0; r < repeats; ++r) {
    auto start = std::chrono::steady_clock::now();
    a();
    std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    bestA = std::min(bestA, took.count());
    start = std::chrono::steady_clock::now();
    b();
    took = std::chrono::steady_clock::now() - start;
    bestB = std::min(bestB, took.count());
  }
  return {bestA, bestB};
}

void PrintRatios() {
  // One manager at a time: a second one would not be the singleton.
  {
    constexpr int kLoads = 20000;
    NameFixture names;
    const auto [byName, byHandle] = BestOfAlternating(
        [&] { benchmark::DoNotOptimize(LoadByNameLoop(names.last, kLoads)); },
        [&] { benchmark::DoNotOptimize(LoadByHandleLoop(pavoRmDllInstance(), kLoads)); }, 50);
    std::printf("load by name (20 objects) %.1f ns, by handle %.1f ns: ratio %.2f (limit 2.00)\n", byName / kLoads,
                byHandle / kLoads, byName / byHandle);
  }
  SwitchFixture f(new BenchInformation(Wide(Folder().dir), false));
  const auto deu = SwitchTargets(Folder(), false), fra = SwitchTargets(Folder(), true);
  bool french = false;
  const auto [switching, bare] = BestOfAlternating(
      [&] { SwitchLoop(f); },
      [&] {
        french = !french;
        benchmark::DoNotOptimize(BareMapLoop(french ? fra : deu));
      },
      200);
  std::printf("switch 100 resource-only objects %.1f us, bare open/fstat/mmap/munmap/close %.1f us: ratio %.2f "
              "(limit 1.20)\n",
              switching / 1000, bare / 1000, switching / bare);
  std::vector<PavoRmCString> deuWide, fraWide;
  for (const auto& file : deu) deuWide.push_back(Wide(file));
  for (const auto& file : fra) fraWide.push_back(Wide(file));
  std::vector<HINSTANCE> held;
  const auto [loader, bare2] = BestOfAlternating(
      [&] {
        french = !french;
        benchmark::DoNotOptimize(LoadFreeLoop(french ? fraWide : deuWide, &held));
      },
      [&] {
        french = !french;
        benchmark::DoNotOptimize(BareMapLoop(french ? fra : deu));
      },
      200);
  for (HINSTANCE module : held) FreeLibrary(module);
  std::printf("  the module stand-in alone (LoadLibraryExW, FreeLibrary of the old) %.1f us: ratio %.2f to bare\n",
              loader / 1000, loader / bare2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--count") == 0) {
    size_t a = 0, b = 0;
    {
      NameFixture names;
      a = LoadByNameLoop(names.last, 10000);
      b = LoadByHandleLoop(pavoRmDllInstance(), 10000);
    }
    SwitchFixture f(new BenchInformation(Wide(Folder().dir), false));
    int c = 0;
    for (int i = 0; i < 10; ++i) c += SwitchLoop(f);
    size_t d = 0;
    for (int i = 0; i < 10; ++i) d += BareMapLoop(SwitchTargets(Folder(), i % 2 == 0));
    std::vector<PavoRmCString> wide[2];
    for (int k = 0; k < 2; ++k) {
      for (const auto& file : SwitchTargets(Folder(), k == 1)) wide[k].push_back(Wide(file));
    }
    std::vector<HINSTANCE> held;
    for (int i = 0; i < 10; ++i) d += LoadFreeLoop(wide[i % 2], &held);
    for (HINSTANCE module : held) FreeLibrary(module);
    std::printf("%zu %zu %d %zu\n", a, b, c, d);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}
