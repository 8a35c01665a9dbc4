// What the translator's commands (export, build, pseudo) share: reading
// modules and exchange files from a path or standard input ("-"), language
// options, and the choice of a module's base language.
#ifndef PAVORM_TOOLS_TRANSLATION_FILES_H
#define PAVORM_TOOLS_TRANSLATION_FILES_H

#include <string>
#include <vector>

#include "tools/cli_args.h"
#include "tools/module_strings.h"
#include "tools/module_writer.h"
#include "tools/translation_catalog.h"

namespace pavorm_tool {

// Every string of a module file by language, read with the project's PE
// reader. Fail(path, reason) for a missing or malformed file or a string
// table that lists a block twice.
ModuleStrings ReadModuleStrings(const std::string& path);

// A --lang value: a three-letter name (deu), a LANGID (0x0407 or 1031) or a
// language tag (de-DE); a usage error of command otherwise.
unsigned short ParseLanguageOption(const std::string& command, const std::string& value);
// "deu (0x0407)", "de-AT (0x0C07)" or "0x1234".
std::string LanguageLabel(unsigned short langId);
// The module's languages as a list of labels.
std::string LanguageList(const ModuleStrings& strings);

// The language of the base texts: `requested` (0: none) if the module has
// it, else its only language, else U.S. English; Fail(path, ...) otherwise.
unsigned short ChooseBaseLanguage(const std::string& path, const ModuleStrings& strings, unsigned short requested);

enum class ExchangeFormat { kPo, kXliff, kModule };
// The format named by --format (po, xliff, dll), else by the path's
// extension (.po/.pot, .xlf/.xliff, .dll), else `fallback`; a usage error
// when none is given and the path says nothing.
ExchangeFormat FormatOf(const std::string& command, const std::string& option, const std::string& path,
                        bool allowModule);

// The exchange file's catalogs; Fail("path:line", reason) when it cannot be read.
std::vector<Catalog> ReadExchangeFile(const std::string& path, ExchangeFormat format);
// Writes the catalogs; Fail(what, reason) for a string the format cannot carry.
void WriteExchangeFile(const std::string& path, ExchangeFormat format, const std::vector<Catalog>& catalogs,
                       const std::string& what);

// Reads a whole file, or standard input for "-".
std::string ReadInput(const std::string& path);
// The file name of a path, for headers ("PavoRmenu.dll").
std::string BaseName(const std::string& path);
// Where a command's report goes: standard error when the output itself goes
// to standard output.
std::ostream& ReportStream(const std::string& output);

// The output option (-o or --output); a usage error when missing.
std::string OutputOption(const Args& args);

}  // namespace pavorm_tool

#endif
