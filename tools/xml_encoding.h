// The bytes of an XML file as the UTF-8 text the XML library reads: the
// encodings it can take (UTF-8, UTF-16 with or without byte-order mark,
// ISO-8859-1, windows-1252, US-ASCII) found from the byte-order mark, the
// first bytes and the encoding declaration, as XML 1.0's appendix F
// describes, and converted.
#ifndef PAVORM_TOOLS_XML_ENCODING_H
#define PAVORM_TOOLS_XML_ENCODING_H

#include <cstddef>
#include <string>

namespace pavorm_tool {

struct XmlText {
  std::string utf8;      // the document in UTF-8, without a byte-order mark
  std::string encoding;  // what the bytes were: "UTF-8", "UTF-16LE", "UTF-16BE", "ISO-8859-1", ...
  std::string declared;  // the encoding name of the XML declaration as written; "" without one
  std::string problem;   // why the bytes cannot be read; "" when they can
  size_t problemOffset = 0;  // byte offset in the file of the problem
};

// Decodes a whole file. Ill-formed bytes in the encoding found are a problem
// (XML allows no replacement), and so is an encoding the library cannot read.
XmlText DecodeXml(const std::string& bytes);

}  // namespace pavorm_tool

#endif
