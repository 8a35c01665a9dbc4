// Resource-string lookups from our resource DLLs against a plain PE reader
// (map the file, descend the resource directory, walk one block, no index,
// few checks), GNU gettext and ICU resource bundles holding the same
// strings (German). Ids are drawn at random (fixed seed), never in order.
//
//   modules_bench --list
//       the kinds of operation
//   modules_bench --time KIND[,KIND...] [SAMPLES]
//       the kinds interleaved in this process: per kind an untimed warm-up
//       of 2000 operations, then SAMPLES (default 15) rounds in which each
//       kind times 2000 operations in turn; prints the median ns per
//       operation (CPU time of this thread)
//   modules_bench --count KIND N
//       N operations of one kind inside MeasuredRun(), after a warm-up of
//       N outside it, for valgrind --tool=callgrind --toggle-collect='*MeasuredRun*'
//
// Kinds: steady lookups in a module loaded once (present, buffer, missing,
// plain, gettext, icu); load + first lookup + free (first2000, first16,
// plainfirst2000, plainfirst16); switch, which frees the module in use,
// loads the other language's and makes its first lookup (switch2000,
// switch16, plainswitch2000, plainswitch16).
#include <fcntl.h>
#include <libintl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unicode/ures.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/win/modules.h"
#include "platform/win/resources.h"
#include "platform/win/ui_language.h"
#include "string/PavoRmCString.h"

namespace {

constexpr UINT kFirst = 1000;
constexpr UINT kCount = 2000;
constexpr UINT kFirst16 = 1008;  // the 16-string modules hold one block
constexpr UINT kMissingFirst = 40000;  // blocks the module does not have
constexpr LANGID kGerman = 1031;
constexpr size_t kOps = 2000;  // operations per sample
constexpr size_t kIds = 1 << 16;

std::string g_dir = PAVORM_BENCH_DATA;
HMODULE g_module = nullptr;
UResourceBundle* g_bundle = nullptr;
std::vector<std::string> g_msgids;  // gettext keys (the English texts)
std::vector<std::string> g_keys;    // ICU keys
std::vector<UINT> g_ids2000, g_ids16, g_missing;  // random ids
std::u16string g_path[2][2];  // [16 strings, 2000][German, English]
std::string g_path8[2][2];
WCHAR g_buffer[256];

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

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

// ---- The plain PE reader: what a program that reads string tables itself
// would do, with the bounds checks that keep it from reading past the file.
struct PlainModule {
  const uint8_t* base = nullptr;
  size_t size = 0;
  const uint8_t* rsrc = nullptr;  // resource directory
  size_t rsrcSize = 0;
  uint32_t rsrcVa = 0;            // its section's virtual address and file offset
  uint32_t rsrcRaw = 0;
};

inline uint32_t Rd16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
inline uint32_t Rd32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool PlainOpen(const std::string& path, PlainModule* m) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  void* map = fstat(fd, &st) == 0 && st.st_size > 0x40
                  ? mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
                  : MAP_FAILED;
  close(fd);
  if (map == MAP_FAILED) return false;
  m->base = static_cast<const uint8_t*>(map);
  m->size = static_cast<size_t>(st.st_size);
  const uint32_t pe = Rd32(m->base + 0x3C);
  if (pe > m->size - 24 || std::memcmp(m->base + pe, "PE\0\0", 4) != 0) return false;
  const uint32_t sections = Rd16(m->base + pe + 6), optSize = Rd16(m->base + pe + 20);
  const size_t opt = pe + 24;
  if (optSize > m->size - opt || optSize < 2) return false;
  const bool is64 = Rd16(m->base + opt) == 0x20B;
  const size_t dir = opt + (is64 ? 112 : 96) + 2 * 8;
  if (dir + 8 > opt + optSize) return false;
  const uint32_t rva = Rd32(m->base + dir);
  const size_t table = opt + optSize;
  for (uint32_t i = 0; i < sections && table + 40 * (i + 1) <= m->size; ++i) {
    const uint8_t* s = m->base + table + 40 * i;
    const uint32_t va = Rd32(s + 12), raw = Rd32(s + 16), ptr = Rd32(s + 20);
    if (rva >= va && rva - va < raw && ptr <= m->size && raw <= m->size - ptr) {
      m->rsrc = m->base + ptr + (rva - va);
      m->rsrcSize = raw - (rva - va);
      m->rsrcVa = va;
      m->rsrcRaw = ptr;
      return true;
    }
  }
  return false;
}

