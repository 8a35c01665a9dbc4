// The translator's check of one translated string table against its base:
// ids missing or extra, inserts that differ, strings left as the base text,
// accelerator markers, and translations much longer than their base.
#ifndef PAVORM_TOOLS_TRANSLATION_CHECK_H
#define PAVORM_TOOLS_TRANSLATION_CHECK_H

#include <set>
#include <string>
#include <vector>

#include "tools/module_strings.h"

namespace pavorm_tool {

struct CheckOptions {
  std::set<unsigned> allowedIds;            // may stay as the base text
  std::set<pavo::WideString> allowedTexts;  // base texts that may stay as they are
  double maxLengthRatio = 0;                // 0: no limit
};

struct CheckFinding {
  unsigned id;
  std::string kind;     // missing, extra, inserts, untranslated, accelerators, accelerator-missing, length
  std::string message;  // the line's text after "FILE: "
};

struct CheckReport {
  size_t strings = 0;      // in the translation
  size_t baseStrings = 0;
  size_t translated = 0;   // base ids present and translated (or allowed to stay, or without letters)
  std::vector<CheckFinding> findings;
  double PercentTranslated() const { return baseStrings == 0 ? 100.0 : 100.0 * translated / baseStrings; }
};

CheckReport CheckTranslation(const StringTable& base, const StringTable& translation, const CheckOptions& options);

}  // namespace pavorm_tool

#endif
