// Editing helpers of PavoRmCString against a straightforward single pass over
// std::u16string doing the same edit, on a 1 MiB text with 100 000
// occurrences; and the cost of one classification call. Prints the ratios
// (ours / single pass, CPU time: the machine may be shared) after the runs;
// medians when run with repetitions. Both sides start from a copy of the input.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "string/PavoRmCString.h"

namespace {

constexpr size_t kUnits = 512 * 1024;  // 1 MiB of UTF-16
constexpr size_t kOccurrences = 100000;

// Filler text with `mark` placed kOccurrences times, evenly spread.
std::u16string MakeText(const std::u16string& mark) {
  const std::u16string filler = u"lorem ipsum dolor sit amet consectetur ";
  std::u16string text;
  text.reserve(kUnits);
  const size_t gap = kUnits / kOccurrences - mark.size();
  size_t f = 0;
  for (size_t i = 0; i < kOccurrences; ++i) {
    for (size_t k = 0; k < gap; ++k) text.push_back(filler[f++ % filler.size()]);
    text += mark;
  }
  while (text.size() < kUnits) text.push_back(u'.');
  return text;
}

const std::u16string& CharText() {
  static const std::u16string text = MakeText(u"#");
  return text;
}
const std::u16string& TabText() {
  static const std::u16string text = MakeText(u"\t");
  return text;
}
const std::u16string& WordText() {
  static const std::u16string text = MakeText(u"<x>");
  return text;
}

void BM_RemoveChar(benchmark::State& state) {
  const PavoRmCString input(CharText().c_str());
  for (auto _ : state) {
    PavoRmCString s(input);
    benchmark::DoNotOptimize(s.Remove(u'#', -1));
  }
}
void BM_RemoveChar_SinglePass(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string s = CharText();  // the edit is made on a string of its own, as ours
    size_t w = 0;
    for (char16_t c : s)
      if (c != u'#') s[w++] = c;
    s.resize(w);
    benchmark::DoNotOptimize(s.data());
  }
}

void BM_ReplaceChar(benchmark::State& state) {
  const PavoRmCString input(CharText().c_str());
  for (auto _ : state) {
    PavoRmCString s(input);
    benchmark::DoNotOptimize(s.Replace(u'#', u'+', -1));
  }
}
void BM_ReplaceChar_SinglePass(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string s = CharText();
    for (char16_t& c : s)
      if (c == u'#') c = u'+';
    benchmark::DoNotOptimize(s.data());
  }
}

void BM_ReplaceText(benchmark::State& state) {
  const PavoRmCString input(WordText().c_str());
  for (auto _ : state) {
    PavoRmCString s(input);
    benchmark::DoNotOptimize(s.Replace(u"<x>", u"[yy]", -1));
  }
}
void BM_ReplaceText_SinglePass(benchmark::State& state) {
  const std::u16string from = u"<x>", to = u"[yy]";
  for (auto _ : state) {
    std::u16string in = WordText();
    std::u16string out;
    out.reserve(in.size() + in.size() / 8);
    size_t pos = 0;
    for (size_t q; (q = in.find(from, pos)) != std::u16string::npos; pos = q + from.size()) {
      out.append(in, pos, q - pos);
      out += to;
    }
    out.append(in, pos, std::u16string::npos);
    in = std::move(out);
    benchmark::DoNotOptimize(in.data());
  }
}

void BM_ExpandTab(benchmark::State& state) {
  const PavoRmCString input(TabText().c_str());
  for (auto _ : state) {
    PavoRmCString s(input);
    benchmark::DoNotOptimize(s.ExpandTab(4));
  }
}
void BM_ExpandTab_SinglePass(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string in = TabText();
    std::u16string out;
    out.reserve(in.size() + 3 * kOccurrences);
    for (char16_t c : in) {
      if (c == u'\t') out.append(4, u' ');
      else out.push_back(c);
    }
    in = std::move(out);
    benchmark::DoNotOptimize(in.data());
  }
}

// One classification call per position of a mixed-script text.
void BM_bIsAlpha(benchmark::State& state) {
  std::u16string units;
  for (int i = 0; i < 4096; ++i) units.push_back(static_cast<char16_t>(u"aZ7 !\u00e9\u0436\u4e00\u05d0\t"[i % 10]));
  const PavoRmCString s(units.c_str());
  const int n = s.GetLength();
  for (auto _ : state) {
    int hits = 0;
    for (int p = 0; p < n; ++p) hits += s.bIsAlpha(p) != 0;
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["ns_per_call"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_RemoveChar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoveChar_SinglePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceChar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceChar_SinglePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceText_SinglePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandTab)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandTab_SinglePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_bIsAlpha);

// Keeps each benchmark's time (its median when repetitions are asked for).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool plain = run.run_type == Run::RT_Iteration;
      if (!plain && run.aggregate_name != "median") continue;
      if (plain && m_sawMedian.count(run.run_name.function_name) != 0) continue;
      if (!plain) m_sawMedian[run.run_name.function_name] = true;
      m_times[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\n%-16s %14s %14s %8s\n", "operation", "ours (us)", "1-pass (us)", "ratio");
    for (const char* name : {"RemoveChar", "ReplaceChar", "ReplaceText", "ExpandTab"}) {
      const auto ours = m_times.find(std::string("BM_") + name);
      const auto peer = m_times.find(std::string("BM_") + name + "_SinglePass");
      if (ours == m_times.end() || peer == m_times.end() || peer->second <= 0) continue;
      std::printf("%-16s %14.1f %14.1f %8.2f\n", name, ours->second, peer->second, ours->second / peer->second);
    }
  }

 private:
  std::map<std::string, double> m_times;
  std::map<std::string, bool> m_sawMedian;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
