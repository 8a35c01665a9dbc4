#include "tools/reference_docs.h"

#include <climits>
#include <vector>

#include "ezxml.h"

#include "fsassist/FSAssist.h"
#include "fsassist/file_reference.h"
#include "tools/cli_args.h"

namespace pavorm_tool {

namespace {

// A reference document has an <image> element; text without one is told
// apart before it is copied, widened and parsed (several times its size).
bool HasImageTag(const std::string& bytes) {
  for (size_t at = bytes.find("<image"); at != std::string::npos; at = bytes.find("<image", at + 1)) {
    if (at + 6 >= bytes.size()) return false;
    const char c = bytes[at + 6];
    if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r') return true;
  }
  return false;
}

}  // namespace

Gral::FileSpecifier ReadReference(const std::string& path) {
  std::string bytes = ReadFile(path);
  if (!HasImageTag(bytes)) return Gral::FileSpecifier();
  if (bytes.size() >= static_cast<size_t>(INT_MAX)) Fail(path, "file too large");
  const Gral::StringBuffer text(static_cast<int>(bytes.size() + 1), bytes.c_str(), Gral::StringBuffer::kUtf8);
  const bool isDocument = FSAssist::isStorage(Wide(bytes).c_str());
  return Gral::FileSpecifier(text, isDocument ? Gral::FileSpecifier::kReference : Gral::FileSpecifier::kFileName);
}

bool HasImageElement(const Gral::FileSpecifier& specifier) {
  std::string text = SpecifierText(specifier);
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');  // the parser overwrites the last byte
  ezxml_node* root = ezxml_parse_str(buffer.data(), buffer.size());
  const bool found = root != nullptr && ezxml_child(root, "image") != nullptr;
  ezxml_free(root);
  return found;
}

std::string SpecifierText(const Gral::FileSpecifier& specifier) {
  Gral::StringBuffer utf8;
  specifier.text().convert(utf8, Gral::StringBuffer::kUtf8);
  return std::string(utf8.data(), static_cast<size_t>(utf8.textBytes()));
}

std::vector<Component> Components(const Gral::FileSpecifier& specifier) {
  std::vector<Component> out;
  const int count = numComponentsInReference(&specifier);
  for (int i = 0; i < count; ++i) {
    Component c;
    switch (FSAssist::getStorageMethod(specifier, i)) {
      case FSAssist::StorageFile: {
        Gral::FileSpecifier file;
        int frame = 0;
        c.storage = "file";
        if (FSAssist::getFileReference(specifier, i, file, frame)) {
          c.path = SpecifierText(file);
          c.frame = frame;
        }
        break;
      }
      case FSAssist::StorageInternet: {
        c.storage = "internet";
        const PavoRmCString url = FSAssist::getInternetReference(specifier, i);
        c.url = Utf8(url.GetString(), static_cast<size_t>(url.GetLength()));
        break;
      }
      case FSAssist::StorageEmbedded: {
        c.storage = "embedded";
        PavoRmCString name, dictionary;
        FSAssist::getEmbeddedReference(specifier, i, name, dictionary);
        c.name = Utf8(name.GetString(), static_cast<size_t>(name.GetLength()));
        c.dictionary = Utf8(dictionary.GetString(), static_cast<size_t>(dictionary.GetLength()));
        break;
      }
      default:
        c.storage = "unknown";
    }
    out.push_back(c);
  }
  return out;
}

std::string Describe(const Component& c) {
  if (c.storage == "file") return "file " + OneLine(c.path) + ", frame " + std::to_string(c.frame);
  if (c.storage == "internet") return "internet " + OneLine(c.url);
  if (c.storage == "embedded") return "embedded " + OneLine(c.name) + " in dictionary " + OneLine(c.dictionary);
  return "unknown storage";
}

}  // namespace pavorm_tool
