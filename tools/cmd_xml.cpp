// pavorm xml: check and format XML files with the library's XML parser and
// serializer, and the tool's own checks for what the parser does not check.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <vector>

#include "ezxml.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/progress.h"
#include "tools/xml_encoding.h"
#include "tools/xml_wellformed.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm xml check FILE [--json]\n"
    "       pavorm xml format FILE [--output OUT] [--indent] [--lossy]\n"
    "\n"
    "FILE '-' is standard input. The encodings read are UTF-8, UTF-16 (with or\n"
    "without byte-order mark), ISO-8859-1, windows-1252 and US-ASCII, as the\n"
    "byte-order mark and the XML declaration say; any other is refused.\n"
    "\n"
    "check: tells whether FILE is well-formed XML 1.0, as xmllint --noout does\n"
    "without reading external entities: the grammar of elements, attributes,\n"
    "comments, instructions, CDATA sections, the XML declaration and the DOCTYPE;\n"
    "characters and names; entities declared where the rules require it, none\n"
    "referring to itself, and their replacement texts well-formed where they are\n"
    "used; and that the XML library reads the whole document. On a problem prints\n"
    "'FILE:LINE:COLUMN: reason' and exits with 1; otherwise prints the root\n"
    "element and the number of elements. --json: one JSON object either way.\n"
    "Namespaces are not checked.\n"
    "\n"
    "format: parses FILE with the XML library and writes it back with the\n"
    "library's serializer, in UTF-8 with a matching XML declaration when FILE had\n"
    "one or was in another encoding. The default form keeps all text, white space\n"
    "between elements included; entities and special characters are written\n"
    "with the library's escapes, empty elements as start and end tag.\n"
    "  --indent   puts each element of element-only content on a line of its own,\n"
    "             indented by two spaces a level (text with other characters\n"
    "             than white space stays as it is)\n"
    "  --output OUT   write OUT instead of standard output\n"
    "A document with what the library's tree cannot keep (a DOCTYPE, comments,\n"
    "processing instructions inside the root element, references to declared\n"
    "entities) is refused with the reason and exit 1; --lossy accepts the loss\n"
    "and tells on standard error what was dropped. A document that is not\n"
    "well-formed is refused as check refuses it.\n";

// Owns a parsed document and the buffer its strings point into.
struct Parsed {
  std::vector<char> buffer;
  ezxml_node* root = nullptr;
  ~Parsed() { ezxml_free(root); }
};

