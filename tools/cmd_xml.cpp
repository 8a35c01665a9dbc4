// pavorm xml: check and format XML files with the library's XML parser and
// serializer.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "ezxml.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/xml_wellformed.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm xml check FILE\n"
    "       pavorm xml format FILE [--output OUT]\n"
    "\n"
    "check: tells whether FILE is well-formed XML (one root element, matching\n"
    "tags, quoted attributes, closed comments and references); on a problem prints\n"
    "'FILE:LINE:COLUMN: reason' and exits with 1. Otherwise prints the root\n"
    "element and the number of elements the XML library read.\n"
    "format: parses FILE with the XML library and writes it back as the library's\n"
    "serializer does (entities decoded and re-escaped, no white space between\n"
    "elements); a file that is not well-formed is refused.\n";

// Owns a parsed document and the buffer its strings point into.
struct Parsed {
  std::vector<char> buffer;
  ezxml_node* root = nullptr;
  ~Parsed() { ezxml_free(root); }
};

void Parse(const std::string& bytes, Parsed* out) {
  // The parser works in place and always overwrites the last byte: give it a spare one.
  out->buffer.assign(bytes.begin(), bytes.end());
  out->buffer.push_back('\0');
  out->root = ezxml_parse_str(out->buffer.data(), out->buffer.size());
  if (out->root == nullptr) throw ToolError(kExitFailed, "out of memory");
}

size_t CountElements(ezxml_node* root) {
  // Walk child / sibling / same-name links with an explicit stack.
  size_t count = 0;
  std::vector<ezxml_node*> pending = {root};
  while (!pending.empty()) {
    ezxml_node* n = pending.back();
    pending.pop_back();
    if (n == nullptr) continue;
    ++count;
    pending.push_back(n->ordered);
    pending.push_back(n->child);
  }
  return count;
}

void RequireWellFormed(const std::string& file, const std::string& bytes) {
  const XmlProblem p = CheckWellFormed(bytes);
  if (p.line != 0) Fail(file + ":" + std::to_string(p.line) + ":" + std::to_string(p.column), p.reason);
}

}  // namespace

int RunXml(const ArgList& argv) {
  const Args args("xml", argv, {{"--output", true}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  if (args.Positionals().empty()) UsageError("xml", "missing command (check, format)");
  const std::string& sub = args.Positionals()[0];
  if (sub != "check" && sub != "format") UsageError("xml", "unknown command '" + sub + "'");
  args.ExpectPositionals(2, 2);
  const std::string& file = args.Positionals()[1];
  std::string bytes = ReadFile(file);
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    // UTF-16 with a byte-order mark: checked as the UTF-8 the parser turns it into.
    const bool little = bytes[0] == '\xFF';
    pavo::WideString units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
      units.push_back(static_cast<WCHAR>(little ? (a | (b << 8)) : ((a << 8) | b)));
    }
    bytes = Utf8(units);
  }
  RequireWellFormed(file, bytes);
  Parsed doc;
  Parse(bytes, &doc);
  if (sub == "check") {
    std::cout << file << ": well-formed, root element '" << (doc.root->name ? doc.root->name : "")
              << "', " << CountElements(doc.root) << " elements\n";
    return 0;
  }
  char* xml = ezxml_toxml(doc.root);
  if (xml == nullptr) throw ToolError(kExitFailed, "out of memory");
  std::string text(xml);
  std::free(xml);
  WriteFile(args.Get("--output", "-"), text + "\n");
  return 0;
}

}  // namespace pavorm_tool
