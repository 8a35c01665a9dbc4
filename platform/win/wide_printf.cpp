#include "platform/win/wide_printf.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win/code_pages.h"

namespace pavo {

PrintfVaListArgs::PrintfVaListArgs(va_list args) { va_copy(m_args, args); }

PrintfVaListArgs::~PrintfVaListArgs() { va_end(m_args); }

bool PrintfVaListArgs::Next(PrintfArgKind kind, PrintfArgValue& value) {
  switch (kind) {
    case PrintfArgKind::Int32: value.i32 = va_arg(m_args, int32_t); break;
    case PrintfArgKind::Int64: value.i64 = va_arg(m_args, int64_t); break;
    case PrintfArgKind::Pointer: value.ptr = va_arg(m_args, const void*); break;
    case PrintfArgKind::Double: value.dbl = va_arg(m_args, double); break;
  }
  return true;
}

bool PrintfArrayArgs::Next(PrintfArgKind kind, PrintfArgValue& value) {
  const bool wideValue = kind == PrintfArgKind::Int64 || kind == PrintfArgKind::Double;
  const size_t slots = (wideValue && sizeof(ULONG_PTR) < 8) ? 2 : 1;
  if (m_next >= m_count || m_count - m_next < slots) return false;
  uint64_t bits = m_args[m_next];
  if (slots == 2) bits |= static_cast<uint64_t>(m_args[m_next + 1]) << 32;
  m_next += slots;
  switch (kind) {
    case PrintfArgKind::Int32: value.i32 = static_cast<int32_t>(static_cast<uint32_t>(bits)); break;
    case PrintfArgKind::Int64: value.i64 = static_cast<int64_t>(bits); break;
    case PrintfArgKind::Pointer: value.ptr = reinterpret_cast<const void*>(static_cast<ULONG_PTR>(bits)); break;
    case PrintfArgKind::Double: std::memcpy(&value.dbl, &bits, sizeof value.dbl); break;
  }
  return true;
}

namespace {

bool IsDigit(WCHAR c) { return c >= u'0' && c <= u'9'; }

// Reads decimal digits at text[i..length); false when the number passes kPrintfMaxWidth.
bool ReadNumber(const WCHAR* text, size_t length, size_t& i, int& value) {
  value = 0;
  while (i < length && IsDigit(text[i])) {
    value = value * 10 + (text[i] - u'0');
    if (value > kPrintfMaxWidth) return false;
    ++i;
  }
  return true;
}

// Appends n copies of c, within the output cap.
bool Pad(WideString& out, size_t n, WCHAR c) {
  if (n > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - n) return false;
  out.append(n, c);
  return true;
}

// Appends body justified in dir.width, padding with fill on the side the flags say.
bool AppendField(WideString& out, const PrintfDirective& dir, const WCHAR* body, size_t n, WCHAR fill = u' ') {
  const size_t width = static_cast<size_t>(dir.width);
  const size_t padding = width > n ? width - n : 0;
  if (!dir.left && !Pad(out, padding, fill)) return false;
  if (n > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - n) return false;
  out.append(body, n);
  if (dir.left && !Pad(out, padding, u' ')) return false;
  return true;
}

bool FetchInteger(const PrintfDirective& dir, bool isSigned, PrintfArgs& args, uint64_t& magnitude, bool& negative) {
  PrintfArgValue v{};
  negative = false;
  const bool wide = dir.size == PrintfDirective::Size::LongLong || dir.size == PrintfDirective::Size::SizeT;
  if (!args.Next(wide ? PrintfArgKind::Int64 : PrintfArgKind::Int32, v)) return false;
  int64_t s = 0;
  uint64_t u = 0;
  if (wide) {
    s = v.i64;
    u = static_cast<uint64_t>(v.i64);
  } else if (dir.size == PrintfDirective::Size::Short) {
    s = static_cast<int16_t>(v.i32);
    u = static_cast<uint16_t>(v.i32);
  } else if (dir.size == PrintfDirective::Size::Char) {
    s = static_cast<int8_t>(v.i32);
    u = static_cast<uint8_t>(v.i32);
  } else {
    s = v.i32;
    u = static_cast<uint32_t>(v.i32);
  }
  if (isSigned) {
    negative = s < 0;
    magnitude = negative ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
  } else {
    magnitude = u;
  }
  return true;
}

PrintfStatus AppendInteger(WideString& out, const PrintfDirective& dir, PrintfArgs& args) {
  const WCHAR letter = dir.conversion;
  const bool isSigned = letter == u'd' || letter == u'i';
  uint64_t magnitude = 0;
  bool negative = false;
  if (letter == u'p') {
    PrintfArgValue v{};
    if (!args.Next(PrintfArgKind::Pointer, v)) return PrintfStatus::MissingArgument;
    magnitude = reinterpret_cast<uintptr_t>(v.ptr);
  } else if (!FetchInteger(dir, isSigned, args, magnitude, negative)) {
    return PrintfStatus::MissingArgument;
  }
  const unsigned base = (letter == u'x' || letter == u'X' || letter == u'p') ? 16 : letter == u'o' ? 8 : 10;
  const char* digitSet = (letter == u'x') ? "0123456789abcdef" : "0123456789ABCDEF";
  WCHAR digits[24];
  size_t nd = 0;
  for (uint64_t m = magnitude; m != 0; m /= base) digits[nd++] = static_cast<WCHAR>(digitSet[m % base]);
  // Digits are produced backwards; minimum digit count from the precision
  // (%p always shows the pointer's full width, as the Microsoft runtime does).
  size_t minDigits = dir.precision >= 0 ? static_cast<size_t>(dir.precision) : 1;
  if (letter == u'p') minDigits = sizeof(void*) * 2;
  if (dir.alternate && letter == u'o' && minDigits <= nd) minDigits = nd + 1;
  std::basic_string<WCHAR> prefix;
  if (isSigned) {
    if (negative) prefix = WTEXT("-");
    else if (dir.plus) prefix = WTEXT("+");
    else if (dir.space) prefix = WTEXT(" ");
  }
  if (dir.alternate && magnitude != 0 && (letter == u'x' || letter == u'X')) prefix += letter == u'x' ? WTEXT("0x") : WTEXT("0X");
  const size_t zeros = minDigits > nd ? minDigits - nd : 0;
  WideString body(prefix.begin(), prefix.end());
  size_t fieldZeros = 0;
  const size_t bodyLen = prefix.size() + zeros + nd;
  if (dir.zero && !dir.left && dir.precision < 0 && static_cast<size_t>(dir.width) > bodyLen)
    fieldZeros = static_cast<size_t>(dir.width) - bodyLen;
  if (!Pad(body, zeros + fieldZeros, u'0')) return PrintfStatus::TooLong;
  for (size_t k = nd; k > 0; --k) body.push_back(digits[k - 1]);
  return AppendField(out, dir, body.data(), body.size()) ? PrintfStatus::Ok : PrintfStatus::TooLong;
}

// Narrow text (bytes in the ANSI code page) to UTF-16.
WideString WidenAnsi(const char* text, size_t n) {
  WideString wide;
  if (n == 0 || n > static_cast<size_t>(INT32_MAX)) return wide;
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0);
  if (needed <= 0) return wide;
  wide.resize(static_cast<size_t>(needed));
  const int got = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), &wide[0], needed);
  wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return wide;
}

