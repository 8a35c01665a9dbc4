// The inserts of a FormatMessage text (%1 ... %99, each with an optional
// !printf-format!), for comparing a translation with its original.
#ifndef PAVORM_TOOLS_MESSAGE_INSERTS_H
#define PAVORM_TOOLS_MESSAGE_INSERTS_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"

namespace pavorm_tool {

// One '%' sequence of a FormatMessage text, [begin, end) in units: an insert
// (number 1..99, with its conversion) or an escape (%%, %n, %0, ...: number 0,
// conversion empty). A '%' at the very end of the text is no sequence.
struct InsertSpan {
  size_t begin = 0;
  size_t end = 0;
  int number = 0;
  std::string conversion;
};
std::vector<InsertSpan> FindInserts(const pavo::WideString& text);

// Insert number -> its conversion without flags, width and precision
// ("s" for a bare %n, "d" for %1!5d!, "ls" for %2!-10ls!). Escapes (%%, %n,
// %r, %t, %0, %., %!, %space) are not inserts. An insert that appears twice
// with different conversions is kept as "s|d".
using InsertMap = std::map<int, std::string>;
InsertMap ParseInserts(const pavo::WideString& text);

// The inserts written back as text, "%1!s! %2!d!", for reports.
std::string DescribeInserts(const InsertMap& inserts);

}  // namespace pavorm_tool

#endif
