// Arbitrary bytes as PO and XLIFF files: the readers must stay in bounds,
// finish, and either read entries with string ids or name a line.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/po_file.h"
#include "tools/xliff_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  pavorm_tool::Catalog po;
  const pavorm_tool::ReadProblem p = pavorm_tool::ReadPo(bytes, &po);
  if (!p.ok() && p.line == 0) __builtin_trap();
  for (const pavorm_tool::CatalogEntry& e : po.entries) {
    if (e.id > 0xFFFF) __builtin_trap();
  }
  std::vector<pavorm_tool::Catalog> xliff;
  const pavorm_tool::ReadProblem x = pavorm_tool::ReadXliff(bytes, &xliff);
  if (!x.ok() && x.line == 0) __builtin_trap();
  return 0;
}
