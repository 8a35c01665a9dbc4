#include "tools/message_text.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#endif

#include "tools/message_inserts.h"

namespace pavorm_tool {
namespace {

bool IsDigit(WCHAR c) { return c >= WTEXT('0') && c <= WTEXT('9'); }
bool IsSpace(WCHAR c) { return c == WTEXT(' ') || c == WTEXT('\t') || c == WTEXT('\n') || c == WTEXT('\r'); }
bool IsAscii(WCHAR c, const char* set) { return c != 0 && c < 0x80 && std::strchr(set, static_cast<char>(c)) != nullptr; }

// Length of the printf directive at text[at] ('%'), 0 when none: flags,
// width, precision, a length modifier (h hh l ll L z j t w I I32 I64) and a
// conversion; also the positional form %1$s and the escape %%.
size_t PrintfLength(const pavo::WideString& text, size_t at) {
  const size_t n = text.size();
  size_t i = at + 1;
  if (i >= n) return 0;
  if (text[i] == WTEXT('%')) return 2;
  // %N$: a positional argument.
  size_t digits = i;
  while (digits < n && IsDigit(text[digits])) ++digits;
  if (digits > i && digits < n && text[digits] == WTEXT('$')) i = digits + 1;
  while (i < n && IsAscii(text[i], "-+ #0'")) ++i;
  if (i < n && text[i] == WTEXT('*')) {
    ++i;
  } else {
    while (i < n && IsDigit(text[i])) ++i;
  }
  if (i < n && text[i] == WTEXT('.')) {
    ++i;
    if (i < n && text[i] == WTEXT('*')) {
      ++i;
    } else {
      while (i < n && IsDigit(text[i])) ++i;
    }
  }
  if (i < n && text[i] == WTEXT('I')) {
    ++i;
    if (i + 1 < n && ((text[i] == WTEXT('6') && text[i + 1] == WTEXT('4')) ||
                      (text[i] == WTEXT('3') && text[i + 1] == WTEXT('2')))) {
      i += 2;
    }
  } else if (i < n && IsAscii(text[i], "hlLzjtwq")) {
    const WCHAR first = text[i];
    ++i;
    if (i < n && (first == WTEXT('h') || first == WTEXT('l')) && text[i] == first) ++i;
  }
  if (i < n && IsAscii(text[i], "diouxXeEfFgGaAcCsSpnZ")) return i + 1 - at;
  return 0;
}

}  // namespace

std::vector<TextPiece> SplitMessageText(const pavo::WideString& text) {
  const size_t n = text.size();
  // protectedEnd[i]: the end of the longest protected piece starting at i (0: none).
  std::vector<size_t> pieceEnd(n, 0);
  std::vector<TextPiece::Kind> pieceKind(n, TextPiece::kText);
  auto offer = [&](size_t begin, size_t end, TextPiece::Kind kind) {
    if (end > pieceEnd[begin]) {
      pieceEnd[begin] = end;
      pieceKind[begin] = kind;
    }
  };
  for (const InsertSpan& span : FindInserts(text)) offer(span.begin, span.end, TextPiece::kInsert);
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == WTEXT('%')) {
      const size_t len = PrintfLength(text, i);
      if (len > 0) offer(i, i + len, TextPiece::kPrintf);
    } else if (text[i] == WTEXT('&') && i + 1 < n && (text[i + 1] == WTEXT('&') || !IsSpace(text[i + 1]))) {
      // The marked character whole: a surrogate pair is one key.
      const bool pair = i + 2 < n && text[i + 1] >= 0xD800 && text[i + 1] <= 0xDBFF && text[i + 2] >= 0xDC00 &&
                        text[i + 2] <= 0xDFFF;
      offer(i, i + (pair ? 3 : 2), TextPiece::kAccelerator);
    } else if (text[i] == WTEXT('\\') && i + 1 < n) {
      offer(i, i + 2, TextPiece::kBackslash);
    }
  }
  std::vector<TextPiece> pieces;
  size_t i = 0;
  while (i < n) {
    if (pieceEnd[i] != 0) {
      // Pieces that overlap this one join it: no unit of either is text.
      size_t end = pieceEnd[i];
      for (size_t k = i + 1; k < end && k < n; ++k) end = std::max(end, pieceEnd[k]);
      pieces.push_back({pieceKind[i], i, end});
      i = end;
      continue;
    }
    const size_t start = i;
    while (i < n && pieceEnd[i] == 0) ++i;
    pieces.push_back({TextPiece::kText, start, i});
  }
  return pieces;
}

pavo::WideString AcceleratorKeys(const pavo::WideString& text) {
  pavo::WideString keys;
  for (const TextPiece& p : SplitMessageText(text)) {
    if (p.kind != TextPiece::kAccelerator || text[p.begin] != WTEXT('&')) continue;
    if (text[p.begin + 1] == WTEXT('&')) continue;
    keys.append(text, p.begin + 1, p.end - p.begin - 1);
  }
  return keys;
}

bool HasLetters(const pavo::WideString& text) {
  for (const TextPiece& p : SplitMessageText(text)) {
    if (p.kind != TextPiece::kText && p.kind != TextPiece::kAccelerator) continue;
#if defined(_WIN32)
    // The system's character types, unit by unit (a surrogate is no letter).
    for (size_t i = p.begin; i < p.end; ++i) {
      WORD type = 0;
      if (GetStringTypeW(CT_CTYPE1, &text[i], 1, &type) && (type & C1_ALPHA) != 0) return true;
    }
#else
    const UChar* units = reinterpret_cast<const UChar*>(text.data());
    int32_t i = static_cast<int32_t>(p.begin);
    while (i < static_cast<int32_t>(p.end)) {
      UChar32 c = 0;
      U16_NEXT(units, i, static_cast<int32_t>(p.end), c);
      if (u_isalpha(c)) return true;
    }
#endif
  }
  return false;
}

size_t CharacterCount(const pavo::WideString& text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (pair) ++i;
    ++count;
  }
  return count;
}

}  // namespace pavorm_tool
