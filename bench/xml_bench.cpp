// Parse and serialize speed of the ezxml library against the XML parsers a
// host would otherwise pick, all in one process on the same bytes.
//
//   xml_bench [benchmark flags] [FILE|DIR ...]
//
// Without paths it reads ./xml_corpus (written by gen_xml_corpus.py) and a few
// large XML files that Debian packages install. After the Google Benchmark
// output it prints, per file, the median MB/s of each library and its ratio
// to pugixml (above 1: faster than pugixml).
//
//   xml_bench --callgrind LIB OP FILE
//
// runs one operation once inside measured_operation(), for
// callgrind_xml.sh, which counts the instructions of that function alone.

#include "ezxml.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef PAVORM_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef PAVORM_HAVE_RAPIDXML
#include <rapidxml.hpp>
#include <rapidxml_print.hpp>
#endif
#ifdef PAVORM_HAVE_TINYXML2
#include <tinyxml2.h>
#endif
#ifdef PAVORM_HAVE_EXPAT
#include <expat.h>
#endif
#ifdef PAVORM_HAVE_LIBXML_2_0
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace {

// The reference document of a file specifier with one file component.
const char kReferenceDocument[] =
    "<storage version=\"1.00\"><image><component><data><file path=\"a.tif\" frame=\"0\">"
    "</file></data></component></image></storage>";

struct Input {
  std::string name;
  std::string bytes;
};

// One library's operations on a buffer of len bytes (plus a NUL behind them).
// parse: parse and release the tree. lookup: parse, find
// storage/image/component/data/file, read its path, release. serialize:
// prepare a tree once and give a function that writes it to a string. Each
// returns a value that depends on the work so the optimiser cannot drop it.
// In-place parsers (ezxml, pugixml's load_buffer_inplace, RapidXML) destroy
// their buffer, so each of their timed runs starts with a fresh copy, which
// they all pay alike; the others only read the buffer.
struct Peer {
  const char* name;
  bool in_place;
  size_t (*parse)(char* buf, size_t len);
  size_t (*lookup)(char* buf, size_t len);
  std::function<size_t()> (*prepare_serialize)(const Input& in);
};

size_t EzxmlParse(char* buf, size_t len) {
  ezxml_node* root = ezxml_parse_str(buf, len);
  // Parsed to the end: the root element was closed.
  size_t r = root && root->name && !reinterpret_cast<ezxml_root*>(root)->current ? 1 : 0;
  ezxml_free(root);
  return r;
}

size_t EzxmlLookup(char* buf, size_t len) {
  ezxml_node* root = ezxml_parse_str(buf, len);
  ezxml_node* file = ezxml_get(root, "image", 0, "component", 0, "data", 0, "file", -1);
  const char* path = ezxml_attr(file, "path");
  size_t r = path ? std::strlen(path) : 0;
  ezxml_free(root);
  return r;
}

std::function<size_t()> EzxmlSerialize(const Input& in) {
  auto buf = std::make_shared<std::vector<char>>(in.bytes.begin(), in.bytes.end());
  buf->push_back('\0');
  std::shared_ptr<ezxml_node> root(ezxml_parse_str(buf->data(), in.bytes.size()), ezxml_free);
  return [buf, root]() {
    char* text = ezxml_toxml(root.get());
    size_t n = std::strlen(text);
    std::free(text);
    return n;
  };
}

#ifdef PAVORM_HAVE_PUGIXML
struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

size_t PugiParse(char* buf, size_t len) {
  pugi::xml_document doc;
  return doc.load_buffer_inplace(buf, len) ? 1 : 0;
}

size_t PugiLookup(char* buf, size_t len) {
  pugi::xml_document doc;
  doc.load_buffer_inplace(buf, len);
  const char* path = doc.child("storage").child("image").child("component").child("data")
                         .child("file").attribute("path").value();
  return std::strlen(path);
}

std::function<size_t()> PugiSerialize(const Input& in) {
  auto doc = std::make_shared<pugi::xml_document>();
  doc->load_buffer(in.bytes.data(), in.bytes.size());
  return [doc]() {
    StringWriter w;
    doc->save(w, "", pugi::format_raw | pugi::format_no_declaration);
    return w.out.size();
  };
}
#endif

#ifdef PAVORM_HAVE_RAPIDXML
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
  for (const char* step : {"image", "component", "data", "file"}) {
    if (n) n = n->first_node(step);
  }
  rapidxml::xml_attribute<>* a = n ? n->first_attribute("path") : nullptr;
  return a ? a->value_size() : 0;
}

