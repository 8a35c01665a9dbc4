// A resource string split into what a program parses and what a person
// reads: FormatMessage inserts and escapes (through FindInserts), printf
// directives, accelerator markers and backslash escapes are kept apart from
// the readable text, for the pseudo-language and the translator's check.
#ifndef PAVORM_TOOLS_MESSAGE_TEXT_H
#define PAVORM_TOOLS_MESSAGE_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"

namespace pavorm_tool {

// A piece of a string, [begin, end) in units.
struct TextPiece {
  enum Kind {
    kText,         // readable text
    kInsert,       // a FormatMessage insert or escape (%1, %2!d!, %%, %n, %0)
    kPrintf,       // a printf directive (%s, %-10d, %I64u, %1$s)
    kAccelerator,  // '&' and the character it marks ("&F"), or "&&"
    kBackslash,    // a backslash and the character after it
  };
  Kind kind;
  size_t begin;
  size_t end;
};

// The pieces of text in order, covering it entirely. Where two readings
// overlap (a FormatMessage escape inside a printf directive) the longer one
// is kept, so that every unit that either parser reads is outside kText.
std::vector<TextPiece> SplitMessageText(const pavo::WideString& text);

// The characters that '&' marks, in order ("&&" marks none; '&' before white
// space or at the end is a plain ampersand).
pavo::WideString AcceleratorKeys(const pavo::WideString& text);

// True when the readable text holds a letter (strings of inserts, digits and
// punctuation have nothing to translate).
bool HasLetters(const pavo::WideString& text);

// Number of characters (a surrogate pair counts once).
size_t CharacterCount(const pavo::WideString& text);

}  // namespace pavorm_tool

#endif
