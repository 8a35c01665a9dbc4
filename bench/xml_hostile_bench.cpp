// Hostile XML inputs at n and 10n: what reading them costs, to show the
// cost grows linearly with the input (or, for an expansion attack, stays
// bounded by the expansion budget however large the attack). Counters:
// input bytes and the library's heap allocations per parse.
#include "ezxml.h"
#include "ezxml_fault.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// One ATTLIST with n CDATA defaults on one element, and one such element.
std::string ManyDefaults(int n) {
  std::string doc = "<!DOCTYPE r [<!ATTLIST e";
  for (int i = 0; i < n; ++i) doc += " a" + std::to_string(i) + " CDATA 'v'";
  return doc + ">]><r><e/></r>";
}

// n ATTLIST declarations of one default each, spread over n/10 elements.
std::string ManyDeclarations(int n) {
  std::string doc = "<!DOCTYPE r [";
  for (int i = 0; i < n; ++i) doc += "<!ATTLIST e" + std::to_string(i % (n / 10)) + " a" + std::to_string(i) + " CDATA 'v'>";
  return doc + "]><r><e0/></r>";
}

// levels entities, each referring 10 times to the one before ("lol" at the bottom).
std::string Laughs(int levels) {
  std::string doc = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i < levels; ++i) {
    doc += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) doc += "&l" + std::to_string(i - 1) + ";";
    doc += "'>";
  }
  return doc + "]><r>&l" + std::to_string(levels - 1) + ";</r>";
}

void Parse(benchmark::State& state, const std::string& text) {
  std::vector<char> buf;
  long allocations = 0;
  for (int warm = 0; warm < 2; ++warm) {
    buf.assign(text.begin(), text.end());
    ezxml_free(ezxml_parse_str(buf.data(), buf.size()));
  }
  for (auto _ : state) {
    state.PauseTiming();
    buf.assign(text.begin(), text.end());
    ezxml_fail_allocation(0);
    state.ResumeTiming();
    ezxml_node* root = ezxml_parse_str(buf.data(), buf.size());
    benchmark::DoNotOptimize(root);
    state.PauseTiming();
    allocations = ezxml_allocation_count();
    ezxml_free(root);
    state.ResumeTiming();
  }
  state.counters["input_bytes"] = static_cast<double>(text.size());
  state.counters["allocations"] = static_cast<double>(allocations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_DtdDefaultsOnOneElement(benchmark::State& state) { Parse(state, ManyDefaults(static_cast<int>(state.range(0)))); }
void BM_DtdDeclarationsOverElements(benchmark::State& state) {
  Parse(state, ManyDeclarations(static_cast<int>(state.range(0))));
}
void BM_ExpansionAttack(benchmark::State& state) { Parse(state, Laughs(static_cast<int>(state.range(0)))); }

}  // namespace

BENCHMARK(BM_DtdDefaultsOnOneElement)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DtdDeclarationsOverElements)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// 10^8 and 10^9 times "lol": both stop at the same budget.
BENCHMARK(BM_ExpansionAttack)->Arg(9)->Arg(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
