// pavorm ref: make and read reference documents (file, internet and embedded
// components) with the library's FSAssist functions.
#include <cctype>
#include <iostream>

#include "fsassist/FSAssist.h"
#include "fsassist/file_reference.h"
#include "tools/cli_args.h"
#include "tools/commands.h"
#include "tools/reference_docs.h"

namespace pavorm_tool {
namespace {

const char kHelp[] =
    "usage: pavorm ref new OUT (--file PATH [--frame N] | --inet URL | --embedded NAME --dictionary DICT)\n"
    "       pavorm ref add DOC (--file PATH [--frame N] | --inet URL) [--output FILE]\n"
    "       pavorm ref show DOC [--json]\n"
    "\n"
    "Reference documents tell where the components of an image are stored: in a\n"
    "file (with a frame number), at an internet address, or embedded in a host\n"
    "document's dictionary. 'new' writes a document with one component ('-' for\n"
    "standard output), 'add' appends a component (written back to DOC unless\n"
    "--output is given), 'show' lists the components.\n";

// An internet address as the components hold it: SCHEME://REST, the scheme
// letters, digits, '+', '-' or '.' after a letter, the rest without spaces.
void RequireUrl(const std::string& url) {
  const size_t colon = url.find("://");
  bool ok = colon != std::string::npos && colon > 0 && colon + 3 < url.size() &&
            std::isalpha(static_cast<unsigned char>(url[0])) != 0;
  for (size_t i = 0; ok && i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    ok = std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
  }
  for (size_t i = colon + 3; ok && i < url.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    ok = c > 0x20 && c != 0x7F;
  }
  if (!ok) UsageError("ref", "--inet '" + url + "' is not an internet address (SCHEME://HOST/PATH)");
}

int FrameOf(const Args& args) {
  return static_cast<int>(ParseNumber("ref", "frame", args.Get("--frame", "0"), 0, 2147483647L));
}

}  // namespace

int RunRef(const ArgList& argv) {
  const Args args("ref", argv,
                  {{"--file", true}, {"--frame", true}, {"--inet", true}, {"--embedded", true},
                   {"--dictionary", true}, {"--output", true}, {"--json", false}});
  if (args.WantsHelp()) {
    std::cout << kHelp;
    return 0;
  }
  if (args.Positionals().empty()) UsageError("ref", "missing command (new, add, show)");
  const std::string& sub = args.Positionals()[0];
  const int sources = (args.Has("--file") ? 1 : 0) + (args.Has("--inet") ? 1 : 0) + (args.Has("--embedded") ? 1 : 0);
  if (args.Has("--frame") && !args.Has("--file")) UsageError("ref", "--frame belongs to a --file component");
  if (args.Has("--dictionary") && !args.Has("--embedded")) UsageError("ref", "--dictionary belongs to an --embedded component");
  if (args.Has("--inet")) RequireUrl(args.Get("--inet"));

  if (sub == "show") {
    args.ExpectPositionals(2, 2);
    const std::string& doc = args.Positionals()[1];
    const Gral::FileSpecifier spec = ReadReference(doc);
    if (spec.kind() != Gral::FileSpecifier::kReference || !HasImageElement(spec)) {
      Fail(doc, "not a reference document (no <storage><image> elements)");
    }
    const std::vector<Component> components = Components(spec);
    if (args.Has("--json")) {
      std::cout << "{\"document\": " << JsonString(doc) << ", \"components\": [";
      for (size_t i = 0; i < components.size(); ++i) {
        const Component& c = components[i];
        std::cout << (i ? ",\n  " : "\n  ") << "{\"storage\": " << JsonString(c.storage);
        if (c.storage == "file") std::cout << ", \"path\": " << JsonString(c.path) << ", \"frame\": " << c.frame;
        if (c.storage == "internet") std::cout << ", \"url\": " << JsonString(c.url);
        if (c.storage == "embedded") {
          std::cout << ", \"name\": " << JsonString(c.name) << ", \"dictionary\": " << JsonString(c.dictionary);
        }
        std::cout << '}';
      }
      std::cout << (components.empty() ? "]}\n" : "\n]}\n");
      return 0;
    }
    std::cout << doc << ": " << components.size() << " component" << (components.size() == 1 ? "" : "s") << '\n';
    for (size_t i = 0; i < components.size(); ++i) std::cout << i << "  " << Describe(components[i]) << '\n';
    return 0;
  }

  if (sub == "new") {
    args.ExpectPositionals(2, 2);
    if (sources != 1) UsageError("ref", "give exactly one of --file, --inet, --embedded");
    Gral::FileSpecifier spec;
    if (args.Has("--file")) {
      spec = FSAssist::cvtToFS(Wide(args.Get("--file")).c_str(), FrameOf(args));
    } else if (args.Has("--inet")) {
      spec = FSAssist::cvtToInet(Wide(args.Get("--inet")).c_str());
    } else {
      if (!args.Has("--dictionary")) UsageError("ref", "--embedded needs --dictionary");
      spec = FSAssist::cvtToEmbed(Wide(args.Get("--dictionary")).c_str(), Wide(args.Get("--embedded")).c_str());
    }
    WriteFile(args.Positionals()[1], SpecifierText(spec) + "\n");
    return 0;
  }

  if (sub == "add") {
    args.ExpectPositionals(2, 2);
    if (args.Has("--embedded")) UsageError("ref", "an embedded component can only start a document (ref new)");
    if (sources != 1) UsageError("ref", "give exactly one of --file, --inet");
    const std::string& doc = args.Positionals()[1];
    Gral::FileSpecifier spec = ReadReference(doc);
    if (spec.kind() != Gral::FileSpecifier::kReference || !HasImageElement(spec)) {
      Fail(doc, "not a reference document (no <storage><image> elements)");
    }
    const int before = numComponentsInReference(&spec);
    if (args.Has("--file")) {
      FSAssist::appendFile(spec, Wide(args.Get("--file")).c_str(), FrameOf(args));
    } else {
      FSAssist::appendInet(spec, Wide(args.Get("--inet")).c_str());
    }
    if (numComponentsInReference(&spec) != before + 1) Fail(doc, "no image element to add the component to");
    WriteFile(args.Get("--output", doc), SpecifierText(spec) + "\n");
    return 0;
  }
  UsageError("ref", "unknown command '" + sub + "'");
}

}  // namespace pavorm_tool