std::string Where(const std::string& file, const std::string& text, size_t offset) {
  size_t line = 0, column = 0;
  LineAndColumn(text, offset, &line, &column);
  return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

struct Checked {
  XmlText text;
  XmlFacts facts;
};

// Reads, decodes, checks and parses FILE; Fail("FILE:LINE:COLUMN", reason) on a problem.
void Load(const std::string& file, const std::string& shown, Checked* out, Parsed* doc) {
  const std::string bytes = ReadFile(file);
  Progress progress("xml " + shown, bytes.size());
  out->text = DecodeXml(bytes);
  if (!out->text.problem.empty()) Fail(Where(shown, bytes, out->text.problemOffset), out->text.problem);
  const std::string& utf8 = out->text.utf8;
  const XmlProblem p = CheckWellFormed(utf8, &out->facts, progress.Counter());
  if (p.line != 0) Fail(shown + ":" + std::to_string(p.line) + ":" + std::to_string(p.column), p.reason);
  // The parser works in place and always overwrites the last byte: give it a spare one.
  doc->buffer.assign(utf8.begin(), utf8.end());
  doc->buffer.push_back('\0');
  doc->root = ezxml_parse_str(doc->buffer.data(), doc->buffer.size());
  if (doc->root == nullptr) throw ToolError(kExitFailed, "out of memory");
  size_t offset = 0;
  const int status = ezxml_parse_status(doc->root, &offset);
  if (status != EZXML_PARSE_COMPLETE) {
    const char* why = ezxml_error(doc->root);
    Fail(Where(shown, utf8, offset), std::string("the XML library stopped here: ") +
                                         (why != nullptr && *why != '\0' ? why : "status " + std::to_string(status)));
  }
}

// The elements of the library's tree (entity texts count where they stand).
size_t CountElements(ezxml_node* root) {
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

std::string Plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// What the library's tree of the document cannot keep.
std::vector<std::string> Losses(const XmlFacts& facts) {
  std::vector<std::string> losses;
  if (facts.doctype) losses.push_back("the DOCTYPE");
  if (facts.comments != 0) losses.push_back(Plural(facts.comments, "comment"));
  if (facts.instructionsInRoot != 0) {
    losses.push_back(Plural(facts.instructionsInRoot, "processing instruction") +
                     " inside the root element (they would move behind it)");
  }
  if (!facts.expandedEntities.empty()) {
    std::string names;
    for (const std::string& n : facts.expandedEntities) names += (names.empty() ? "'" : ", '") + n + "'";
    losses.push_back("references to the entit" + std::string(facts.expandedEntities.size() == 1 ? "y " : "ies ") +
                     names + " (their replacement texts would be written instead)");
  }
  return losses;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return out;
}

bool OnlySpace(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
  }
  return true;
}

// Puts the children of element-only content on lines of their own; the new
// texts live in texts until the tree is written.
void Indent(ezxml_node* root, std::deque<std::string>* texts) {
  std::vector<std::pair<ezxml_node*, size_t>> pending = {{root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (node->child == nullptr) continue;
    for (ezxml_node* c = node->child; c != nullptr; c = c->ordered) pending.emplace_back(c, depth + 1);
    if (node->text != nullptr && !OnlySpace(node->text)) continue;  // mixed content keeps its text
    const std::string inner = "\n" + std::string(2 * (depth + 1), ' ');
    std::string text;
    for (ezxml_node* c = node->child; c != nullptr; c = c->ordered) {
      text += inner;
      c->offset = text.size();
    }
    text += "\n" + std::string(2 * depth, ' ');
    texts->push_back(text);
    ezxml_set_txt(node, texts->back().c_str());
  }
}

int Check(const std::string& file, const std::string& shown, bool json) {
  Checked checked;
  Parsed doc;
  try {
    Load(file, shown, &checked, &doc);
  } catch (const ToolError& e) {
    if (json) {
      std::cout << "{\"file\": " << JsonString(shown) << ", \"well_formed\": false, \"error\": "
                << JsonString(e.what()) << "}\n";
    }
    throw;
  }
  const XmlFacts& f = checked.facts;
  const size_t elements = CountElements(doc.root);
  if (json) {
    std::cout << "{\"file\": " << JsonString(shown) << ", \"well_formed\": true, \"root\": " << JsonString(f.rootName)
              << ", \"elements\": " << elements << ", \"encoding\": " << JsonString(checked.text.encoding) << "}\n";
    return 0;
  }
  std::cout << shown << ": well-formed, root element '" << f.rootName << "', " << Plural(elements, "element");
  if (checked.text.encoding != "UTF-8") std::cout << ", " << checked.text.encoding;
  std::cout << '\n';
  return 0;
}

int Format(const std::string& file, const std::string& shown, const Args& args) {
  Checked checked;
  Parsed doc;
  Load(file, shown, &checked, &doc);
  const std::vector<std::string> losses = Losses(checked.facts);
  if (!losses.empty()) {
    if (!args.Has("--lossy")) {
      Fail(shown, "the XML library's tree cannot keep " + Joined(losses) + "; --lossy writes it without them");
    }
    std::cerr << "pavorm: " << shown << ": dropped " << Joined(losses) << '\n';
  }
  std::deque<std::string> texts;
  if (args.Has("--indent")) Indent(doc.root, &texts);
  char* xml = ezxml_toxml(doc.root);
  if (xml == nullptr) throw ToolError(kExitFailed, "out of memory");
  std::string out;
  if (checked.facts.declaration || checked.text.encoding != "UTF-8") {
    out = "<?xml version=\"" + (checked.facts.version.empty() ? std::string("1.0") : checked.facts.version) +
          "\" encoding=\"UTF-8\"";
    if (!checked.facts.standalone.empty()) out += " standalone=\"" + checked.facts.standalone + "\"";
    out += "?>\n";
  }
  out += xml;
  std::free(xml);
  WriteFile(args.Get("--output", "-"), out + "\n");
  return 0;
}

}  // namespace

int RunXml(const ArgList& argv) {
  const Args args("xml", argv, {{"--output", true}, {"--json", false}, {"--indent", false}, {"--lossy", false}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  if (args.Positionals().empty()) UsageError("xml", "missing command (check, format)");
  const std::string& sub = args.Positionals()[0];
  if (sub != "check" && sub != "format") UsageError("xml", "unknown command '" + sub + "'");
  args.ExpectPositionals(2, 2);
  const std::string& file = args.Positionals()[1];
  const std::string shown = file == "-" ? std::string("standard input") : file;
  if (sub == "check") {
    if (args.Has("--output") || args.Has("--indent") || args.Has("--lossy")) {
      UsageError("xml", "--output, --indent and --lossy belong to xml format");
    }
    return Check(file, shown, args.Has("--json"));
  }
  if (args.Has("--json")) UsageError("xml", "--json belongs to xml check");
  return Format(file, shown, args);
}

}  // namespace pavorm_tool
