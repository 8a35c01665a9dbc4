// A well-formedness check of XML text for `pavorm xml check` and the
// translators' files. The XML library parses leniently (it reads what it can
// and says where it stopped, but does not check names, characters or what
// entities hold), so the tool checks XML 1.0's rules itself: the document's
// grammar (one root element, matching tags, quoted and unique attributes,
// comments, instructions, CDATA sections, the XML declaration and the
// DOCTYPE with its internal subset), characters and names (fifth edition),
// and entities: every reference declared (where the rules require it), no
// entity that refers to itself, replacement texts that are well-formed
// where they are used, no unparsed or external entity where none may stand.
// It does not read external entities, and it does not check namespaces.
#ifndef PAVORM_TOOLS_XML_WELLFORMED_H
#define PAVORM_TOOLS_XML_WELLFORMED_H

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace pavorm_tool {

struct XmlProblem {
  size_t line = 0;    // 1-based; 0 when the text is well-formed
  size_t column = 0;  // 1-based, in characters
  size_t offset = 0;  // in bytes
  std::string reason;
};

// What a document holds beyond the tree of the XML library, found while checking.
struct XmlFacts {
  std::string rootName;
  size_t elements = 0;
  bool declaration = false;      // an XML declaration
  std::string version;           // its version ("1.0")
  std::string standalone;        // its standalone value, "" when not given
  bool doctype = false;
  size_t comments = 0;
  size_t instructionsInRoot = 0;  // processing instructions inside the root element
  std::vector<std::string> expandedEntities;  // declared entities referred to (each once)
};

// Checks UTF-8 text (a UTF-8 byte-order mark is skipped). facts, when not
// null, receives what the document holds; progress, when not null, the bytes
// checked so far.
XmlProblem CheckWellFormed(const std::string& text, XmlFacts* facts = nullptr,
                           std::atomic<size_t>* progress = nullptr);

// The 1-based line and column (in characters) of a byte offset of text.
void LineAndColumn(const std::string& text, size_t offset, size_t* line, size_t* column);

}  // namespace pavorm_tool

#endif
