// XLIFF 1.2 files, written and read with the project's XML library: one
// <file> per target language, one <trans-unit> per string id (id and
// resname the id, <source> the base text, <target> with its state, a <note>
// for the translator).
#ifndef PAVORM_TOOLS_XLIFF_FILE_H
#define PAVORM_TOOLS_XLIFF_FILE_H

#include <string>
#include <vector>

#include "tools/translation_catalog.h"

namespace pavorm_tool {

// The catalogs as one XLIFF document (UTF-8). "" in *error on success; else
// the reason (a character XML 1.0 cannot carry).
std::string WriteXliff(const std::vector<Catalog>& files, std::string* error);

// Reads an XLIFF 1.2 document (UTF-8, or UTF-16 with a byte-order mark) into
// one catalog per <file>. A target is a translation unless it is empty or
// its state says it still needs translation or review ("new", "needs-*").
// Inline markup inside <source> or <target> is refused: this format has none.
ReadProblem ReadXliff(const std::string& bytes, std::vector<Catalog>* files);

}  // namespace pavorm_tool

#endif
