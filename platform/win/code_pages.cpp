#include "platform/win/code_pages.h"

#include <langinfo.h>
#include <locale.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>

#include <cassert>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/last_error.h"
#include "platform/win/utf8_text.h"
#include "platform/win/wide_text.h"

namespace {

constexpr DWORD kWcDiscardNs = 0x10, kWcSepChars = 0x20, kWcDefaultChar = 0x40;

int Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

// The count a conversion returns for a result of `size` units into a buffer
// of `capacity` (0: only measure), with Windows' errors.
int SizeResult(size_t size, int capacity) {
  if (size > static_cast<size_t>(INT_MAX)) return Fail(ERROR_ARITHMETIC_OVERFLOW);
  if (capacity > 0 && size > static_cast<size_t>(capacity)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<int>(size);
}

// ---------------------------------------------------------------------------
// Which code page is the ANSI one.

struct CharsetMap {
  const char* charset;
  UINT codePage;
};

// Locale charsets (as nl_langinfo spells them) and the Windows ANSI code page
// that a Windows machine set up for the same language would use.
constexpr CharsetMap kCharsets[] = {
    {"UTF-8", 65001},      {"ISO-8859-1", 1252}, {"ISO-8859-15", 1252}, {"ANSI_X3.4-1968", 1252},
    {"CP1252", 1252},      {"ISO-8859-2", 1250}, {"CP1250", 1250},      {"ISO-8859-5", 1251},
    {"KOI8-R", 1251},      {"KOI8-U", 1251},     {"CP1251", 1251},      {"ISO-8859-7", 1253},
    {"ISO-8859-9", 1254},  {"ISO-8859-8", 1255}, {"CP1255", 1255},      {"ISO-8859-6", 1256},
    {"ISO-8859-13", 1257}, {"TIS-620", 874},     {"EUC-JP", 932},       {"SHIFT_JIS", 932},
    {"SJIS", 932},         {"GB2312", 936},      {"GBK", 936},          {"GB18030", 936},
    {"EUC-KR", 949},       {"BIG5", 950},        {"BIG5-HKSCS", 950},   {"EUC-TW", 950},
};

bool SameCharset(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) !=
        std::toupper(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == 0 && *b == 0;
}

UINT LocaleCodePage() {
  static const UINT cached = [] {
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return UINT{1252};
    const char* charset = nl_langinfo_l(CODESET, loc);
    UINT cp = 1252;
    for (const CharsetMap& m : kCharsets) {
      if (charset != nullptr && SameCharset(charset, m.charset)) {
        cp = m.codePage;
        break;
      }
    }
    freelocale(loc);
    return cp;
  }();
  return cached;
}

// Parses PAVORM_ACP; 0 when unset or not a plain decimal code page number.
UINT EnvironmentCodePage() {
  const char* text = std::getenv("PAVORM_ACP");
  if (text == nullptr || *text == 0) return 0;
  unsigned long value = 0;
  for (const char* p = text; *p != 0; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + static_cast<unsigned long>(*p - '0');
    if (value > 65535) return 0;
  }
  return static_cast<UINT>(value);
}

// ---------------------------------------------------------------------------
// ICU converters, one per code page, opened on first use and kept for the
// life of the process. A UConverter is not thread-safe, so each is used under
// its own lock.

struct Converter {
  std::mutex lock;
  UConverter* main = nullptr;   // the conversions themselves
  UConverter* probe = nullptr;  // tests single best-fit candidates from inside callbacks
  UINT codePage = 0;
  ~Converter() {
    if (main != nullptr) ucnv_close(main);
    if (probe != nullptr) ucnv_close(probe);
  }
};

struct ConverterTable {
  std::mutex lock;
  std::unordered_map<UINT, std::unique_ptr<Converter>> open;
  std::unordered_map<UINT, bool> missing;
};

ConverterTable& Table() {
  static ConverterTable* table = new ConverterTable;  // outlives every static user
  return *table;
}

UConverter* OpenIcu(UINT codePage) {
  // ICU knows Windows code pages as "windows-N" (1250-1258, 874, 932, 936,
  // 949, 950) and DOS/OEM ones as "ibm-N"; a few have names of their own.
  std::string names[3];
  switch (codePage) {
    case 20127:
      names[0] = "US-ASCII";
      break;
    case 28591:
      names[0] = "ISO-8859-1";
      break;
    case 20932:
      names[0] = "EUC-JP";
      break;
    case 51932:
      names[0] = "EUC-JP";
      break;
    case 51949:
      names[0] = "EUC-KR";
      break;
    case 54936:
      names[0] = "GB18030";
      break;
    case 20866:
      names[0] = "KOI8-R";
      break;
    case 21866:
      names[0] = "KOI8-U";
      break;
    default:
      if (codePage >= 28592 && codePage <= 28605)
        names[0] = "ISO-8859-" + std::to_string(codePage - 28590);
      break;
  }
  names[1] = "windows-" + std::to_string(codePage);
  names[2] = "ibm-" + std::to_string(codePage);
  for (const std::string& name : names) {
    if (name.empty()) continue;
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(name.c_str(), &err);
    if (U_SUCCESS(err) && conv != nullptr) return conv;
    if (conv != nullptr) ucnv_close(conv);
  }
  return nullptr;
}

Converter* GetConverter(UINT codePage) {
  ConverterTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.open.find(codePage);
  if (it != table.open.end()) return it->second.get();
  if (table.missing.count(codePage) != 0) return nullptr;
  // Code pages whose text is not a byte stream of this kind are refused, as
  // Windows refuses UTF-16 (1200/1201) and UTF-32 in these functions.
  if (codePage == 1200 || codePage == 1201 || codePage == 12000 || codePage == 12001 ||
      codePage == 65000) {
    table.missing[codePage] = true;
    return nullptr;
  }
  auto conv = std::make_unique<Converter>();
  conv->codePage = codePage;
  conv->main = OpenIcu(codePage);
  conv->probe = conv->main != nullptr ? OpenIcu(codePage) : nullptr;
  if (conv->main == nullptr || conv->probe == nullptr) {
    table.missing[codePage] = true;
    return nullptr;
  }
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setFromUCallBack(conv->probe, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  Converter* result = conv.get();
  table.open.emplace(codePage, std::move(conv));
  return result;
}

UINT ResolveCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return GetACP();
  if (codePage == CP_OEMCP) return GetOEMCP();
  return codePage;
}

// ---------------------------------------------------------------------------
// ICU callbacks that give Windows' substitutions.

struct FromUnicodeContext {
  Converter* conv;
  const char* substitute;
  int32_t substituteLength;
  bool bestFit;
  bool usedDefault;
};

// Windows' best-fit tables mostly map a character to its base letter (ü -> u,
// Ａ -> A). The compatibility decomposition gives that base: it is used when
// it is a single character that the code page has.
// Best fits that no decomposition gives: letters with a stroke or bar, and
// punctuation variants Windows folds to ASCII.
struct BestFit {
  UChar32 from;
  UChar to;
};
constexpr BestFit kExtraBestFits[] = {
    {0x0110, u'D'},  {0x0111, u'd'},  {0x0126, u'H'}, {0x0127, u'h'}, {0x0131, u'i'},
    {0x0141, u'L'},  {0x0142, u'l'},  {0x0166, u'T'}, {0x0167, u't'}, {0x0180, u'b'},
    {0x0197, u'I'},  {0x01B6, u'z'},  {0x2010, u'-'}, {0x2011, u'-'}, {0x2012, u'-'},
    {0x2212, u'-'},  {0x2032, u'\''}, {0x2035, u'`'}, {0x2044, u'/'}, {0x2215, u'/'},
    {0x2216, u'\\'}, {0x2236, u':'},  {0x223C, u'~'}, {0x2013, u'-'}, {0x2014, u'-'},
    {0x2018, u'\''}, {0x2019, u'\''}, {0x201C, u'"'}, {0x201D, u'"'}, {0x2022, u'.'},
};

bool WriteBytesOf(FromUnicodeContext& ctx, UConverterFromUnicodeArgs* args, UChar base,
                  UErrorCode* err) {
  char bytes[8];
  UErrorCode e = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(ctx.conv->probe, bytes, sizeof bytes, &base, 1, &e);
  if (U_FAILURE(e) || n <= 0) return false;
  ucnv_cbFromUWriteBytes(args, bytes, n, 0, err);
  return U_SUCCESS(*err);
}

bool WriteBestFit(FromUnicodeContext& ctx, UConverterFromUnicodeArgs* args, UChar32 cp,
                  UErrorCode* err) {
  for (const BestFit& fit : kExtraBestFits) {
    if (fit.from == cp) return WriteBytesOf(ctx, args, fit.to, err);
  }
  UErrorCode e = U_ZERO_ERROR;
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&e);
  if (U_FAILURE(e)) return false;
  UChar decomposition[32];
  const int32_t len = unorm2_getDecomposition(nfkd, cp, decomposition, 32, &e);
  if (U_FAILURE(e) || len <= 0 || len > 32) return false;
  UChar base = 0;
  int bases = 0;
  for (int32_t i = 0; i < len; ++i) {
    const int8_t type = u_charType(decomposition[i]);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK)
      continue;
    if (U16_IS_SURROGATE(decomposition[i])) return false;
    base = decomposition[i];
    ++bases;
  }
  if (bases != 1 || base == cp) return false;
  return WriteBytesOf(ctx, args, base, err);
}

