// The pseudo-language: a translation made by rule, in the manner of Windows'
// qps-ploc, that shows untranslated strings, truncation and hard-coded
// layout before any translation exists. Letters become accented ones that
// stay readable, the text grows by about a third, and brackets mark both
// ends; everything a program parses (see SplitMessageText) is kept as is.
#ifndef PAVORM_TOOLS_PSEUDO_LOCALE_H
#define PAVORM_TOOLS_PSEUDO_LOCALE_H

#include "platform/win/wide_text.h"

namespace pavorm_tool {

struct PseudoOptions {
  // Each word wrapped in RIGHT-TO-LEFT OVERRIDE ... POP DIRECTIONAL
  // FORMATTING: it shows mirrored and lays out as right-to-left text.
  bool mirror = false;
};

// The pseudo-translation of text. Leading and trailing white space stays
// outside the brackets (so that a line break at either end stays there).
pavo::WideString PseudoTranslate(const pavo::WideString& text, const PseudoOptions& options);

}  // namespace pavorm_tool

#endif
