// Character classification of the unit at a position (CT_CTYPE1 words).
#include "platform/win/char_types.h"
#include "string/PavoRmCString.h"

namespace {

// The CT_CTYPE1 word of one unit; false when the query fails.
inline bool TypeOf(WCHAR unit, WORD& word) noexcept {
  return GetStringTypeExW(GetUserDefaultLCID(), CT_CTYPE1, &unit, 1, &word) != FALSE;
}

}  // namespace

#define PAVORM_BIT_TEST(name, bit)                              \
  int PavoRmCString::name(int p) const noexcept {               \
    if (p < 0 || p >= GetLength()) return 0;                    \
    WORD word = 0;                                              \
    return TypeOf(GetAt(p), word) ? static_cast<int>(word & (bit)) : 0; \
  }

PAVORM_BIT_TEST(bIsUpper, C1_UPPER)
PAVORM_BIT_TEST(bIsLower, C1_LOWER)
PAVORM_BIT_TEST(bIsDigit, C1_DIGIT)
PAVORM_BIT_TEST(bIsWhiteSpace, C1_SPACE)
PAVORM_BIT_TEST(bIsPunct, C1_PUNCT)
PAVORM_BIT_TEST(bIsControl, C1_CNTRL)
PAVORM_BIT_TEST(bIsBlank, C1_BLANK)
PAVORM_BIT_TEST(bIsXDigit, C1_XDIGIT)
PAVORM_BIT_TEST(bIsAlpha, C1_ALPHA)

#undef PAVORM_BIT_TEST

int PavoRmCString::bIsAlnum(int p) const noexcept { return (bIsAlpha(p) != 0 || bIsDigit(p) != 0) ? 1 : 0; }

int PavoRmCString::bIsPrintable(int p) const noexcept {
  if (p < 0 || p >= GetLength()) return 0;
  WORD word = 0;
  if (!TypeOf(GetAt(p), word)) return 1;  // an unknown unit is not a control character
  return (word & C1_CNTRL) == 0 ? 1 : 0;
}
