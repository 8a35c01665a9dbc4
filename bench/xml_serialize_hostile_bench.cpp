// Serializing documents built to make start tags expensive, at n and 10n:
// one element with n attributes whose names share their first bytes, and
// elements that each receive n attribute defaults from the DTD. Time and
// peak heap of ezxml_toxml grow linearly with n (and with the output); a
// comparison of each name with every earlier one made them grow as n * n.
//
// The peak is the C heap's high-water mark during the call, above what was
// in use before it, counted by the malloc family below.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ezxml.h"

// glibc's own allocator, which the replacements below forward to.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};

void Note(long long delta) {
  const long long now = g_inUse += delta;
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
  void* p = __libc_malloc(size);
  if (p != nullptr) Note(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
void* calloc(size_t count, size_t size) {
  void* p = __libc_calloc(count, size);
  if (p != nullptr) Note(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
void* realloc(void* block, size_t size) {
  const long long before = block != nullptr ? static_cast<long long>(malloc_usable_size(block)) : 0;
  void* p = __libc_realloc(block, size);
  if (p != nullptr) Note(static_cast<long long>(malloc_usable_size(p)) - before);
  else if (size == 0) Note(-before);
  return p;
}
void free(void* block) {
  if (block == nullptr) return;
  Note(-static_cast<long long>(malloc_usable_size(block)));
  __libc_free(block);
}
}

namespace {

// A parsed document and the buffer it points into.
struct Doc {
  std::vector<char> text;
  ezxml_node* root;
  explicit Doc(const std::string& xml) : text(xml.begin(), xml.end()) {
    text.push_back('\0');
    root = ezxml_parse_str(text.data(), xml.size());
  }
  ~Doc() { ezxml_free(root); }
};

// <e a0="v" ... a{n-1}="v"/>, long names with one first byte.
std::string ManyAttributes(int n) {
  std::string xml = "<e";
  for (int i = 0; i < n; ++i) xml += " attribute" + std::to_string(i) + "='v'";
  return xml + "/>";
}

// n CDATA defaults declared for e, and 100 <e/> elements.
std::string ManyDefaults(int n) {
  std::string xml = "<!DOCTYPE r [<!ATTLIST e";
  for (int i = 0; i < n; ++i) xml += " default" + std::to_string(i) + " CDATA 'v'";
  xml += ">]><r>";
  for (int i = 0; i < 100; ++i) xml += "<e/>";
  return xml + "</r>";
}

void Serialize(benchmark::State& state, const std::string& xml) {
  const Doc doc(xml);
  if (doc.root == nullptr) {
    state.SkipWithError("parse failed");
    return;
  }
  size_t out = 0;
  long long peak = 0;
  for (auto _ : state) {
    const long long base = g_inUse.load();
    g_peak = base;
    char* text = ezxml_toxml(doc.root);
    peak = g_peak.load() - base;
    out = text != nullptr ? std::strlen(text) : 0;
    std::free(text);
  }
  if (out == 0) state.SkipWithError("serialization failed");
  state.counters["output_bytes"] = static_cast<double>(out);
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out));
}

void BM_ToxmlManyAttributes(benchmark::State& state) {
  Serialize(state, ManyAttributes(static_cast<int>(state.range(0))));
}
void BM_ToxmlManyDefaults(benchmark::State& state) {
  Serialize(state, ManyDefaults(static_cast<int>(state.range(0))));
}

}  // namespace

BENCHMARK(BM_ToxmlManyAttributes)->Arg(16384)->Arg(163840)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToxmlManyDefaults)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
