// A well-formedness check of XML text for `pavorm xml check`. The XML library
// parses leniently (a syntax error ends the tree where it stands and is not
// reported), so the tool checks the structure itself: one root element,
// balanced and matching tags, quoted and unique attributes, terminated
// comments, instructions, CDATA sections and references.
#ifndef PAVORM_TOOLS_XML_WELLFORMED_H
#define PAVORM_TOOLS_XML_WELLFORMED_H

#include <cstddef>
#include <string>

namespace pavorm_tool {

struct XmlProblem {
  size_t line = 0;    // 1-based; 0 when the text is well-formed
  size_t column = 0;  // 1-based, in bytes
  std::string reason;
};

// Checks UTF-8 text (a UTF-8 byte-order mark is skipped).
XmlProblem CheckWellFormed(const std::string& text);

}  // namespace pavorm_tool

#endif