void FromUnicodeSubstitute(const void* context, UConverterFromUnicodeArgs* args,
                           const UChar* /*units*/, int32_t /*length*/, UChar32 codePoint,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to do
  auto& ctx = *static_cast<FromUnicodeContext*>(const_cast<void*>(context));
  *err = U_ZERO_ERROR;
  if (reason == UCNV_UNASSIGNED && ctx.bestFit && WriteBestFit(ctx, args, codePoint, err)) return;
  *err = U_ZERO_ERROR;
  ctx.usedDefault = true;
  ucnv_cbFromUWriteBytes(args, ctx.substitute, ctx.substituteLength, 0, err);
}

struct ToUnicodeContext {
  bool strict;
  bool invalid;
};

void ToUnicodeSubstitute(const void* context, UConverterToUnicodeArgs* args, const char* /*bytes*/,
                         int32_t /*length*/, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  auto& ctx = *static_cast<ToUnicodeContext*>(const_cast<void*>(context));
  if (ctx.strict) {
    ctx.invalid = true;  // leave *err set: the conversion stops
    return;
  }
  *err = U_ZERO_ERROR;
  const UChar sub = u'?';
  ucnv_cbToUWriteUChars(args, &sub, 1, 0, err);
}

// ---------------------------------------------------------------------------
// Code pages converted by Windows' own tables (1252 and 932: the ANSI code
// pages of the library's hosts), generated from Windows' code-page files by
// scripts/gen-code-page-tables.py. ICU's tables for them differ from
// Windows' in best fits, control codes and a few bytes (932's 0x80, 0xA0,
// 0xFD-0xFF), so ICU is not used for them at all.

