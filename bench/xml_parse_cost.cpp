// Parse + release cost of ezxml against pugixml and RapidXML, one file at a
// time, for callgrind instruction counts, interleaved timing and peak memory.
//
//   xml_parse_cost cg   LIB FILE     one parse + free inside measured() (the
//                                    reference document: 1000 parse + lookup + free)
//   xml_parse_cost time FILE [N]     N interleaved rounds of every parser after
//                                    a warm-up round; median ns per byte and ratios
//   xml_parse_cost rss  LIB FILE     one parse; peak resident memory in MiB
//
// LIB: ezxml, pugixml or rapidxml. FILE "reference" is the 121-byte file
// reference document. Every run gets a fresh copy of the input, made
// outside the measured part.
#include "ezxml.h"

#include <pugixml.hpp>
#include <rapidxml.hpp>
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kReference[] =
    "<storage version=\"1.00\"><image><component><data><file path=\"a.tif\" frame=\"0\">"
    "</file></data></component></image></storage>";

size_t EzxmlParse(char* buf, size_t len) {
  ezxml_node* root = ezxml_parse_str(buf, len);
  size_t r = root && root->name && !reinterpret_cast<ezxml_root*>(root)->current ? 1 : 0;
  ezxml_free(root);
  return r;
}
size_t EzxmlLookup(char* buf, size_t len) {
  ezxml_node* root = ezxml_parse_str(buf, len);
  const char* path = ezxml_attr(ezxml_get(root, "image", 0, "component", 0, "data", 0, "file", -1), "path");
  size_t r = path ? std::strlen(path) : 0;
  ezxml_free(root);
  return r;
}
size_t PugiParse(char* buf, size_t len) {
  pugi::xml_document doc;
  return doc.load_buffer_inplace(buf, len) ? 1 : 0;
}
size_t PugiLookup(char* buf, size_t len) {
  pugi::xml_document doc;
  doc.load_buffer_inplace(buf, len);
  return std::strlen(doc.child("storage").child("image").child("component").child("data").child("file")
                         .attribute("path").value());
}
size_t RapidParse(char* buf, size_t) {
  rapidxml::xml_document<> doc;
  try {
    doc.parse<0>(buf);
  } catch (const rapidxml::parse_error&) {
    return 0;
  }
  return doc.first_node() ? 1 : 0;
}
size_t RapidLookup(char* buf, size_t) {
  rapidxml::xml_document<> doc;
  try {
    doc.parse<0>(buf);
  } catch (const rapidxml::parse_error&) {
    return 0;
  }
  rapidxml::xml_node<>* n = doc.first_node("storage");
  for (const char* step : {"image", "component", "data", "file"})
    if (n) n = n->first_node(step);
  rapidxml::xml_attribute<>* a = n ? n->first_attribute("path") : nullptr;
  return a ? a->value_size() : 0;
}

struct Lib {
  const char* name;
  size_t (*parse)(char*, size_t);
  size_t (*lookup)(char*, size_t);
};
const Lib kLibs[] = {{"ezxml", EzxmlParse, EzxmlLookup},
                     {"pugixml", PugiParse, PugiLookup},
                     {"rapidxml", RapidParse, RapidLookup}};

const Lib* Find(const char* name) {
  for (const Lib& l : kLibs)
    if (std::strcmp(l.name, name) == 0) return &l;
  return nullptr;
}

std::string Read(const char* path) {
  if (std::strcmp(path, "reference") == 0) return kReference;
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The copy a run destroys: the bytes and a NUL (RapidXML needs it).
void Fill(std::vector<char>& buf, const std::string& in) {
  buf.assign(in.begin(), in.end());
  buf.push_back('\0');
}

__attribute__((noinline)) size_t measured(size_t (*op)(char*, size_t), std::vector<std::vector<char>>& bufs,
                                          size_t len) {
  size_t r = 0;
  for (auto& b : bufs) r += op(b.data(), len);
  return r;
}

double Seconds(size_t (*op)(char*, size_t), const std::string& in, std::vector<char>& buf) {
  Fill(buf, in);
  // CPU time of this process (user and system: page faults count), which
  // other programs on a loaded machine disturb less than the clock.
  timespec t0, t1;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
  size_t r = op(buf.data(), in.size());
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
  if (!r) std::fprintf(stderr, "parse failed\n");
  return (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "cg") == 0) {
    const Lib* lib = Find(argv[2]);
    if (!lib) return 2;
    std::string in = Read(argv[3]);
    bool ref = std::strcmp(argv[3], "reference") == 0;
    std::vector<std::vector<char>> bufs(ref ? 1000 : 1);
    for (auto& b : bufs) Fill(b, in);
    std::printf("%zu\n", measured(ref ? lib->lookup : lib->parse, bufs, in.size()));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "rss") == 0) {
    const Lib* lib = Find(argv[2]);
    if (!lib) return 2;
    std::string in = Read(argv[3]);
    std::vector<char> buf;
    Fill(buf, in);
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    size_t r = lib->parse(buf.data(), in.size());
    getrusage(RUSAGE_SELF, &after);
    std::printf("%s %s peak %.0f MiB (before parse %.0f MiB) ok=%zu\n", lib->name, argv[3], after.ru_maxrss / 1024.0,
                before.ru_maxrss / 1024.0, r);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "time") == 0) {
    std::string in = Read(argv[2]);
    int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    std::vector<char> buf;
    std::vector<double> t[3];
    for (int round = -1; round < rounds; ++round)
      for (int i = 0; i < 3; ++i) {
        double s = Seconds(kLibs[i].parse, in, buf);
        if (round >= 0) t[i].push_back(s);
      }
    double med[3];
    for (int i = 0; i < 3; ++i) {
      std::sort(t[i].begin(), t[i].end());
      med[i] = t[i][t[i].size() / 2];
    }
    double load[3] = {0, 0, 0};
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
      if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
      std::fclose(f);
    }
    std::printf("%-12s ns/B ezxml %.2f pugixml %.2f rapidxml %.2f | time ezxml/pugixml %.2f ezxml/rapidxml %.2f (load %.2f)\n",
                argv[2], med[0] * 1e9 / in.size(), med[1] * 1e9 / in.size(), med[2] * 1e9 / in.size(),
                med[0] / med[1], med[0] / med[2], load[0]);
    return 0;
  }
  std::fprintf(stderr, "usage: xml_parse_cost cg|rss LIB FILE | time FILE [N]\n");
  return 2;
}
