#include "tools/pseudo_locale.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unicode/uchar.h>
#endif

#include <vector>

#include "tools/message_text.h"

namespace pavorm_tool {
namespace {

// Accented forms of a..z and A..Z, all in Latin-1 and Latin Extended-A/B
// (in every common font), chosen to keep each letter recognisable.
const WCHAR kLower[] = WTEXT("\u00E0\u0180\u00E7\u00F0\u00E9\u0192\u011D\u0125\u00EE\u0135\u0137\u013C\u0271")
                          WTEXT("\u00F1\u00F6\u00FE\u01EB\u0155\u0161\u0163\u00FB\u1E7D\u0175\u1E8B\u00FD\u017E");
const WCHAR kUpper[] = WTEXT("\u00C5\u0181\u00C7\u00D0\u00C9\u0191\u011C\u0124\u00CE\u0134\u0136\u013B\u1E40")
                          WTEXT("\u00D1\u00D6\u00DE\u01EA\u0154\u0160\u0162\u00DB\u1E7C\u0174\u1E8A\u00DD\u017D");
static_assert(sizeof kLower / sizeof kLower[0] == 27 && sizeof kUpper / sizeof kUpper[0] == 27,
              "one accented form per letter");

constexpr WCHAR kOpen = WTEXT('[');
constexpr WCHAR kClose = WTEXT(']');
constexpr WCHAR kRightToLeftOverride = 0x202E;
constexpr WCHAR kPopDirectionalFormatting = 0x202C;

bool IsSpace(WCHAR c) { return c == WTEXT(' ') || c == WTEXT('\t') || c == WTEXT('\n') || c == WTEXT('\r'); }

// A letter of a word for the mirrored form (surrogates never are).
#if defined(_WIN32)
bool IsLetter(WCHAR c) {
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & C1_ALPHA) != 0;
}
#else
bool IsLetter(WCHAR c) { return u_isalpha(static_cast<UChar32>(c)) != 0; }
#endif

WCHAR Accent(WCHAR c) {
  if (c >= WTEXT('a') && c <= WTEXT('z')) return static_cast<WCHAR>(kLower[c - WTEXT('a')]);
  if (c >= WTEXT('A') && c <= WTEXT('Z')) return static_cast<WCHAR>(kUpper[c - WTEXT('A')]);
  return c;
}

// Readable text of [begin, end): accented, and with mirror each run of
// letters wrapped in the override.
void AppendText(const pavo::WideString& text, size_t begin, size_t end, bool mirror, pavo::WideString* out) {
  size_t i = begin;
  while (i < end) {
    if (!mirror || !IsLetter(text[i])) {
      out->push_back(Accent(text[i]));
      ++i;
      continue;
    }
    out->push_back(kRightToLeftOverride);
    while (i < end && IsLetter(text[i])) out->push_back(Accent(text[i++]));
    out->push_back(kPopDirectionalFormatting);
  }
}

// A character after which appended text would be read with it: a '%', '&'
// or '\' that ends the string alone (inside the text they always begin a
// protected piece).
bool JoinsWithNext(WCHAR c) { return c == WTEXT('%') || c == WTEXT('&') || c == WTEXT('\\'); }

}  // namespace

pavo::WideString PseudoTranslate(const pavo::WideString& text, const PseudoOptions& options) {
  const std::vector<TextPiece> pieces = SplitMessageText(text);
  size_t first = 0;
  while (first < text.size() && IsSpace(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsSpace(text[last - 1])) --last;
  // White space that a protected piece reads ("%\n", "\\\n") stays inside.
  for (const TextPiece& p : pieces) {
    if (p.kind != TextPiece::kText && p.begin < last && p.end > last) last = p.end;
  }
  if (first == last) return text;  // white space only: nothing to show
  // A lone '%', '&' or '\' at the end would join what follows it: it stays
  // last, behind the closing bracket.
  size_t tail = last;
  if (JoinsWithNext(text[last - 1])) {
    for (const TextPiece& p : pieces) {
      if (p.kind == TextPiece::kText && p.begin < last && p.end >= last) tail = last - 1;
    }
  }

  pavo::WideString out(text, 0, first);
  out.push_back(kOpen);
  for (const TextPiece& p : pieces) {
    const size_t begin = p.begin > first ? p.begin : first;
    const size_t end = p.end < tail ? p.end : tail;
    if (begin >= end) continue;
    if (p.kind == TextPiece::kText) {
      AppendText(text, begin, end, options.mirror, &out);
    } else {
      out.append(text, begin, end - begin);
    }
  }
  // About 35 % longer in all, the brackets included: " !!! !!!" groups, led
  // by a space so that nothing joins the last insert or directive.
  const size_t length = CharacterCount(text.substr(first, last - first));
  const size_t grow = (length * 35 + 99) / 100;
  // Fewer than two would be a lone space or a '!' against the text.
  const WCHAR kPadding[] = WTEXT(" !!!");
  size_t padding = grow > 2 ? grow - 2 : 0;
  if (padding % 4 == 1) --padding;  // never end on a space
  if (padding >= 2) {
    for (size_t k = 0; k < padding; ++k) out.push_back(static_cast<WCHAR>(kPadding[k % 4]));
  }
  out.push_back(kClose);
  out.append(text, tail, pavo::WideString::npos);
  return out;
}

}  // namespace pavorm_tool