void PlainClose(PlainModule* m) {
  if (m->base != nullptr) munmap(const_cast<uint8_t*>(m->base), m->size);
  *m = PlainModule();
}

// Entry of `id` in the directory at `off` (ids sorted: bisection); 0 if absent.
uint32_t PlainChild(const PlainModule& m, uint32_t off, uint32_t id) {
  if (off > m.rsrcSize - 16) return 0;
  const uint32_t named = Rd16(m.rsrc + off + 12), ids = Rd16(m.rsrc + off + 14);
  uint32_t lo = named, hi = named + ids;
  if (off + 16 + 8 * static_cast<size_t>(hi) > m.rsrcSize) return 0;
  while (lo < hi) {
    const uint32_t mid = (lo + hi) / 2;
    const uint32_t e = off + 16 + 8 * mid;
    const uint32_t v = Rd32(m.rsrc + e);
    if (v == id) return Rd32(m.rsrc + e + 4);
    if (v < id) lo = mid + 1; else hi = mid;
  }
  return 0;
}

// The string in the thread's language, else the first language of its block.
int PlainLoadString(const PlainModule& m, UINT id, WCHAR* out, int max) {
  uint32_t d = PlainChild(m, 0, 6);
  if ((d & 0x80000000u) == 0) return 0;
  d = PlainChild(m, d & 0x7FFFFFFFu, (id >> 4) + 1);
  if ((d & 0x80000000u) == 0) return 0;
  const uint32_t langs = d & 0x7FFFFFFFu;
  uint32_t entry = PlainChild(m, langs, kGerman);
  if (entry == 0 && langs <= m.rsrcSize - 24 && Rd16(m.rsrc + langs + 12) + Rd16(m.rsrc + langs + 14) > 0)
    entry = Rd32(m.rsrc + langs + 20);
  if (entry == 0 || (entry & 0x80000000u) != 0 || entry > m.rsrcSize - 16) return 0;
  const uint32_t rva = Rd32(m.rsrc + entry), size = Rd32(m.rsrc + entry + 4);
  const size_t off = static_cast<size_t>(rva) - m.rsrcVa + m.rsrcRaw;
  if (rva < m.rsrcVa || off > m.size || size > m.size - off) return 0;
  const uint8_t* p = m.base + off;
  const uint8_t* end = p + size;
  for (unsigned k = id & 15; k > 0 && end - p >= 2; --k) p += 2 + 2 * Rd16(p);
  if (end - p < 2) return 0;
  const int len = static_cast<int>(Rd16(p));
  if (len == 0 || (end - p - 2) / 2 < len) return 0;
  const int n = std::min(len, max - 1);
  std::memcpy(out, p + 2, static_cast<size_t>(n) * 2);
  out[n] = 0;
  return n;
}

PlainModule g_plain;  // German, 2000 strings, mapped once
PlainModule g_plainSwitched;
HMODULE g_switched = nullptr;

