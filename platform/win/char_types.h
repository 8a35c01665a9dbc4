// Character types and case mapping of UTF-16 units (GetStringTypeExW,
// CharUpperBuffW, CharLowerBuffW, CharPrevW/CharNextW) and the user's locale.
#ifndef PAVORM_PLATFORM_WIN_CHAR_TYPES_H
#define PAVORM_PLATFORM_WIN_CHAR_TYPES_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

typedef WORD* LPWORD;

#define CT_CTYPE1 0x0001
#define CT_CTYPE2 0x0002
#define CT_CTYPE3 0x0004

// CT_CTYPE1 bits.
#define C1_UPPER 0x0001
#define C1_LOWER 0x0002
#define C1_DIGIT 0x0004
#define C1_SPACE 0x0008
#define C1_PUNCT 0x0010
#define C1_CNTRL 0x0020
#define C1_BLANK 0x0040
#define C1_XDIGIT 0x0080
#define C1_ALPHA 0x0100
#define C1_DEFINED 0x0200

// CT_CTYPE2 values (bidirectional layout classes).
#define C2_LEFTTORIGHT 0x0001
#define C2_RIGHTTOLEFT 0x0002
#define C2_EUROPENUMBER 0x0003
#define C2_EUROPESEPARATOR 0x0004
#define C2_EUROPETERMINATOR 0x0005
#define C2_ARABICNUMBER 0x0006
#define C2_COMMONSEPARATOR 0x0007
#define C2_BLOCKSEPARATOR 0x0008
#define C2_SEGMENTSEPARATOR 0x0009
#define C2_WHITESPACE 0x000A
#define C2_OTHERNEUTRAL 0x000B
#define C2_NOTAPPLICABLE 0x0000

// CT_CTYPE3 bits.
#define C3_NONSPACING 0x0001
#define C3_DIACRITIC 0x0002
#define C3_VOWELMARK 0x0004
#define C3_SYMBOL 0x0008
#define C3_KATAKANA 0x0010
#define C3_HIRAGANA 0x0020
#define C3_HALFWIDTH 0x0040
#define C3_FULLWIDTH 0x0080
#define C3_IDEOGRAPH 0x0100
#define C3_KASHIDA 0x0200
#define C3_LEXICAL 0x0400
#define C3_HIGHSURROGATE 0x0800
#define C3_LOWSURROGATE 0x1000
#define C3_ALPHA 0x8000
#define C3_NOTAPPLICABLE 0x0000

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_INVARIANT 0x007F

#ifdef __cplusplus
extern "C" {
#endif

// One type word per unit of text[0..count) (a negative count: through the
// terminator). The words do not depend on the locale. FALSE with
// ERROR_INVALID_PARAMETER (bad pointers or count) or ERROR_INVALID_FLAGS.
// Lone surrogate units have no CT_CTYPE1 bits.
PAVORM_API BOOL GetStringTypeExW(LCID locale, DWORD infoType, LPCWSTR text, int count, LPWORD types);
PAVORM_API BOOL GetStringTypeW(DWORD infoType, LPCWSTR text, int count, LPWORD types);

// The user's locale (from LC_ALL / LC_MESSAGES / LANG, as ICU reads them);
// 1033 when it has no Windows identifier.
PAVORM_API LCID GetUserDefaultLCID(void);
PAVORM_API LANGID GetUserDefaultLangID(void);

// Simple, locale-independent case mapping of each unit in place (a unit
// whose mapping is not one BMP unit stays as it is). Returns count, 0 for null.
PAVORM_API DWORD CharUpperBuffW(LPWSTR text, DWORD count);
PAVORM_API DWORD CharLowerBuffW(LPWSTR text, DWORD count);

// The start of the character before current: one unit back, two over a
// surrogate pair, and further back over combining marks. Never before start;
// start itself when current <= start. Null when start is null.
PAVORM_API LPWSTR CharPrevW(LPCWSTR start, LPCWSTR current);
// The start of the next character (the mirror image of CharPrevW); current
// itself at the terminator.
PAVORM_API LPWSTR CharNextW(LPCWSTR current);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
