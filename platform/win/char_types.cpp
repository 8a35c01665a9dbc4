#include "platform/win/char_types.h"

#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/uscript.h>


#include "platform/win/last_error.h"
#include "platform/win/wide_text.h"

namespace {

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

WORD ComputeCType1(UChar32 c) {
  // A lone surrogate unit is no character: no class at all.
  if (IsSurrogate(static_cast<uint32_t>(c))) return 0;
  const int8_t gc = u_charType(c);
  WORD word = 0;
  if (gc == U_UPPERCASE_LETTER || gc == U_TITLECASE_LETTER) word |= C1_UPPER;
  if (gc == U_LOWERCASE_LETTER) word |= C1_LOWER;
  // Windows counts the Latin-1 superscript digits as digits too.
  if (gc == U_DECIMAL_DIGIT_NUMBER || c == 0xB2 || c == 0xB3 || c == 0xB9) word |= C1_DIGIT;
  if (u_isUWhiteSpace(c)) word |= C1_SPACE;
  const uint32_t mask = U_MASK(gc);
  if ((mask & (U_GC_P_MASK | U_GC_S_MASK)) != 0) word |= C1_PUNCT;
  if (gc == U_CONTROL_CHAR) word |= C1_CNTRL;
  if (u_isblank(c)) word |= C1_BLANK;
  // Hexadecimal digits are the ASCII ones and their full-width forms only.
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || (c >= 0xFF10 && c <= 0xFF19) ||
      (c >= 0xFF21 && c <= 0xFF26) || (c >= 0xFF41 && c <= 0xFF46))
    word |= C1_XDIGIT;
  if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) word |= C1_ALPHA;
  if (gc != U_UNASSIGNED) word |= C1_DEFINED;
  return word;
}

// CT_CTYPE1 words of the whole BMP, built on first use (128 KiB), so that a
// classification is one table read.
WORD g_ctype1[0x10000];

const WORD* BuildCType1Table() {
  for (UChar32 c = 0; c < 0x10000; ++c) g_ctype1[c] = ComputeCType1(c);
  return g_ctype1;
}

inline const WORD* CType1Table() {
  static const WORD* const table = BuildCType1Table();  // thread-safe, built once
  return table;
}

WORD ComputeCType2(UChar32 c) {
  if (IsSurrogate(static_cast<uint32_t>(c))) return C2_NOTAPPLICABLE;
  switch (u_charDirection(c)) {
    case U_LEFT_TO_RIGHT: return C2_LEFTTORIGHT;
    case U_RIGHT_TO_LEFT:
    case U_RIGHT_TO_LEFT_ARABIC: return C2_RIGHTTOLEFT;
    case U_EUROPEAN_NUMBER: return C2_EUROPENUMBER;
    case U_EUROPEAN_NUMBER_SEPARATOR: return C2_EUROPESEPARATOR;
    case U_EUROPEAN_NUMBER_TERMINATOR: return C2_EUROPETERMINATOR;
    case U_ARABIC_NUMBER: return C2_ARABICNUMBER;
    case U_COMMON_NUMBER_SEPARATOR: return C2_COMMONSEPARATOR;
    case U_BLOCK_SEPARATOR: return C2_BLOCKSEPARATOR;
    case U_SEGMENT_SEPARATOR: return C2_SEGMENTSEPARATOR;
    case U_WHITE_SPACE_NEUTRAL: return C2_WHITESPACE;
    case U_OTHER_NEUTRAL: return C2_OTHERNEUTRAL;
    default: return C2_NOTAPPLICABLE;
  }
}

WORD ComputeCType3(UChar32 c) {
  if (c >= 0xD800 && c <= 0xDBFF) return C3_HIGHSURROGATE;
  if (c >= 0xDC00 && c <= 0xDFFF) return C3_LOWSURROGATE;
  const int8_t gc = u_charType(c);
  WORD word = 0;
  if (gc == U_NON_SPACING_MARK) word |= C3_NONSPACING;
  if (u_hasBinaryProperty(c, UCHAR_DIACRITIC)) word |= C3_DIACRITIC;
  if (gc == U_COMBINING_SPACING_MARK) word |= C3_VOWELMARK;
  if ((U_MASK(gc) & U_GC_S_MASK) != 0) word |= C3_SYMBOL;
  UErrorCode err = U_ZERO_ERROR;
  const UScriptCode script = uscript_getScript(c, &err);
  if (U_SUCCESS(err) && script == USCRIPT_KATAKANA) word |= C3_KATAKANA;
  if (U_SUCCESS(err) && script == USCRIPT_HIRAGANA) word |= C3_HIRAGANA;
  const int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
  if (width == U_EA_HALFWIDTH || width == U_EA_NARROW) word |= C3_HALFWIDTH;
  if (width == U_EA_FULLWIDTH || width == U_EA_WIDE) word |= C3_FULLWIDTH;
  if (u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC)) word |= C3_IDEOGRAPH;
  if (c == 0x0640) word |= C3_KASHIDA;
  if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) word |= C3_ALPHA;
  return word;
}

