// cvtToFS of a path and getFileReference of it back, per call pair, and
// appendFile to a document of ten components.
//
//   fsassist_bench --callgrind ROW ROUNDS
//
// runs one row's operation ROUNDS times inside measured_rounds(), so that
// callgrind (--toggle-collect='*measured_rounds*') counts the instructions of
// the operation alone; divide by ROUNDS. ROW: ascii, japanese, append.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PavoRm51.h"

namespace {

const WCHAR kAsciiPath[] = WTEXT("C:\\Images\\Holiday 2026\\IMG_0042.tif");
const WCHAR kJapanesePath[] = WTEXT("D:\\画像\\夏休み\\写真_0042.tif");

// One round trip; the result depends on all the work.
size_t RoundTripOnce(const WCHAR* path) {
  const Gral::FileSpecifier reference = FSAssist::cvtToFS(path, 3);
  Gral::FileSpecifier file;
  int frame = 0;
  const bool found = FSAssist::getFileReference(reference, 0, file, frame);
  return static_cast<size_t>(found) + static_cast<size_t>(file.text().size());
}

Gral::FileSpecifier TenComponents() {
  Gral::FileSpecifier base = FSAssist::cvtToFS(WTEXT("a.tif"), 0);
  for (int i = 1; i < 10; ++i) FSAssist::appendFile(base, WTEXT("b.tif"), i);
  return base;
}

size_t AppendOnce(const Gral::FileSpecifier& base) {
  Gral::FileSpecifier storage = base;
  FSAssist::appendFile(storage, WTEXT("c.tif"), 10);
  return static_cast<size_t>(storage.text().size());
}

void RoundTrip(benchmark::State& state, const WCHAR* path) {
  for (auto _ : state) benchmark::DoNotOptimize(RoundTripOnce(path));
}

void BM_CvtToFSAndBack_Ascii(benchmark::State& state) { RoundTrip(state, kAsciiPath); }
void BM_CvtToFSAndBack_Japanese(benchmark::State& state) { RoundTrip(state, kJapanesePath); }

void BM_AppendFileToTenComponents(benchmark::State& state) {
  const Gral::FileSpecifier base = TenComponents();
  for (auto _ : state) benchmark::DoNotOptimize(AppendOnce(base));
}

__attribute__((noinline)) size_t measured_rounds(const char* row, long rounds, const Gral::FileSpecifier& base) {
  size_t r = 0;
  for (long i = 0; i < rounds; ++i) {
    if (std::strcmp(row, "append") == 0)
      r += AppendOnce(base);
    else
      r += RoundTripOnce(std::strcmp(row, "japanese") == 0 ? kJapanesePath : kAsciiPath);
  }
  return r;
}

}  // namespace

BENCHMARK(BM_CvtToFSAndBack_Ascii);
BENCHMARK(BM_CvtToFSAndBack_Japanese);
BENCHMARK(BM_AppendFileToTenComponents);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--callgrind") == 0) {
    const long rounds = std::strtol(argv[3], nullptr, 10);
    if (rounds <= 0) return 2;
    const Gral::FileSpecifier base = TenComponents();
    std::printf("%zu\n", measured_rounds(argv[2], rounds, base));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
