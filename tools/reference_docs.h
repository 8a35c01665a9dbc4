// Reference documents as files: read into a file specifier, written back as
// UTF-8, and their components described for people and for JSON.
#ifndef PAVORM_TOOLS_REFERENCE_DOCS_H
#define PAVORM_TOOLS_REFERENCE_DOCS_H

#include <string>
#include <vector>

#include "platform/gral/FileSpecifier.h"

namespace pavorm_tool {

// The file's bytes (UTF-8) as a specifier: kind 2 when they read as a
// reference document, else kind 0. Fail(path, ...) when it cannot be read.
Gral::FileSpecifier ReadReference(const std::string& path);
// True when the specifier's text is a document with an image element.
bool HasImageElement(const Gral::FileSpecifier& specifier);
// The specifier's text as UTF-8, without terminator.
std::string SpecifierText(const Gral::FileSpecifier& specifier);

struct Component {
  std::string storage;  // "file", "internet", "embedded" or "unknown"
  std::string path;     // file
  int frame = 0;        // file
  std::string url;      // internet
  std::string dictionary, name;  // embedded
};
std::vector<Component> Components(const Gral::FileSpecifier& specifier);
// "file a.tif, frame 0" and the like.
std::string Describe(const Component& component);

}  // namespace pavorm_tool

#endif