// A unit whose bytes are not derived from the decoding tables.
struct WideException {
  WCHAR unit;
  uint16_t code;  // one byte, or lead byte << 8 | trail byte
};

struct NlsCodePage {
  UINT number;
  uint16_t defaultChar;             // the byte of a unit the code page lacks ('?')
  WCHAR uniDefaultChar;             // the unit of an undefined byte sequence
  uint16_t uniDefaultBytes;         // the one sequence that stands for uniDefaultChar itself
  const WCHAR* singleBytes;         // 256 units; 0 for lead bytes
  const unsigned char* leadIndex;   // 256 entries, 0 or 1 + trail table; null: single-byte
  const WCHAR (*trailTables)[256];  // lead + trail -> unit
  const WideException* wideExceptions;
  size_t wideExceptionCount;
};

#include "platform/win/code_pages_tables.inc"

constexpr size_t kNlsCodePageCount = sizeof kNlsCodePages / sizeof kNlsCodePages[0];

const NlsCodePage* FindNlsCodePage(UINT codePage) {
  for (const NlsCodePage* page : kNlsCodePages) {
    if (page->number == codePage) return page;
  }
  return nullptr;
}

bool IsLeadByte(const NlsCodePage& page, unsigned char byte) {
  return page.leadIndex != nullptr && page.leadIndex[byte] != 0;
}

