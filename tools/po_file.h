// gettext PO files of one language: msgctxt is the string id, msgid the base
// text, msgstr the translation (empty when untranslated). The reader is
// strict: it takes what translation tools write (comments, flags, obsolete
// entries, multi-line strings, C escapes, a UTF-8 byte-order mark, CRLF line
// ends) and refuses anything it could misread, naming the line.
#ifndef PAVORM_TOOLS_PO_FILE_H
#define PAVORM_TOOLS_PO_FILE_H

#include <string>

#include "tools/translation_catalog.h"

namespace pavorm_tool {

// The catalog as a PO file (UTF-8, LF line ends): a header entry, then one
// entry per string with the translator note as an extracted comment ("#.").
// "" in *error on success; else the reason (a string the format cannot carry).
std::string WritePo(const Catalog& catalog, std::string* error);

// Reads PO text into *catalog. Plural forms are refused; fuzzy entries and
// empty msgstr are untranslated; the header gives the target language
// ("Language") and the source language ("X-Source-Language"), and its
// charset must be UTF-8.
ReadProblem ReadPo(const std::string& bytes, Catalog* catalog);

}  // namespace pavorm_tool

#endif
