// The one writer of resource modules in the project: a resource-only PE32+
// DLL (DOS and PE headers, one .rsrc section, no code, no entry point) whose
// resource directory holds string tables, as Windows' loader and the
// project's PE reader (platform/win/pe_image.h) read them.
#ifndef PAVORM_TOOLS_MODULE_WRITER_H
#define PAVORM_TOOLS_MODULE_WRITER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"

namespace pavorm_tool {

// The longest text a string-table entry holds: its length is one 16-bit word.
constexpr size_t kMaxStringUnits = 0xFFFF;

// LANGID -> string id (0..65535) -> text (1..kMaxStringUnits units).
using ModuleStrings = std::map<unsigned short, std::map<unsigned, pavo::WideString>>;

// Writes the strings as RT_STRING blocks of 16 (block id / 16 + 1, one
// directory entry per language) into *out. Returns "" on success, else the
// reason, and *out is left empty: an id above 65535, an empty text (Windows'
// LoadStringW reports a zero-length entry as missing), a text longer than
// kMaxStringUnits, or a module that would exceed 2 GiB.
std::string WriteStringModule(const ModuleStrings& strings, std::vector<unsigned char>* out);

}  // namespace pavorm_tool

#endif
