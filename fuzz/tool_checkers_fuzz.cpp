// The tool's XML decoder, well-formedness checker and message-insert reader on
// arbitrary bytes: both must stay in bounds and finish, and a text the
// checker accepts goes through the XML library's parser and serializer as
// `pavorm xml format` sends it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ezxml.h"
#include "tools/message_inserts.h"
#include "tools/xml_encoding.h"
#include "tools/xml_wellformed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  pavo::WideString units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<WCHAR>(data[i] | (data[i + 1] << 8)));
  pavorm_tool::DescribeInserts(pavorm_tool::ParseInserts(units));

  // What xml check reads: the bytes decoded, then checked.
  const pavorm_tool::XmlText decoded = pavorm_tool::DecodeXml(text);
  if (decoded.problem.empty()) pavorm_tool::CheckWellFormed(decoded.utf8);
  if (pavorm_tool::CheckWellFormed(text).line != 0) return 0;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  ezxml_node* root = ezxml_parse_str(buffer.data(), buffer.size());
  if (root == nullptr) return 0;
  char* xml = ezxml_toxml(root);
  if (xml != nullptr) {
    pavorm_tool::CheckWellFormed(xml);
    std::free(xml);
  }
  ezxml_free(root);
  return 0;
}