std::function<size_t()> RapidSerialize(const Input& in) {
  struct Held {
    std::vector<char> buf;
    rapidxml::xml_document<> doc;
  };
  auto held = std::make_shared<Held>();
  held->buf.assign(in.bytes.begin(), in.bytes.end());
  held->buf.push_back('\0');
  try {
    held->doc.parse<0>(held->buf.data());
  } catch (const rapidxml::parse_error&) {
    return nullptr;
  }
  return [held]() {
    std::string out;
    rapidxml::print(std::back_inserter(out), held->doc, rapidxml::print_no_indenting);
    return out.size();
  };
}
#endif

#ifdef PAVORM_HAVE_TINYXML2
size_t TinyParse(char* buf, size_t len) {
  tinyxml2::XMLDocument doc;
  return doc.Parse(buf, len) == tinyxml2::XML_SUCCESS ? 1 : 0;
}

size_t TinyLookup(char* buf, size_t len) {
  tinyxml2::XMLDocument doc;
  doc.Parse(buf, len);
  tinyxml2::XMLElement* e = doc.FirstChildElement("storage");
  for (const char* step : {"image", "component", "data", "file"}) {
    if (e) e = e->FirstChildElement(step);
  }
  const char* path = e ? e->Attribute("path") : nullptr;
  return path ? std::strlen(path) : 0;
}

std::function<size_t()> TinySerialize(const Input& in) {
  auto doc = std::make_shared<tinyxml2::XMLDocument>();
  if (doc->Parse(in.bytes.data(), in.bytes.size()) != tinyxml2::XML_SUCCESS) return nullptr;
  return [doc]() {
    tinyxml2::XMLPrinter printer(nullptr, true);
    doc->Print(&printer);
    return static_cast<size_t>(printer.CStrSize());
  };
}
#endif

#ifdef PAVORM_HAVE_EXPAT
// Expat builds no tree; its handlers count what a tree builder would store.
struct ExpatCount {
  size_t events = 0;
  size_t path = 0;
  bool ok = false;
};

void XMLCALL ExpatStart(void* user, const XML_Char* name, const XML_Char** attrs) {
  auto* c = static_cast<ExpatCount*>(user);
  ++c->events;
  if (std::strcmp(name, "file") != 0) return;
  for (int i = 0; attrs[i]; i += 2) {
    if (std::strcmp(attrs[i], "path") == 0) c->path = std::strlen(attrs[i + 1]);
  }
}
void XMLCALL ExpatEnd(void* user, const XML_Char*) { ++static_cast<ExpatCount*>(user)->events; }
void XMLCALL ExpatText(void* user, const XML_Char*, int len) {
  static_cast<ExpatCount*>(user)->events += static_cast<size_t>(len);
}

ExpatCount ExpatRun(const char* buf, size_t len) {
  ExpatCount c;
  XML_Parser p = XML_ParserCreate(nullptr);
  XML_SetUserData(p, &c);
  XML_SetElementHandler(p, ExpatStart, ExpatEnd);
  XML_SetCharacterDataHandler(p, ExpatText);
  c.ok = XML_Parse(p, buf, static_cast<int>(len), 1) == XML_STATUS_OK;
  XML_ParserFree(p);
  return c;
}

size_t ExpatParse(char* buf, size_t len) {
  ExpatCount c = ExpatRun(buf, len);
  return c.ok ? c.events + 1 : 0;
}
size_t ExpatLookup(char* buf, size_t len) { return ExpatRun(buf, len).path; }
#endif

#ifdef PAVORM_HAVE_LIBXML_2_0
const int kXml2Options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

size_t Xml2Parse(char* buf, size_t len) {
  xmlDocPtr doc = xmlReadMemory(buf, static_cast<int>(len), nullptr,
                                nullptr, kXml2Options);
  size_t r = doc ? 1 : 0;
  xmlFreeDoc(doc);
  return r;
}

xmlNodePtr Xml2Child(xmlNodePtr n, const char* name) {
  for (xmlNodePtr c = n ? n->children : nullptr; c; c = c->next) {
    if (c->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(c->name), name) == 0)
      return c;
  }
  return nullptr;
}