bool IsCombining(UChar32 c) {
  return (U_MASK(u_charType(c)) & (U_GC_MN_MASK | U_GC_ME_MASK | U_GC_MC_MASK)) != 0;
}

LCID ComputeUserLcid() {
  const uint32_t lcid = uloc_getLCID(uloc_getDefault());
  // The C/POSIX locale maps to the invariant locale, which a user never has.
  if (lcid == 0 || lcid == LOCALE_INVARIANT) return 0x0409;
  return lcid;
}

}  // namespace

extern "C" BOOL GetStringTypeExW(LCID /*locale: the type words are the same in every locale*/, DWORD infoType,
                                 LPCWSTR text, int count, LPWORD types) {
  if (text == nullptr || types == nullptr || count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Any negative count means a 0-terminated text, terminator included.
  const size_t n = count < 0 ? pavo::WideLength(text) + 1 : static_cast<size_t>(count);
  switch (infoType) {
    case CT_CTYPE1: {
      const WORD* table = CType1Table();
      for (size_t i = 0; i < n; ++i) types[i] = table[static_cast<uint16_t>(text[i])];
      return TRUE;
    }
    case CT_CTYPE2:
      for (size_t i = 0; i < n; ++i) types[i] = ComputeCType2(static_cast<uint16_t>(text[i]));
      return TRUE;
    case CT_CTYPE3:
      for (size_t i = 0; i < n; ++i) types[i] = ComputeCType3(static_cast<uint16_t>(text[i]));
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_FLAGS);
      return FALSE;
  }
}

extern "C" BOOL GetStringTypeW(DWORD infoType, LPCWSTR text, int count, LPWORD types) {
  return GetStringTypeExW(LOCALE_USER_DEFAULT, infoType, text, count, types);
}

extern "C" LCID GetUserDefaultLCID(void) {
  static const LCID lcid = ComputeUserLcid();
  return lcid;
}

extern "C" LANGID GetUserDefaultLangID(void) { return static_cast<LANGID>(GetUserDefaultLCID() & 0xFFFF); }

namespace {

// Windows' default casing follows file-system rules: a one-to-one table in
// which a unit maps only when the mapping goes back to it. So ı, ſ, µ, ς and
// the title-case digraphs (ǅ) stay as they are, and so do K (Kelvin), Ω (Ohm)
// and ẞ under lower-casing. `inverse` is the opposite mapping of `map`.
DWORD MapCase(LPWSTR text, DWORD count, UChar32 (*map)(UChar32), UChar32 (*inverse)(UChar32)) {
  if (text == nullptr) return 0;
  for (DWORD i = 0; i < count; ++i) {
    const UChar32 c = static_cast<uint16_t>(text[i]);
    if (IsSurrogate(static_cast<uint32_t>(c))) continue;
    const UChar32 mapped = map(c);
    if (mapped <= 0xFFFF && inverse(mapped) == c) text[i] = static_cast<WCHAR>(mapped);
  }
  return count;
}

}  // namespace

extern "C" DWORD CharUpperBuffW(LPWSTR text, DWORD count) { return MapCase(text, count, u_toupper, u_tolower); }

extern "C" DWORD CharLowerBuffW(LPWSTR text, DWORD count) { return MapCase(text, count, u_tolower, u_toupper); }

extern "C" LPWSTR CharPrevW(LPCWSTR start, LPCWSTR current) {
  if (start == nullptr) return nullptr;
  if (current == nullptr || current <= start) return const_cast<LPWSTR>(start);
  const auto* s = reinterpret_cast<const UChar*>(start);
  int32_t i = static_cast<int32_t>(current - start);
  // Step back one code point, then over the marks that belong to the base before them.
  UChar32 c = 0;
  U16_PREV(s, 0, i, c);
  while (i > 0 && IsCombining(c)) {
    int32_t j = i;
    UChar32 before = 0;
    U16_PREV(s, 0, j, before);
    i = j;
    c = before;
  }
  return const_cast<LPWSTR>(start + i);
}

namespace {

// One code point at s (a surrogate pair only when both halves are there);
// s[0] is not the terminator. Returns the units it takes.
int32_t CodePointAt(const UChar* s, UChar32& c) {
  if (U16_IS_LEAD(s[0]) && U16_IS_TRAIL(s[1])) {
    c = U16_GET_SUPPLEMENTARY(s[0], s[1]);
    return 2;
  }
  c = s[0];
  return 1;
}

}  // namespace

extern "C" LPWSTR CharNextW(LPCWSTR current) {
  if (current == nullptr) return nullptr;
  if (*current == 0) return const_cast<LPWSTR>(current);
  const auto* s = reinterpret_cast<const UChar*>(current);
  UChar32 c = 0;
  int32_t i = CodePointAt(s, c);
  while (s[i] != 0) {
    const int32_t step = CodePointAt(s + i, c);
    if (!IsCombining(c)) break;
    i += step;
  }
  return const_cast<LPWSTR>(current + i);
}