bool IsNarrow(const PrintfDirective& dir) {
  // In a wide format the upper-case forms (%S, %C) are the narrow ones.
  if (dir.narrowForced) return true;
  if (dir.wideForced) return false;
  return dir.conversion == u'S' || dir.conversion == u'C';
}

PrintfStatus AppendText(WideString& out, const PrintfDirective& dir, PrintfArgs& args) {
  const bool narrow = IsNarrow(dir);
  const size_t limit = dir.precision >= 0 ? static_cast<size_t>(dir.precision) : SIZE_MAX;
  const WCHAR fill = dir.zero && !dir.left ? u'0' : u' ';
  if (dir.conversion == u'c' || dir.conversion == u'C') {
    PrintfArgValue v{};
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    WideString ch;
    if (narrow) {
      const char byte = static_cast<char>(v.i32);
      ch = byte == 0 ? WideString(1, u'\0') : WidenAnsi(&byte, 1);
    } else {
      ch.assign(1, static_cast<WCHAR>(v.i32));
    }
    return AppendField(out, dir, ch.data(), ch.size(), fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  PrintfArgValue v{};
  if (!args.Next(PrintfArgKind::Pointer, v)) return PrintfStatus::MissingArgument;
  if (v.ptr == nullptr) {
    static const WCHAR kNull[] = WTEXT("(null)");
    const size_t n = limit < 6 ? limit : 6;
    return AppendField(out, dir, kNull, n, fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  if (narrow) {
    const auto* s = static_cast<const char*>(v.ptr);
    size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    const WideString wide = WidenAnsi(s, n);
    return AppendField(out, dir, wide.data(), wide.size(), fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  const auto* s = static_cast<const WCHAR*>(v.ptr);
  const size_t n = WideLengthBounded(s, limit);
  return AppendField(out, dir, s, n, fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
}

// The format handed to snprintf is built here from parsed fields only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
PrintfStatus AppendFloat(WideString& out, const PrintfDirective& dir, PrintfArgs& args) {
  PrintfArgValue v{};
  if (!args.Next(PrintfArgKind::Double, v)) return PrintfStatus::MissingArgument;
  // The C library makes the digits; the format is rebuilt from parsed values
  // only, so nothing of the caller's format reaches snprintf.
  char fmt[48];
  int k = 0;
  fmt[k++] = '%';
  if (dir.left) fmt[k++] = '-';
  if (dir.plus) fmt[k++] = '+';
  if (dir.space) fmt[k++] = ' ';
  if (dir.alternate) fmt[k++] = '#';
  if (dir.zero) fmt[k++] = '0';
  fmt[k++] = '*';
  fmt[k++] = '.';
  fmt[k++] = '*';
  fmt[k++] = static_cast<char>(dir.conversion);
  fmt[k] = 0;
  const int precision = dir.precision >= 0 ? dir.precision : (dir.conversion == u'a' || dir.conversion == u'A') ? 13 : 6;
  const int n = std::snprintf(nullptr, 0, fmt, dir.width, precision, v.dbl);
  if (n < 0) return PrintfStatus::BadFormat;
  if (static_cast<size_t>(n) > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - static_cast<size_t>(n))
    return PrintfStatus::TooLong;
  std::string digits(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&digits[0], digits.size(), fmt, dir.width, precision, v.dbl);
  for (int i = 0; i < n; ++i) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(digits[static_cast<size_t>(i)])));
  return PrintfStatus::Ok;
}
#pragma GCC diagnostic pop

}  // namespace

namespace {

// The unit at k, or 0 past the end.
WCHAR UnitAt(const WCHAR* text, size_t length, size_t k) { return k < length ? text[k] : WCHAR{0}; }

// Flags "-+ #0", in any order and number, from text[i].
void ReadFlags(const WCHAR* text, size_t length, size_t& i, PrintfDirective& dir) {
  for (; i < length; ++i) {
    const WCHAR c = text[i];
    if (c == u'-') dir.left = true;
    else if (c == u'+') dir.plus = true;
    else if (c == u' ') dir.space = true;
    else if (c == u'#') dir.alternate = true;
    else if (c == u'0') dir.zero = true;
    else break;
  }
}

// Width and ".precision", each a number or '*'; false when a number passes
// kPrintfMaxWidth.
bool ReadWidthAndPrecision(const WCHAR* text, size_t length, size_t& i, PrintfDirective& dir) {
  if (i < length && text[i] == u'*') {
    dir.widthFromArg = true;
    ++i;
  } else if (!ReadNumber(text, length, i, dir.width)) {
    return false;
  }
  if (i < length && text[i] == u'.') {
    ++i;
    if (i < length && text[i] == u'*') {
      dir.precisionFromArg = true;
      ++i;
    } else if (!ReadNumber(text, length, i, dir.precision)) {
      return false;
    }
  }
  return true;
}

// The size prefix (h, hh, l, ll, w, I, I32, I64, z, t, j, L), if any.
void ReadSizePrefix(const WCHAR* text, size_t length, size_t& i, PrintfDirective& dir) {
  auto at = [&](size_t k) { return UnitAt(text, length, k); };
  switch (at(i)) {
    case u'h':
      ++i;
      dir.narrowForced = true;
      dir.size = PrintfDirective::Size::Short;
      if (at(i) == u'h') {
        dir.size = PrintfDirective::Size::Char;
        ++i;
      }
      break;
    case u'l':
      ++i;
      dir.wideForced = true;
      dir.size = PrintfDirective::Size::Long;
      if (at(i) == u'l') {
        dir.size = PrintfDirective::Size::LongLong;
        ++i;
      }
      break;
    case u'w':
      ++i;
      dir.wideForced = true;
      dir.size = PrintfDirective::Size::Long;
      break;
    case u'I':
      ++i;
      if (at(i) == u'3' && at(i + 1) == u'2') {
        dir.size = PrintfDirective::Size::Long;
        i += 2;
      } else if (at(i) == u'6' && at(i + 1) == u'4') {
        dir.size = PrintfDirective::Size::LongLong;
        i += 2;
      } else {
        dir.size = PrintfDirective::Size::SizeT;
      }
      break;
    case u'z':
    case u't':
    case u'j':
      ++i;
      dir.size = PrintfDirective::Size::SizeT;
      break;
    case u'L':
      ++i;  // long double is double in the Microsoft runtime
      break;
    default:
      break;
  }
}

// The conversion letter at i; false for any other unit.
bool ReadConversion(const WCHAR* text, size_t length, size_t i, PrintfDirective& dir) {
  const WCHAR letter = UnitAt(text, length, i);
  switch (letter) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
    case u'c': case u'C': case u's': case u'S': case u'p':
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
    case u'%':
      dir.conversion = letter;
      return true;
    default:
      return false;  // includes %n, which is never honoured
  }
}

}  // namespace

size_t ParsePrintfDirective(const WCHAR* text, size_t length, PrintfDirective& dir) {
  dir = PrintfDirective{};
  if (text == nullptr) return 0;
  size_t i = 0;
  ReadFlags(text, length, i, dir);
  if (!ReadWidthAndPrecision(text, length, i, dir)) return 0;
  ReadSizePrefix(text, length, i, dir);
  if (!ReadConversion(text, length, i, dir)) return 0;
  return i + 1;
}

PrintfStatus AppendPrintfDirective(WideString& out, const PrintfDirective& parsed, PrintfArgs& args) {
  PrintfDirective dir = parsed;
  if (dir.conversion == u'%') return Pad(out, 1, u'%') ? PrintfStatus::Ok : PrintfStatus::TooLong;
  PrintfArgValue v{};
  if (dir.widthFromArg) {
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    int64_t w = v.i32;
    if (w < 0) {
      dir.left = true;
      w = -w;
    }
    if (w > kPrintfMaxWidth) return PrintfStatus::BadFormat;
    dir.width = static_cast<int>(w);
  }
  if (dir.precisionFromArg) {
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    if (v.i32 > kPrintfMaxWidth) return PrintfStatus::BadFormat;
    dir.precision = v.i32 < 0 ? -1 : v.i32;
  }
  const size_t mark = out.size();
  PrintfStatus status = PrintfStatus::Ok;
  switch (dir.conversion) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o': case u'p':
      status = AppendInteger(out, dir, args);
      break;
    case u'c': case u'C': case u's': case u'S':
      status = AppendText(out, dir, args);
      break;
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
      status = AppendFloat(out, dir, args);
      break;
    default:
      status = PrintfStatus::BadFormat;
      break;
  }
  if (status != PrintfStatus::Ok) out.resize(mark);
  return status;
}

PrintfStatus AppendPrintfConversion(WideString& out, const WCHAR* text, size_t length, PrintfArgs& args,
                                    size_t* consumed) {
  PrintfDirective dir;
  const size_t used = ParsePrintfDirective(text, length, dir);
  if (consumed != nullptr) *consumed = used;
  if (used == 0) return PrintfStatus::BadFormat;
  return AppendPrintfDirective(out, dir, args);
}

PrintfStatus AppendPrintf(WideString& out, const WCHAR* format, size_t length, PrintfArgs& args) {
  if (format == nullptr) return PrintfStatus::Ok;
  PrintfStatus result = PrintfStatus::Ok;
  size_t i = 0;
  while (i < length) {
    size_t run = i;
    while (run < length && format[run] != u'%') ++run;
    if (run > i) {
      if (run - i > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - (run - i)) return PrintfStatus::TooLong;
      out.append(format + i, run - i);
      i = run;
      continue;
    }
    // format[i] is '%'.
    size_t used = 0;
    const PrintfStatus status = AppendPrintfConversion(out, format + i + 1, length - i - 1, args, &used);
    if (status == PrintfStatus::MissingArgument || status == PrintfStatus::TooLong) return status;
    if (used == 0 || status == PrintfStatus::BadFormat) {
      // Copy the '%' literally; the text after it is ordinary text again.
      if (!Pad(out, 1, u'%')) return PrintfStatus::TooLong;
      result = PrintfStatus::BadFormat;
      i += 1;
      continue;
    }
    i += 1 + used;
  }
  return result;
}

}  // namespace pavo