size_t Xml2Lookup(char* buf, size_t len) {
  xmlDocPtr doc = xmlReadMemory(buf, static_cast<int>(len), nullptr,
                                nullptr, kXml2Options);
  xmlNodePtr n = doc ? xmlDocGetRootElement(doc) : nullptr;
  for (const char* step : {"image", "component", "data", "file"}) n = Xml2Child(n, step);
  size_t r = 0;
  if (xmlChar* path = n ? xmlGetProp(n, reinterpret_cast<const xmlChar*>("path")) : nullptr) {
    r = std::strlen(reinterpret_cast<const char*>(path));
    xmlFree(path);
  }
  xmlFreeDoc(doc);
  return r;
}

std::function<size_t()> Xml2Serialize(const Input& in) {
  xmlDocPtr raw = xmlReadMemory(in.bytes.data(), static_cast<int>(in.bytes.size()), nullptr,
                                nullptr, kXml2Options);
  if (!raw) return nullptr;
  std::shared_ptr<xmlDoc> doc(raw, xmlFreeDoc);
  return [doc]() {
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc.get(), &out, &size);
    xmlFree(out);
    return static_cast<size_t>(size);
  };
}
#endif

std::vector<Peer> Peers() {
  std::vector<Peer> peers;
  peers.push_back({"ezxml", true, EzxmlParse, EzxmlLookup, EzxmlSerialize});
#ifdef PAVORM_HAVE_PUGIXML
  peers.push_back({"pugixml", true, PugiParse, PugiLookup, PugiSerialize});
#endif
#ifdef PAVORM_HAVE_RAPIDXML
  peers.push_back({"rapidxml", true, RapidParse, RapidLookup, RapidSerialize});
#endif
#ifdef PAVORM_HAVE_TINYXML2
  peers.push_back({"tinyxml2", false, TinyParse, TinyLookup, TinySerialize});
#endif
#ifdef PAVORM_HAVE_EXPAT
  peers.push_back({"expat", false, ExpatParse, ExpatLookup, nullptr});
#endif
#ifdef PAVORM_HAVE_LIBXML_2_0
  peers.push_back({"libxml2", false, Xml2Parse, Xml2Lookup, Xml2Serialize});
#endif
  return peers;
}

std::vector<std::unique_ptr<Input>> LoadInputs(const std::vector<std::string>& args) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  auto add = [&paths](const fs::path& p) {
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      std::vector<std::string> found;
      for (const auto& e : fs::directory_iterator(p, ec)) {
        if (e.path().extension() == ".xml") found.push_back(e.path().string());
      }
      std::sort(found.begin(), found.end());
      paths.insert(paths.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(p, ec)) {
      paths.push_back(p.string());
    }
  };
  if (args.empty()) {
    add("xml_corpus");
    add("/usr/share/mime/packages/freedesktop.org.xml");
    add("/usr/share/xml/iso-codes/iso_639-3.xml");
  }
  for (const auto& a : args) add(a);

  std::vector<std::unique_ptr<Input>> inputs;
  auto ref = std::make_unique<Input>();
  ref->name = "reference-121B";
  ref->bytes = kReferenceDocument;
  inputs.push_back(std::move(ref));
  for (const auto& p : paths) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    auto in = std::make_unique<Input>();
    in->name = fs::path(p).filename().string();
    in->bytes = s.str();
    if (!in->bytes.empty()) inputs.push_back(std::move(in));
  }
  return inputs;
}

