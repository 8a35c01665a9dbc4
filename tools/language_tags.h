// Language tags of exchange files (BCP 47 "de-DE" in XLIFF, "de_DE" in PO)
// and the Windows LANGIDs of modules, through Windows' LCID table as ICU
// carries it; Windows' pseudo-locales by their own names.
#ifndef PAVORM_TOOLS_LANGUAGE_TAGS_H
#define PAVORM_TOOLS_LANGUAGE_TAGS_H

#include <string>

namespace pavorm_tool {

// Windows' pseudo-locales: qps-ploc (accented, longer text) and qps-plocm
// (mirrored, right-to-left).
constexpr unsigned short kPseudoLangId = 0x0501;
constexpr unsigned short kPseudoMirroredLangId = 0x09FF;

// The BCP 47 tag of a LANGID ("de-DE"); "" when Windows' table has none.
std::string LanguageTag(unsigned short langId);
// The same with '_' between the parts, as PO files write it ("de_DE").
std::string PoLanguage(unsigned short langId);
// The LANGID of a tag, "de-DE", "de_DE" or "de" (case-insensitive); 0 when unknown.
unsigned short LanguageFromTag(const std::string& tag);
// "0x0407" for messages.
std::string LangIdText(unsigned short langId);

}  // namespace pavorm_tool

#endif
