// Parse and serialize cost of the ezxml library against the XML parsers a
// host would otherwise pick. One process measures one library on one file,
// so that no library runs on the heap another one left behind; run_all.py
// starts the processes, interleaves them and makes the table.
//
//   xml_bench --list
//       the libraries this program was built with, and "memchr"
//   xml_bench --time LIB OP FILE SAMPLES
//       one untimed warm-up of OP, then SAMPLES timed ones; prints the
//       median and the fastest sample (CPU time of this thread) and the
//       process's peak resident memory
//   xml_bench --callgrind LIB OP FILE
//       one untimed warm-up, then OP once inside measured_operation() for
//       callgrind (--toggle-collect='*measured_*' counts that call alone)
//
// OP is parse (parse + release the tree), serialize (write a tree parsed
// beforehand to a string) or lookup (parse, find
// storage/image/component/data/file, read its path, release). FILE
// "reference" is the 121-byte reference document, looked up 1000 times per
// sample on 1000 copies. LIB memchr is the floor: one memchr pass over the
// bytes of FILE, looking for a byte that is not there.

#include "ezxml.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

bool ReadInput(const std::string& path, Input* in) {
  if (path == "reference") {
    in->name = "reference-121B";
    in->bytes = kReferenceDocument;
    return true;
  }
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  in->name = std::filesystem::path(path).filename().string();
  in->bytes = s.str();
  return !in->bytes.empty();
}

size_t MemchrPass(char* buf, size_t len) {
  // The buffer holds no 0x01 (the corpus is text): the pass reads it all.
  const void* hit = std::memchr(buf, 1, len);
  return hit ? 0 : len;
}

const Peer* FindPeer(const std::vector<Peer>& peers, const std::string& lib) {
  for (const Peer& p : peers) {
    if (lib == p.name) return &p;
  }
  return nullptr;
}

// The operation as a function of one buffer; null when the library cannot
// do it. Serialization parses its tree here, before any timing.
std::function<size_t(char*, size_t)> Operation(const std::string& lib, const std::string& op,
                                               const Input& in) {
  if (lib == "memchr") return op == "parse" ? MemchrPass : nullptr;
  static const std::vector<Peer> peers = Peers();
  const Peer* p = FindPeer(peers, lib);
  if (p == nullptr) return nullptr;
  if (op == "serialize") {
    if (!p->prepare_serialize) return nullptr;
    auto f = p->prepare_serialize(in);
    if (!f) return nullptr;
    return [f](char*, size_t) { return f(); };
  }
  auto fn = op == "lookup" ? p->lookup : op == "parse" ? p->parse : nullptr;
  if (fn == nullptr) return nullptr;
  return fn;
}

// Fresh copies of the input for the calls of one sample (in-place parsers
// change their buffer); made before the clock starts. The serializer and the
// readers that only read get copies too, so that every library starts from
// the same cache state.
void Refill(const Input& in, std::vector<std::vector<char>>& bufs) {
  for (auto& b : bufs) {
    b.assign(in.bytes.begin(), in.bytes.end());
    b.push_back('\0');
  }
}

// callgrind counts the instructions of these calls alone (--toggle-collect).
__attribute__((noinline)) size_t measured_operation(const std::function<size_t(char*, size_t)>& op,
                                                    std::vector<std::vector<char>>& bufs,
                                                    size_t len) {
  size_t r = 0;
  for (auto& b : bufs) r += op(b.data(), len);
  return r;
}

double ThreadCpuNanos() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

int Run(const std::string& mode, const std::string& lib, const std::string& op,
        const std::string& path, int samples) {
  Input in;
  if (!ReadInput(path, &in)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 2;
  }
  auto fn = Operation(lib, op, in);
  if (!fn) {
    std::fprintf(stderr, "%s cannot %s\n", lib.c_str(), op.c_str());
    return 3;
  }
  const size_t rounds = path == "reference" ? 1000 : 1;
  std::vector<std::vector<char>> bufs(rounds);
  Refill(in, bufs);
  // The warm-up is also the check: a library that refuses the document
  // (tinyxml2 stops at depth 100, for one) is not measured at all. Under
  // callgrind a parse is warmed up on the reference document (which binds
  // the library's symbols and sets up its state): a second pass over a large
  // file would double the run and leave the count of the measured one as it is.
  const bool shortWarmUp = mode == "callgrind" && rounds == 1 && op != "serialize";
  size_t warm = 0;
  if (shortWarmUp) {
    Input ref;
    ReadInput("reference", &ref);
    std::vector<char> b(ref.bytes.begin(), ref.bytes.end());
    b.push_back('\0');
    warm = fn(b.data(), ref.bytes.size());
  } else {
    for (auto& b : bufs) warm += fn(b.data(), in.bytes.size());
  }
  if (warm == 0) {
    std::fprintf(stderr, "%s failed to %s %s\n", lib.c_str(), op.c_str(), in.name.c_str());
    return 4;
  }
  if (mode == "callgrind") {
    if (!shortWarmUp) Refill(in, bufs);
    const size_t r = measured_operation(fn, bufs, in.bytes.size());
    std::printf("%zu\n", r);
    return r != 0 ? 0 : 4;
  }
  std::vector<double> ns;
  size_t check = 0;
  for (int i = 0; i < samples; ++i) {
    Refill(in, bufs);
    const double t0 = ThreadCpuNanos();
    check += measured_operation(fn, bufs, in.bytes.size());
    ns.push_back((ThreadCpuNanos() - t0) / static_cast<double>(rounds));
  }
  std::sort(ns.begin(), ns.end());
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("lib=%s op=%s file=%s bytes=%zu samples=%d median_ns=%.1f min_ns=%.1f maxrss_kib=%ld check=%zu\n",
              lib.c_str(), op.c_str(), in.name.c_str(), in.bytes.size(), samples, ns[ns.size() / 2],
              ns.front(), ru.ru_maxrss, check);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--list") {
    for (const Peer& p : Peers()) std::printf("%s%s\n", p.name, p.prepare_serialize ? "" : " (no serialize)");
    std::printf("memchr (parse only)\n");
    return 0;
  }
  if (args.size() == 4 && args[0] == "--callgrind") return Run("callgrind", args[1], args[2], args[3], 0);
  if (args.size() == 5 && args[0] == "--time") {
    const int samples = std::atoi(args[4].c_str());
    if (samples > 0) return Run("time", args[1], args[2], args[3], samples);
  }
  std::fprintf(stderr,
               "usage: xml_bench --list\n"
               "       xml_bench --time LIB OP FILE SAMPLES\n"
               "       xml_bench --callgrind LIB OP FILE\n"
               "OP: parse | lookup | serialize; FILE \"reference\": the 121-byte reference document\n");
  return 1;
}