// Collects the median bytes/s (or time) of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;  // "op/file/lib" -> bytes/s or ns
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.aggregate_name != "median") continue;
      auto it = r.counters.find("bytes_per_second");
      std::string key = r.run_name.function_name;
      if (it != r.counters.end() && it->second.value > 0) {
        medians[key] = it->second.value;
      } else {
        medians[key] = -r.GetAdjustedCPUTime();  // negative: a time, smaller is better
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintRatios(const RatioReporter& rep, const std::vector<std::unique_ptr<Input>>& inputs,
                 const std::vector<Peer>& peers) {
  for (const char* op : {"parse", "serialize"}) {
    std::printf("\n%s (median MB/s, ratio to pugixml)\n%-28s", op, "file");
    for (const Peer& p : peers) std::printf(" %18s", p.name);
    std::printf("\n");
    for (const auto& in : inputs) {
      const bool ref = in->name.rfind("reference", 0) == 0;
      std::string base = std::string(ref && std::strcmp(op, "parse") == 0 ? "lookup" : op) + "/" +
                         in->name + "/";
      auto pugi = rep.medians.find(base + "pugixml");
      std::printf("%-28s", in->name.c_str());
      for (const Peer& p : peers) {
        auto it = rep.medians.find(base + p.name);
        if (it == rep.medians.end()) {
          std::printf(" %18s", "-");
          continue;
        }
        double v = it->second;
        double ratio = 0;
        if (pugi != rep.medians.end() && pugi->second != 0) ratio = v / pugi->second;
        if (v < 0) {  // reference document: ns per operation; ratio = pugixml time / own time
          ratio = ratio != 0 ? 1 / ratio : 0;
          std::printf(" %9.0fns x%5.2f", -v, ratio);
        } else {
          std::printf(" %9.1f x%6.2f", v / 1e6, ratio);
        }
      }
      std::printf("\n");
    }
  }
}

// Runs op on a buffer: a fresh copy for in-place parsers, else the input.
size_t RunOn(const Peer& p, size_t (*op)(char*, size_t), const Input& in, std::vector<char>& scratch) {
  if (!p.in_place) return op(const_cast<char*>(in.bytes.data()), in.bytes.size());
  scratch.assign(in.bytes.begin(), in.bytes.end());
  scratch.push_back('\0');
  return op(scratch.data(), in.bytes.size());
}

// callgrind_xml.sh counts the instructions of this function alone
// (--toggle-collect); the input copies are made before it is entered.
__attribute__((noinline)) size_t measured_operation(size_t (*op)(char*, size_t),
                                                    std::vector<std::vector<char>>& bufs,
                                                    size_t len) {
  size_t r = 0;
  for (auto& b : bufs) r += op(b.data(), len);
  return r;
}

__attribute__((noinline)) size_t measured_serialize(const std::function<size_t()>& op) {
  return op();
}

int CallgrindMain(const std::string& lib, const std::string& op, const std::string& path) {
  const bool ref = path == "reference";
  auto inputs = LoadInputs(ref ? std::vector<std::string>{} : std::vector<std::string>{path});
  const Input& in = ref ? *inputs.front() : *inputs.back();
  for (const Peer& p : Peers()) {
    if (lib != p.name) continue;
    if (op == "serialize") {
      if (!p.prepare_serialize) return 2;
      auto f = p.prepare_serialize(in);
      if (!f) return 2;
      std::printf("%zu\n", measured_serialize(f));
      return 0;
    }
    // The reference document is looked up 1000 times, each on its own copy.
    const size_t rounds = ref ? 1000 : 1;
    std::vector<std::vector<char>> bufs(rounds, std::vector<char>(in.bytes.begin(), in.bytes.end()));
    for (auto& b : bufs) b.push_back('\0');
    std::printf("%zu\n", measured_operation(op == "lookup" ? p.lookup : p.parse, bufs, in.bytes.size()));
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--callgrind") == 0) return CallgrindMain(argv[2], argv[3], argv[4]);

  benchmark::Initialize(&argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto inputs = LoadInputs(args);
  const auto peers = Peers();

  for (const auto& holder : inputs) {
    const Input& in = *holder;
    const bool ref = in.name.rfind("reference", 0) == 0;
    const auto bytes = static_cast<int64_t>(in.bytes.size());
    for (const Peer& p : peers) {
      auto op = ref ? p.lookup : p.parse;
      auto* b = benchmark::RegisterBenchmark(
          ((ref ? "lookup/" : "parse/") + in.name + "/" + p.name).c_str(),
          [&in, &p, op, bytes, ref](benchmark::State& st) {
            std::vector<char> scratch;
            // A peer that refuses the document (tinyxml2 stops at depth
            // 100, for one) is not timed: its speed would mean nothing.
            if (!RunOn(p, op, in, scratch)) {
              st.SkipWithError("parse failed");
              return;
            }
            for (auto _ : st) benchmark::DoNotOptimize(RunOn(p, op, in, scratch));
            if (!ref) st.SetBytesProcessed(st.iterations() * bytes);
          });
      b->Repetitions(5)->ReportAggregatesOnly(true);
      if (!p.prepare_serialize || ref) continue;
      b = benchmark::RegisterBenchmark(("serialize/" + in.name + "/" + p.name).c_str(),
                                       [&in, &p, bytes](benchmark::State& st) {
                                         auto f = p.prepare_serialize(in);
                                         if (!f) {
                                           st.SkipWithError("parse failed");
                                           return;
                                         }
                                         for (auto _ : st) benchmark::DoNotOptimize(f());
                                         st.SetBytesProcessed(st.iterations() * bytes);
                                       });
      b->Repetitions(5)->ReportAggregatesOnly(true);
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter, inputs, peers);
  benchmark::Shutdown();
  return 0;
}
