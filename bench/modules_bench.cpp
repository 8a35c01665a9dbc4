// Resource-string lookups: PavoRmCString::LoadStringW from our resource DLLs
// against GNU gettext and ICU resource bundles holding the same 2000 strings
// (German), all in one process. Prints each peer's time over ours.
//
//   modules_bench                       Google Benchmark run and ratios
//   modules_bench --count=KIND N        N lookups of one kind only (present,
//                                       missing, gettext, icu), for
//                                       valgrind --tool=callgrind --toggle-collect=Run*
#include <benchmark/benchmark.h>
#include <libintl.h>
#include <unicode/ures.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/win/modules.h"
#include "platform/win/ui_language.h"
#include "string/PavoRmCString.h"

namespace {

constexpr UINT kFirst = 1000;
constexpr UINT kCount = 2000;
constexpr UINT kMissingFirst = 40000;  // blocks the module does not have

HMODULE g_module = nullptr;
UResourceBundle* g_bundle = nullptr;
std::vector<std::string> g_msgids;  // gettext keys (the English texts)
std::vector<std::string> g_keys;    // ICU keys

std::u16string Wide(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(static_cast<unsigned char>(*s));
  return out;
}

// UTF-8 to UTF-16 as a gettext user has to do for UTF-16 text.
void Utf8ToUtf16(const char* s, std::u16string& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    uint32_t c = *p++;
    if (c >= 0xF0 && p[0] && p[1] && p[2]) {
      c = ((c & 7) << 18) | ((p[0] & 0x3F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
      p += 3;
    } else if (c >= 0xE0 && p[0] && p[1]) {
      c = ((c & 15) << 12) | ((p[0] & 0x3F) << 6) | (p[1] & 0x3F);
      p += 2;
    } else if (c >= 0xC0 && p[0]) {
      c = ((c & 31) << 6) | (p[0] & 0x3F);
      p += 1;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
}

bool Setup() {
  const std::string dir = PAVORM_BENCH_DATA;
  SetThreadUILanguage(1031);
  g_module = LoadLibraryExW(Wide((dir + "/bench_de.dll").c_str()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  // gettext: German catalog; the C.UTF-8 locale lets LANGUAGE choose it.
  setenv("LANGUAGE", "de", 1);
  std::setlocale(LC_ALL, "C.UTF-8");
  bindtextdomain("pavobench", dir.c_str());
  bind_textdomain_codeset("pavobench", "UTF-8");
  textdomain("pavobench");
  UErrorCode status = U_ZERO_ERROR;
  g_bundle = ures_open(dir.c_str(), "de", &status);
  if (g_module == nullptr || U_FAILURE(status)) return false;

  // The gettext keys are the English texts: read them from the English DLL.
  HMODULE en = LoadLibraryExW(Wide((dir + "/bench_en.dll").c_str()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (en == nullptr) return false;
  PavoRmCString s;
  for (UINT id = kFirst; id < kFirst + kCount; ++id) {
    if (!s.LoadStringW(en, id, 0)) return false;
    std::string key;
    for (int i = 0; i < s.GetLength(); ++i) key.push_back(static_cast<char>(s.GetAt(i)));
    g_msgids.push_back(key);
    g_keys.push_back("k" + std::to_string(id));
  }
  FreeLibrary(en);
  // Every peer must find every string, or the comparison would be unfair.
  std::u16string out;
  for (size_t i = 0; i < kCount; ++i) {
    if (std::strcmp(gettext(g_msgids[i].c_str()), g_msgids[i].c_str()) == 0) {
      std::fprintf(stderr, "gettext does not translate '%s'\n", g_msgids[i].c_str());
      return false;
    }
  }
  return true;
}

__attribute__((noinline)) size_t RunPresent(size_t n) {
  PavoRmCString s;
  size_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    s.LoadStringW(g_module, kFirst + static_cast<UINT>(i % kCount), 0);
    sum += static_cast<size_t>(s.GetLength());
  }
  return sum;
}

__attribute__((noinline)) size_t RunMissing(size_t n) {
  PavoRmCString s;
  size_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<size_t>(s.LoadStringW(g_module, kMissingFirst + static_cast<UINT>(i % kCount), 0));
  return sum;
}

__attribute__((noinline)) size_t RunGettext(size_t n) {
  std::u16string out;
  size_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    Utf8ToUtf16(gettext(g_msgids[i % kCount].c_str()), out);
    sum += out.size();
  }
  return sum;
}

__attribute__((noinline)) size_t RunIcu(size_t n) {
  std::u16string out;
  size_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t len = 0;
    const UChar* s = ures_getStringByKey(g_bundle, g_keys[i % kCount].c_str(), &len, &status);
    if (U_SUCCESS(status)) out.assign(s, static_cast<size_t>(len));
    sum += out.size();
  }
  return sum;
}

template <size_t (*Run)(size_t)>
void Measure(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Run(kCount));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kCount);
}

BENCHMARK(Measure<RunPresent>)->Name("PavoRm LoadStringW present");
BENCHMARK(Measure<RunMissing>)->Name("PavoRm LoadStringW missing");
BENCHMARK(Measure<RunGettext>)->Name("gettext + UTF-16");
BENCHMARK(Measure<RunIcu>)->Name("ICU ures_getStringByKey + copy");

// Keeps each run's time per lookup for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Plain runs, or the mean of repetitions (CPU time: the machine may be shared).
    for (const Run& r : runs) {
      if (r.aggregate_name.empty() || r.aggregate_name == "mean") nanos[r.run_name.str()] = r.GetAdjustedCPUTime() / kCount;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> nanos;
};

}  // namespace

int main(int argc, char** argv) {
  if (!Setup()) {
    std::fprintf(stderr, "benchmark data missing or unreadable in %s\n", PAVORM_BENCH_DATA);
    return 1;
  }
  if (argc == 3 && std::strncmp(argv[1], "--count=", 8) == 0) {
    const size_t n = std::strtoul(argv[2], nullptr, 10);
    const std::string kind = argv[1] + 8;
    size_t r = kind == "present" ? RunPresent(n) : kind == "missing" ? RunMissing(n)
             : kind == "gettext" ? RunGettext(n) : kind == "icu" ? RunIcu(n) : 0;
    std::printf("%zu\n", r);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.nanos["PavoRm LoadStringW present"];
  if (ours > 0) {
    std::printf("\nns per lookup: present %.1f, missing %.1f, gettext %.1f, ICU %.1f\n", ours,
                reporter.nanos["PavoRm LoadStringW missing"], reporter.nanos["gettext + UTF-16"],
                reporter.nanos["ICU ures_getStringByKey + copy"]);
    std::printf("gettext / PavoRm present = %.2f\nICU / PavoRm present = %.2f\n",
                reporter.nanos["gettext + UTF-16"] / ours, reporter.nanos["ICU ures_getStringByKey + copy"] / ours);
  }
  ures_close(g_bundle);
  FreeLibrary(g_module);
  return 0;
}