WCHAR DecodePair(const NlsCodePage& page, unsigned char lead, unsigned char trail) {
  assert(IsLeadByte(page, lead));
  return page.trailTables[page.leadIndex[lead] - 1][trail];
}

// A sequence that decodes to the Unicode default is undefined, except the
// one that really is that character (932's 0x8145 for U+30FB).
bool IsDefined(const NlsCodePage& page, uint16_t code, WCHAR unit) {
  return unit != page.uniDefaultChar || code == page.uniDefaultBytes;
}

bool DecodesTo(const NlsCodePage& page, uint16_t code, WCHAR unit) {
  const auto high = static_cast<unsigned char>(code >> 8);
  const auto low = static_cast<unsigned char>(code & 0xFF);
  if (high != 0) return IsLeadByte(page, high) && DecodePair(page, high, low) == unit;
  return !IsLeadByte(page, low) && page.singleBytes[low] == unit;
}

// UTF-16 -> bytes for all 65,536 units: each unit goes back to the lowest
// defined sequence that decodes to it, or to the default character; the
// generated exceptions (best fits, the chosen one of duplicate sequences)
// override that. The generator checks this rule against Windows' table.
std::unique_ptr<uint16_t[]> BuildWideTable(const NlsCodePage& page) {
  auto table = std::make_unique<uint16_t[]>(0x10000);
  std::vector<bool> assigned(0x10000, false);
  const auto offer = [&](uint16_t code, WCHAR unit) {
    if (!IsDefined(page, code, unit) || assigned[unit]) return;
    table[unit] = code;
    assigned[unit] = true;
  };
  for (unsigned byte = 0; byte < 0x100; ++byte) {
    if (!IsLeadByte(page, static_cast<unsigned char>(byte)))
      offer(static_cast<uint16_t>(byte), page.singleBytes[byte]);
  }
  for (unsigned lead = 0; lead < 0x100; ++lead) {
    if (!IsLeadByte(page, static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0; trail < 0x100; ++trail) {
      offer(static_cast<uint16_t>(lead << 8 | trail),
            DecodePair(page, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)));
    }
  }
  for (size_t unit = 0; unit < 0x10000; ++unit) {
    if (!assigned[unit]) table[unit] = page.defaultChar;
  }
  for (size_t i = 0; i < page.wideExceptionCount; ++i)
    table[page.wideExceptions[i].unit] = page.wideExceptions[i].code;
  return table;
}

// Built on first use, kept for the life of the process (no static destructor
// runs before a late conversion).
const uint16_t* WideTable(const NlsCodePage& page) {
  static std::once_flag built[kNlsCodePageCount];
  static const uint16_t* tables[kNlsCodePageCount];
  size_t index = 0;
  while (kNlsCodePages[index] != &page) ++index;
  std::call_once(built[index], [&] { tables[index] = BuildWideTable(page).release(); });
  return tables[index];
}

