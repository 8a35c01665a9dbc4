// Parse any bytes, check the tree, serialize it, parse the text again: the
// second tree must say the same as the first, and serializing it must give
// the same text. A document whose status says complete must re-parse as
// complete, and only an incomplete one has an error text. The input sits in a block of its exact size, so a read past
// the parse length is caught. The same bytes parsed by the general readers
// alone (no quicker lane for plain tags) must give the same tree, status and
// buffer.
#include "ezxml.h"
#include "ezxml_internal.h"
#include "tests/xml_tree_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

// Attribute names declared in the DTD run to white space, so they may hold
// "=", "/" or ">", which end a name inside a tag, or start with a vertical
// tab or form feed, which a tag skips in front of a name. The serializer writes DTD
// defaults out under their names as they are, so such a document cannot
// come back the same; the round trip is only compared without them.
bool DefaultNamesFitInTags(const ezxml_node* root) {
  const auto* doc = reinterpret_cast<const ezxml_root*>(root);
  if (!doc->attr_defaults || xmlcheck::IsEmptyList(doc->attr_defaults)) return true;
  for (char*** list = doc->attr_defaults; *list; ++list) {
    for (char** t = *list + 1; *t; t += 3) {
      if (std::strpbrk(t[0], "=/>") || t[0][0] == '\v' || t[0][0] == '\f') return false;
    }
  }
  return true;
}

// The serializer writes vertical tab and form feed as they are, and in an
// attribute value the parser reads them as spaces: the one change a round
// trip may make, so both sides are compared with them as spaces.
// One pass: entity expansion can make a dump megabytes long.
std::string Blanked(const std::string& s, bool escaped) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (escaped && c == '\\' && i + 2 < s.size()) {
      // Every backslash in a dump starts a three-byte escape.
      const bool blank = s[i + 1] == '0' && (s[i + 2] == 'B' || s[i + 2] == 'C');
      out.append(blank ? " " : s.substr(i, 3));
      i += 2;
    } else {
      out += !escaped && (c == '\v' || c == '\f') ? ' ' : c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* buf = static_cast<char*>(std::malloc(size ? size : 1));
  if (!buf) return 0;
  if (size) std::memcpy(buf, data, size);
  ezxml_node* root = ezxml_parse_str(buf, size);
  if (!root) Fail("parse", "null root");
  std::string e = xmlcheck::CheckTree(root);
  if (!e.empty()) Fail("tree", e);
  size_t stop = 0;
  const int status = ezxml_parse_status(root, &stop);
  if (status < EZXML_PARSE_COMPLETE || status > EZXML_PARSE_OUT_OF_MEMORY) Fail("status", std::to_string(status));
  if ((status == EZXML_PARSE_COMPLETE) != (ezxml_error(root)[0] == '\0')) Fail("error text", ezxml_error(root));
  // Offsets of a UTF-16 input count bytes of its UTF-8 form.
  const bool utf16 = size > 0 && (data[0] == 0xFE || data[0] == 0xFF);
  if (!utf16 && (status == EZXML_PARSE_COMPLETE ? stop != size : stop > size)) Fail("status offset", std::to_string(stop));

  const std::string dump = xmlcheck::Dump(root);
  {
    char* gbuf = static_cast<char*>(std::malloc(size ? size : 1));
    if (!gbuf) Fail("malloc", "general copy");
    if (size) std::memcpy(gbuf, data, size);
    ezxml_node* general = ezxml_parse_str_general(gbuf, size);
    size_t gstop = 0;
    if (!general) Fail("general parse", "null root");
    if (ezxml_parse_status(general, &gstop) != status || gstop != stop)
      Fail("general readers stop elsewhere", std::string(ezxml_error(general)) + " / " + ezxml_error(root));
    if (std::strcmp(ezxml_error(general), ezxml_error(root)) != 0) Fail("general readers' error", ezxml_error(general));
    if (xmlcheck::Dump(general) != dump) Fail("general readers' tree", xmlcheck::Dump(general) + "\n  against\n" + dump);
    if (size && std::memcmp(gbuf, buf, size) != 0) Fail("general readers' buffer", "differs");
    ezxml_free(general);
    std::free(gbuf);
  }
  char* text = ezxml_toxml(root);
  if (!text) Fail("toxml", "null");
  if (xmlcheck::Dump(root) != dump) Fail("toxml changed the tree", dump);
  const size_t len = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(len ? len : 1));
  if (len) std::memcpy(copy, text, len);
  ezxml_node* again = ezxml_parse_str(copy, len);
  e = xmlcheck::CheckTree(again);
  if (!e.empty()) Fail("reparsed tree", e);
  const std::string dump2 = xmlcheck::Dump(again);
  // Defaults written under names no tag can hold make the text unreadable
  // too, so the status is compared only where the round trip is.
  const bool defaultsFit = DefaultNamesFitInTags(root);
  if (status == EZXML_PARSE_COMPLETE && defaultsFit && ezxml_parse_status(again, nullptr) != EZXML_PARSE_COMPLETE)
    Fail("complete document re-parsed incomplete", std::string(ezxml_error(again)) + "\n  text: " + text);
  if (Blanked(dump2, true) != Blanked(dump, true) && defaultsFit) Fail("round trip", dump + "\n  became\n" + dump2 + "\n  text: " + text);
  char* text2 = ezxml_toxml(again);
  if (Blanked(text, false) != Blanked(text2, false) && defaultsFit) Fail("second serialization", std::string(text) + "\n  " + text2);

  std::free(text2);
  ezxml_free(again);
  std::free(copy);
  std::free(text);
  ezxml_free(root);
  std::free(buf);
  return 0;
}