bool Setup() {
  SetThreadUILanguage(kGerman);
  const char* stems[2][2] = {{"bench16_de", "bench16_en"}, {"bench_de", "bench_en"}};
  for (int s = 0; s < 2; ++s) {
    for (int l = 0; l < 2; ++l) {
      g_path8[s][l] = g_dir + "/" + stems[s][l] + ".dll";
      g_path[s][l] = Wide(g_path8[s][l]);
    }
  }
  g_module = LoadLibraryExW(g_path[1][0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (g_module == nullptr || !PlainOpen(g_path8[1][0], &g_plain)) return false;
  // gettext: German catalog; the C.UTF-8 locale lets LANGUAGE choose it.
  setenv("LANGUAGE", "de", 1);
  std::setlocale(LC_ALL, "C.UTF-8");
  bindtextdomain("pavobench", g_dir.c_str());
  bind_textdomain_codeset("pavobench", "UTF-8");
  textdomain("pavobench");
  UErrorCode status = U_ZERO_ERROR;
  g_bundle = ures_open(g_dir.c_str(), "de", &status);
  if (U_FAILURE(status)) return false;

  // The gettext keys are the English texts: read them from the English DLL.
  HMODULE en = LoadLibraryExW(g_path[1][1].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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
  std::mt19937 rnd(5100);
  for (size_t i = 0; i < kIds; ++i) {
    g_ids2000.push_back(kFirst + static_cast<UINT>(rnd() % kCount));
    g_ids16.push_back(kFirst16 + static_cast<UINT>(rnd() % 16));
    g_missing.push_back(kMissingFirst + static_cast<UINT>(rnd() % kCount));
  }
  // Every reader must find every string in German, or the comparison
  // would be unfair.
  WCHAR a[256], b[256];
  for (UINT id = kFirst; id < kFirst + kCount; ++id) {
    const size_t i = id - kFirst;
    const int n = LoadStringW(g_module, id, a, 256);
    if (n == 0 || PlainLoadString(g_plain, id, b, 256) != n || std::memcmp(a, b, 2 * static_cast<size_t>(n)) != 0 ||
        std::strcmp(gettext(g_msgids[i].c_str()), g_msgids[i].c_str()) == 0) {
      std::fprintf(stderr, "string %u not found alike by every reader\n", id);
      return false;
    }
  }
  return true;
}

// ---- One operation of each kind on the i-th random id.
size_t OpPresent(size_t i) {
  static PavoRmCString s;
  s.LoadStringW(g_module, g_ids2000[i % kIds], 0);
  return static_cast<size_t>(s.GetLength());
}
size_t OpBuffer(size_t i) { return static_cast<size_t>(LoadStringW(g_module, g_ids2000[i % kIds], g_buffer, 256)); }
size_t OpMissing(size_t i) {
  // Counted as found-nothing: 1 per lookup that reports absence.
  return LoadStringW(g_module, g_missing[i % kIds], g_buffer, 256) == 0 ? 1 : 0;
}
size_t OpPlain(size_t i) { return static_cast<size_t>(PlainLoadString(g_plain, g_ids2000[i % kIds], g_buffer, 256)); }
size_t OpGettext(size_t i) {
  static std::u16string out;
  Utf8ToUtf16(gettext(g_msgids[g_ids2000[i % kIds] - kFirst].c_str()), out);
  return out.size();
}
size_t OpIcu(size_t i) {
  static std::u16string out;
  UErrorCode status = U_ZERO_ERROR;
  int32_t len = 0;
  const UChar* s = ures_getStringByKey(g_bundle, g_keys[g_ids2000[i % kIds] - kFirst].c_str(), &len, &status);
  if (U_FAILURE(status)) return 0;
  out.assign(s, static_cast<size_t>(len));
  return out.size();
}

template <int Size>
UINT IdFor(size_t i) { return Size == 16 ? g_ids16[i % kIds] : g_ids2000[i % kIds]; }

template <int Size>
size_t OpFirst(size_t i) {
  HMODULE h = LoadLibraryExW(g_path[Size == 16 ? 0 : 1][0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const int n = LoadStringW(h, IdFor<Size>(i), g_buffer, 256);
  FreeLibrary(h);
  return static_cast<size_t>(n);
}
template <int Size>
size_t OpPlainFirst(size_t i) {
  PlainModule m;
  const int n = PlainOpen(g_path8[Size == 16 ? 0 : 1][0], &m) ? PlainLoadString(m, IdFor<Size>(i), g_buffer, 256) : 0;
  PlainClose(&m);
  return static_cast<size_t>(n);
}
// German and English alternate; the English module's strings are found in
// English (the thread's German is absent there, so its first language).
template <int Size>
size_t OpSwitch(size_t i) {
  if (g_switched != nullptr) FreeLibrary(g_switched);
  g_switched = LoadLibraryExW(g_path[Size == 16 ? 0 : 1][i & 1].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return static_cast<size_t>(LoadStringW(g_switched, IdFor<Size>(i), g_buffer, 256));
}
template <int Size>
size_t OpPlainSwitch(size_t i) {
  PlainClose(&g_plainSwitched);
  if (!PlainOpen(g_path8[Size == 16 ? 0 : 1][i & 1], &g_plainSwitched)) return 0;
  return static_cast<size_t>(PlainLoadString(g_plainSwitched, IdFor<Size>(i), g_buffer, 256));
}

struct Kind {
  const char* name;
  size_t (*op)(size_t);
};
const Kind kKinds[] = {
    {"present", OpPresent},        {"buffer", OpBuffer},
    {"missing", OpMissing},        {"plain", OpPlain},
    {"gettext", OpGettext},        {"icu", OpIcu},
    {"first2000", OpFirst<2000>},  {"first16", OpFirst<16>},
    {"plainfirst2000", OpPlainFirst<2000>}, {"plainfirst16", OpPlainFirst<16>},
    {"switch2000", OpSwitch<2000>}, {"switch16", OpSwitch<16>},
    {"plainswitch2000", OpPlainSwitch<2000>}, {"plainswitch16", OpPlainSwitch<16>},
};

const Kind* FindKind(const std::string& name) {
  for (const Kind& k : kKinds) {
    if (name == k.name) return &k;
  }
  return nullptr;
}

// callgrind counts this call alone; the ids continue from `start`.
__attribute__((noinline)) size_t MeasuredRun(size_t (*op)(size_t), size_t start, size_t n) {
  size_t sum = 0;
  for (size_t i = start; i < start + n; ++i) sum += op(i);
  return sum;
}

double ThreadCpuNanos() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Warm-up of the same operations as the samples, outside MeasuredRun.
size_t WarmUp(size_t (*op)(size_t), size_t start, size_t n) {
  size_t sum = 0;
  for (size_t i = start; i < start + n; ++i) sum += op(i);
  return sum;
}

int Time(const std::vector<const Kind*>& kinds, int samples) {
  std::vector<std::vector<double>> ns(kinds.size());
  size_t next = 0;
  for (const Kind* k : kinds) {
    if (WarmUp(k->op, next, kOps) == 0) {
      std::fprintf(stderr, "%s found nothing\n", k->name);
      return 4;
    }
    next += kOps;
  }
  for (int s = 0; s < samples; ++s) {
    for (size_t k = 0; k < kinds.size(); ++k) {
      const double t0 = ThreadCpuNanos();
      MeasuredRun(kinds[k]->op, next, kOps);
      ns[k].push_back((ThreadCpuNanos() - t0) / kOps);
      next += kOps;
    }
  }
  for (size_t k = 0; k < kinds.size(); ++k) {
    std::sort(ns[k].begin(), ns[k].end());
    std::printf("kind=%s samples=%d ops=%zu median_ns=%.2f min_ns=%.2f\n", kinds[k]->name, samples, kOps,
                ns[k][ns[k].size() / 2], ns[k].front());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--list") {
    for (const Kind& k : kKinds) std::printf("%s\n", k.name);
    return 0;
  }
  const bool time = (args.size() == 2 || args.size() == 3) && args[0] == "--time";
  const bool count = args.size() == 3 && args[0] == "--count";
  if (!time && !count) {
    std::fprintf(stderr, "usage: modules_bench --list | --time KIND[,KIND...] [SAMPLES] | --count KIND N\n");
    return 1;
  }
  std::vector<const Kind*> kinds;
  for (size_t pos = 0; pos <= args[1].size();) {
    size_t comma = args[1].find(',', pos);
    if (comma == std::string::npos) comma = args[1].size();
    const Kind* k = FindKind(args[1].substr(pos, comma - pos));
    if (k == nullptr) {
      std::fprintf(stderr, "unknown kind in %s (--list)\n", args[1].c_str());
      return 1;
    }
    kinds.push_back(k);
    pos = comma + 1;
  }
  if (!Setup()) {
    std::fprintf(stderr, "benchmark data missing or unreadable in %s\n", g_dir.c_str());
    return 2;
  }
  int rc = 0;
  if (time) {
    rc = Time(kinds, args.size() == 3 ? std::max(1, std::atoi(args[2].c_str())) : 15);
  } else {
    const size_t n = std::strtoul(args[2].c_str(), nullptr, 10);
    if (WarmUp(kinds[0]->op, 0, n) == 0) return 4;
    std::printf("%zu\n", MeasuredRun(kinds[0]->op, n, n));
  }
  if (g_switched != nullptr) FreeLibrary(g_switched);
  PlainClose(&g_plainSwitched);
  PlainClose(&g_plain);
  ures_close(g_bundle);
  FreeLibrary(g_module);
  return rc;
}