// The bytes of one unit, or of the substitute when the code page lacks it.
// With best fit on, only the default character counts as lacking; with
// WC_NO_BEST_FIT_CHARS every result that does not decode back to the unit.
uint16_t EncodeUnit(const NlsCodePage& page, const uint16_t* wideTable, WCHAR unit, bool bestFit,
                    uint16_t substitute, bool* usedDefault) {
  const uint16_t code = wideTable[unit];
  if ((bestFit && code != page.defaultChar) || DecodesTo(page, code, unit)) return code;
  *usedDefault = true;
  return substitute;
}

size_t EncodedSize(uint16_t code) { return code > 0xFF ? 2 : 1; }

int NlsWideCharToMultiByte(const NlsCodePage& page, DWORD flags, const WCHAR* text, size_t units,
                           LPSTR out, int capacity, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  uint16_t substitute = page.defaultChar;
  if (defaultChar != nullptr) {
    // One byte, or two in a double-byte code page when the second is not the
    // terminator (the second byte is read only when the first is not it).
    const auto first = static_cast<unsigned char>(defaultChar[0]);
    substitute = first;
    if (page.leadIndex != nullptr && first != 0 && defaultChar[1] != 0)
      substitute = static_cast<uint16_t>(first << 8 | static_cast<unsigned char>(defaultChar[1]));
  }
  const uint16_t* wideTable = WideTable(page);
  const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
  bool used = false;
  size_t size = 0;
  for (size_t i = 0; i < units; ++i)
    size += EncodedSize(EncodeUnit(page, wideTable, text[i], bestFit, substitute, &used));
  if (usedDefaultChar != nullptr) *usedDefaultChar = used ? TRUE : FALSE;
  const int result = SizeResult(size, capacity);
  if (result <= 0 || capacity == 0) return result;
  char* next = out;
  for (size_t i = 0; i < units; ++i) {
    const uint16_t code = EncodeUnit(page, wideTable, text[i], bestFit, substitute, &used);
    if (code > 0xFF) *next++ = static_cast<char>(code >> 8);
    *next++ = static_cast<char>(code & 0xFF);
  }
  assert(static_cast<size_t>(next - out) == size);
  return result;
}

bool IsPrivateUse(WCHAR unit) { return unit >= 0xE000 && unit <= 0xF8FF; }

// MB_ERR_INVALID_CHARS: a lead byte without its trail byte, a sequence the
// code page leaves undefined, and a single byte that decodes to a
// private-use unit (932's 0xA0, 0xFD-0xFF; not its user-defined double-byte
// range 0xF040-0xF9FC) fail the whole conversion, as under the real API.
bool HasUndefinedSequence(const NlsCodePage& page, const unsigned char* bytes, size_t count) {
  for (size_t pos = 0; pos < count;) {
    const unsigned char byte = bytes[pos];
    if (IsLeadByte(page, byte)) {
      if (pos + 1 >= count) return true;
      const unsigned char trail = bytes[pos + 1];
      if (!IsDefined(page, static_cast<uint16_t>(byte << 8 | trail), DecodePair(page, byte, trail)))
        return true;
      pos += 2;
      continue;
    }
    const WCHAR unit = page.singleBytes[byte];
    if (!IsDefined(page, byte, unit) || IsPrivateUse(unit)) return true;
    ++pos;
  }
  return false;
}

// The unit of the sequence at bytes[*pos], advancing *pos past it. A lead
// byte at the end, or before a 0 byte (which stays a character of its own),
// is the Unicode default.
WCHAR DecodeNext(const NlsCodePage& page, const unsigned char* bytes, size_t count, size_t* pos) {
  const unsigned char byte = bytes[*pos];
  ++*pos;
  if (!IsLeadByte(page, byte)) return page.singleBytes[byte];
  if (*pos >= count || bytes[*pos] == 0) return page.uniDefaultChar;
  return DecodePair(page, byte, bytes[(*pos)++]);
}

