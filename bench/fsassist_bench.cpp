// cvtToFS of a path and getFileReference of it back, per call pair.
#include <benchmark/benchmark.h>

#include "PavoRm51.h"

namespace {

void RoundTrip(benchmark::State& state, const WCHAR* path) {
  for (auto _ : state) {
    const Gral::FileSpecifier reference = FSAssist::cvtToFS(path, 3);
    Gral::FileSpecifier file;
    int frame = 0;
    const bool found = FSAssist::getFileReference(reference, 0, file, frame);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(file.text().data());
  }
}

void BM_CvtToFSAndBack_Ascii(benchmark::State& state) {
  RoundTrip(state, u"C:\\Images\\Holiday 2026\\IMG_0042.tif");
}
void BM_CvtToFSAndBack_Japanese(benchmark::State& state) {
  RoundTrip(state, u"D:\\画像\\夏休み\\写真_0042.tif");
}

void BM_AppendFileToTenComponents(benchmark::State& state) {
  Gral::FileSpecifier base = FSAssist::cvtToFS(u"a.tif", 0);
  for (int i = 1; i < 10; ++i) FSAssist::appendFile(base, u"b.tif", i);
  for (auto _ : state) {
    Gral::FileSpecifier storage = base;
    FSAssist::appendFile(storage, u"c.tif", 10);
    benchmark::DoNotOptimize(storage.text().data());
  }
}

}  // namespace

BENCHMARK(BM_CvtToFSAndBack_Ascii);
BENCHMARK(BM_CvtToFSAndBack_Japanese);
BENCHMARK(BM_AppendFileToTenComponents);
BENCHMARK_MAIN();