int NlsMultiByteToWideChar(const NlsCodePage& page, DWORD flags, LPCSTR text, size_t count,
                           LPWSTR out, int capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if ((flags & MB_ERR_INVALID_CHARS) != 0 && HasUndefinedSequence(page, bytes, count))
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  size_t size = 0;
  for (size_t pos = 0; pos < count; ++size) DecodeNext(page, bytes, count, &pos);
  const int result = SizeResult(size, capacity);
  if (result <= 0 || capacity == 0) return result;
  WCHAR* next = out;
  for (size_t pos = 0; pos < count;) *next++ = DecodeNext(page, bytes, count, &pos);
  assert(static_cast<size_t>(next - out) == size);
  return result;
}

}  // namespace

extern "C" UINT GetACP(void) {
  const UINT env = EnvironmentCodePage();
  if (env != 0 && env != CP_OEMCP && env != CP_THREAD_ACP && IsValidCodePage(env)) return env;
  return LocaleCodePage();
}

extern "C" UINT GetOEMCP(void) {
  switch (GetACP()) {
    case 1250:
      return 852;
    case 1251:
      return 866;
    case 1253:
      return 737;
    case 1254:
      return 857;
    case 1255:
      return 862;
    case 1256:
      return 720;
    case 1257:
      return 775;
    case 874:
      return 874;
    case 932:
      return 932;
    case 936:
      return 936;
    case 949:
      return 949;
    case 950:
      return 950;
    case 65001:
      return 65001;
    default:
      return 850;
  }
}

extern "C" BOOL IsValidCodePage(UINT codePage) {
  if (codePage == CP_UTF8 || FindNlsCodePage(codePage) != nullptr) return TRUE;
  if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP) return FALSE;
  return GetConverter(codePage) != nullptr ? TRUE : FALSE;
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int cchWideChar,
                                   LPSTR multiByteText, int cbMultiByte, LPCSTR defaultChar,
                                   LPBOOL usedDefaultChar) {
  if (wideText == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && multiByteText == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  // Windows reads every negative count as -1: through the terminator.
  size_t units =
      cchWideChar < 0 ? pavo::WideLength(wideText) + 1 : static_cast<size_t>(cchWideChar);
  if (units > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (cbMultiByte > 0) {
    const auto* wBegin = reinterpret_cast<const char*>(wideText);
    const char* wEnd = wBegin + units * sizeof(WCHAR);
    if (multiByteText < wEnd && wBegin < multiByteText + cbMultiByte)
      return Fail(ERROR_INVALID_PARAMETER);
  }
  const UINT cp = ResolveCodePage(codePage);
  if (cp == CP_UTF8) {
    if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
    if (defaultChar != nullptr || usedDefaultChar != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    // Straight into the caller's buffer: UTF-8 needs no ICU and no copy.
    size_t produced = 0;
    if (pavo::EncodeUtf8(wideText, units, (flags & WC_ERR_INVALID_CHARS) != 0,
                         cbMultiByte > 0 ? multiByteText : nullptr,
                         static_cast<size_t>(cbMultiByte), &produced) == pavo::Utf8Status::kInvalid)
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    return SizeResult(produced, cbMultiByte);
  }
  const DWORD allowed =
      WC_NO_BEST_FIT_CHARS | WC_COMPOSITECHECK | kWcDiscardNs | kWcSepChars | kWcDefaultChar;
  if ((flags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  if (const NlsCodePage* page = FindNlsCodePage(cp))
    return NlsWideCharToMultiByte(*page, flags, wideText, units, multiByteText, cbMultiByte,
                                  defaultChar, usedDefaultChar);
  Converter* conv = GetConverter(cp);
  if (conv == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(conv->lock);
  FromUnicodeContext ctx{conv, "?", 1, (flags & WC_NO_BEST_FIT_CHARS) == 0, false};
  if (defaultChar != nullptr) {
    // Windows takes a one-byte default, or two bytes in double-byte code pages.
    const int8_t maxBytes = ucnv_getMaxCharSize(conv->main);
    ctx.substitute = defaultChar;
    ctx.substituteLength = (maxBytes > 1 && defaultChar[0] != 0 && defaultChar[1] != 0) ? 2 : 1;
  }
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setFallback(conv->main, ctx.bestFit ? TRUE : FALSE);
  ucnv_setFromUCallBack(conv->main, FromUnicodeSubstitute, &ctx, nullptr, nullptr, &err);
  const auto* src = reinterpret_cast<const UChar*>(wideText);
  const int32_t srcLen = static_cast<int32_t>(units);
  const int32_t needed = ucnv_fromUChars(conv->main, nullptr, 0, src, srcLen, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return Fail(ERROR_INVALID_PARAMETER);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    err = U_ZERO_ERROR;
    ctx.usedDefault = false;
    const int32_t written = ucnv_fromUChars(conv->main, &out[0], needed + 1, src, srcLen, &err);
    if (U_FAILURE(err) || written != needed) return Fail(ERROR_INVALID_PARAMETER);
    out.resize(static_cast<size_t>(needed));
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = ctx.usedDefault ? TRUE : FALSE;
  const int size = SizeResult(out.size(), cbMultiByte);
  if (size > 0 && cbMultiByte > 0) std::memcpy(multiByteText, out.data(), out.size());
  return size;
}

extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteText,
                                   int cbMultiByte, LPWSTR wideText, int cchWideChar) {
  if (multiByteText == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && wideText == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  // Windows reads every negative count as -1: through the terminator.
  const size_t bytes =
      cbMultiByte < 0 ? std::strlen(multiByteText) + 1 : static_cast<size_t>(cbMultiByte);
  if (bytes > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (cchWideChar > 0) {
    const auto* wBegin = reinterpret_cast<const char*>(wideText);
    const char* wEnd = wBegin + static_cast<size_t>(cchWideChar) * sizeof(WCHAR);
    if (multiByteText < wEnd && wBegin < multiByteText + bytes)
      return Fail(ERROR_INVALID_PARAMETER);
  }
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  const UINT cp = ResolveCodePage(codePage);
  if (cp == CP_UTF8) {
    if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
    size_t produced = 0;
    if (pavo::DecodeUtf8(multiByteText, bytes, strict, cchWideChar > 0 ? wideText : nullptr,
                         static_cast<size_t>(cchWideChar), &produced) == pavo::Utf8Status::kInvalid)
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    return SizeResult(produced, cchWideChar);
  }
  const DWORD allowed =
      MB_PRECOMPOSED | MB_ERR_INVALID_CHARS | 0x2 /*MB_COMPOSITE*/ | 0x4 /*MB_USEGLYPHCHARS*/;
  if ((flags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  if (const NlsCodePage* page = FindNlsCodePage(cp))
    return NlsMultiByteToWideChar(*page, flags, multiByteText, bytes, wideText, cchWideChar);
  Converter* conv = GetConverter(cp);
  if (conv == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(conv->lock);
  ToUnicodeContext ctx{strict, false};
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv->main, ToUnicodeSubstitute, &ctx, nullptr, nullptr, &err);
  const int32_t srcLen = static_cast<int32_t>(bytes);
  const int32_t needed = ucnv_toUChars(conv->main, nullptr, 0, multiByteText, srcLen, &err);
  if (ctx.invalid) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return Fail(ERROR_INVALID_PARAMETER);
  pavo::WideString out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    err = U_ZERO_ERROR;
    const int32_t written = ucnv_toUChars(conv->main, reinterpret_cast<UChar*>(&out[0]), needed + 1,
                                          multiByteText, srcLen, &err);
    if (U_FAILURE(err) || written != needed) return Fail(ERROR_INVALID_PARAMETER);
    out.resize(static_cast<size_t>(needed));
  }
  const int size = SizeResult(out.size(), cchWideChar);
  if (size > 0 && cchWideChar > 0) std::memcpy(wideText, out.data(), out.size() * sizeof(WCHAR));
  return size;
}
