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

// Appends body justified in spec.width, padding with fill on the side the flags say.
bool AppendField(WideString& out, const PrintfSpec& spec, const WCHAR* body, size_t n, WCHAR fill = u' ') {
  const size_t width = static_cast<size_t>(spec.width);
  const size_t padding = width > n ? width - n : 0;
  if (!spec.left && !Pad(out, padding, fill)) return false;
  if (n > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - n) return false;
  out.append(body, n);
  if (spec.left && !Pad(out, padding, u' ')) return false;
  return true;
}

bool FetchInteger(const PrintfSpec& spec, bool isSigned, PrintfArgs& args, uint64_t& magnitude, bool& negative) {
  PrintfArgValue v{};
  negative = false;
  const bool wide = spec.size == PrintfSpec::Size::LongLong || spec.size == PrintfSpec::Size::SizeT;
  if (!args.Next(wide ? PrintfArgKind::Int64 : PrintfArgKind::Int32, v)) return false;
  int64_t s = 0;
  uint64_t u = 0;
  if (wide) {
    s = v.i64;
    u = static_cast<uint64_t>(v.i64);
  } else if (spec.size == PrintfSpec::Size::Short) {
    s = static_cast<int16_t>(v.i32);
    u = static_cast<uint16_t>(v.i32);
  } else if (spec.size == PrintfSpec::Size::Char) {
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

PrintfStatus AppendInteger(WideString& out, const PrintfSpec& spec, PrintfArgs& args) {
  const WCHAR conv = spec.conversion;
  const bool isSigned = conv == u'd' || conv == u'i';
  uint64_t magnitude = 0;
  bool negative = false;
  if (conv == u'p') {
    PrintfArgValue v{};
    if (!args.Next(PrintfArgKind::Pointer, v)) return PrintfStatus::MissingArgument;
    magnitude = reinterpret_cast<uintptr_t>(v.ptr);
  } else if (!FetchInteger(spec, isSigned, args, magnitude, negative)) {
    return PrintfStatus::MissingArgument;
  }
  const unsigned base = (conv == u'x' || conv == u'X' || conv == u'p') ? 16 : conv == u'o' ? 8 : 10;
  const char* digitSet = (conv == u'x') ? "0123456789abcdef" : "0123456789ABCDEF";
  WCHAR digits[24];
  size_t nd = 0;
  for (uint64_t m = magnitude; m != 0; m /= base) digits[nd++] = static_cast<WCHAR>(digitSet[m % base]);
  // Digits are produced backwards; minimum digit count from the precision
  // (%p always shows the pointer's full width, as the Microsoft runtime does).
  size_t minDigits = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : 1;
  if (conv == u'p') minDigits = sizeof(void*) * 2;
  if (spec.alternate && conv == u'o' && minDigits <= nd) minDigits = nd + 1;
  std::u16string prefix;
  if (isSigned) {
    if (negative) prefix = u"-";
    else if (spec.plus) prefix = u"+";
    else if (spec.space) prefix = u" ";
  }
  if (spec.alternate && magnitude != 0 && (conv == u'x' || conv == u'X')) prefix += conv == u'x' ? u"0x" : u"0X";
  const size_t zeros = minDigits > nd ? minDigits - nd : 0;
  WideString body(prefix.begin(), prefix.end());
  size_t fieldZeros = 0;
  const size_t bodyLen = prefix.size() + zeros + nd;
  if (spec.zero && !spec.left && spec.precision < 0 && static_cast<size_t>(spec.width) > bodyLen)
    fieldZeros = static_cast<size_t>(spec.width) - bodyLen;
  if (!Pad(body, zeros + fieldZeros, u'0')) return PrintfStatus::TooLong;
  for (size_t k = nd; k > 0; --k) body.push_back(digits[k - 1]);
  return AppendField(out, spec, body.data(), body.size()) ? PrintfStatus::Ok : PrintfStatus::TooLong;
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

bool IsNarrow(const PrintfSpec& spec) {
  // In a wide format the upper-case forms (%S, %C) are the narrow ones.
  if (spec.narrowForced) return true;
  if (spec.wideForced) return false;
  return spec.conversion == u'S' || spec.conversion == u'C';
}

PrintfStatus AppendText(WideString& out, const PrintfSpec& spec, PrintfArgs& args) {
  const bool narrow = IsNarrow(spec);
  const size_t limit = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : SIZE_MAX;
  const WCHAR fill = spec.zero && !spec.left ? u'0' : u' ';
  if (spec.conversion == u'c' || spec.conversion == u'C') {
    PrintfArgValue v{};
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    WideString ch;
    if (narrow) {
      const char byte = static_cast<char>(v.i32);
      ch = byte == 0 ? WideString(1, u'\0') : WidenAnsi(&byte, 1);
    } else {
      ch.assign(1, static_cast<WCHAR>(v.i32));
    }
    return AppendField(out, spec, ch.data(), ch.size(), fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  PrintfArgValue v{};
  if (!args.Next(PrintfArgKind::Pointer, v)) return PrintfStatus::MissingArgument;
  if (v.ptr == nullptr) {
    static const WCHAR kNull[] = u"(null)";
    const size_t n = limit < 6 ? limit : 6;
    return AppendField(out, spec, kNull, n, fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  if (narrow) {
    const auto* s = static_cast<const char*>(v.ptr);
    size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    const WideString wide = WidenAnsi(s, n);
    return AppendField(out, spec, wide.data(), wide.size(), fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
  }
  const auto* s = static_cast<const WCHAR*>(v.ptr);
  const size_t n = WideLengthBounded(s, limit);
  return AppendField(out, spec, s, n, fill) ? PrintfStatus::Ok : PrintfStatus::TooLong;
}

// The format handed to snprintf is built here from parsed fields only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
PrintfStatus AppendFloat(WideString& out, const PrintfSpec& spec, PrintfArgs& args) {
  PrintfArgValue v{};
  if (!args.Next(PrintfArgKind::Double, v)) return PrintfStatus::MissingArgument;
  // The C library makes the digits; the spec is rebuilt from parsed values
  // only, so nothing of the caller's format reaches snprintf.
  char fmt[48];
  int k = 0;
  fmt[k++] = '%';
  if (spec.left) fmt[k++] = '-';
  if (spec.plus) fmt[k++] = '+';
  if (spec.space) fmt[k++] = ' ';
  if (spec.alternate) fmt[k++] = '#';
  if (spec.zero) fmt[k++] = '0';
  fmt[k++] = '*';
  fmt[k++] = '.';
  fmt[k++] = '*';
  fmt[k++] = static_cast<char>(spec.conversion);
  fmt[k] = 0;
  const int precision = spec.precision >= 0 ? spec.precision : (spec.conversion == u'a' || spec.conversion == u'A') ? 13 : 6;
  const int n = std::snprintf(nullptr, 0, fmt, spec.width, precision, v.dbl);
  if (n < 0) return PrintfStatus::BadFormat;
  if (static_cast<size_t>(n) > kPrintfMaxOutput || out.size() > kPrintfMaxOutput - static_cast<size_t>(n))
    return PrintfStatus::TooLong;
  std::string digits(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&digits[0], digits.size(), fmt, spec.width, precision, v.dbl);
  for (int i = 0; i < n; ++i) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(digits[static_cast<size_t>(i)])));
  return PrintfStatus::Ok;
}
#pragma GCC diagnostic pop

}  // namespace

size_t ParsePrintfSpec(const WCHAR* text, size_t length, PrintfSpec& spec) {
  spec = PrintfSpec{};
  if (text == nullptr) return 0;
  size_t i = 0;
  for (; i < length; ++i) {
    const WCHAR c = text[i];
    if (c == u'-') spec.left = true;
    else if (c == u'+') spec.plus = true;
    else if (c == u' ') spec.space = true;
    else if (c == u'#') spec.alternate = true;
    else if (c == u'0') spec.zero = true;
    else break;
  }
  if (i < length && text[i] == u'*') {
    spec.widthFromArg = true;
    ++i;
  } else if (!ReadNumber(text, length, i, spec.width)) {
    return 0;
  }
  if (i < length && text[i] == u'.') {
    ++i;
    if (i < length && text[i] == u'*') {
      spec.precisionFromArg = true;
      ++i;
    } else if (!ReadNumber(text, length, i, spec.precision)) {
      return 0;
    }
  }
  auto at = [&](size_t k) -> WCHAR { return k < length ? text[k] : WCHAR{0}; };
  switch (at(i)) {
    case u'h':
      ++i;
      spec.narrowForced = true;
      spec.size = PrintfSpec::Size::Short;
      if (at(i) == u'h') {
        spec.size = PrintfSpec::Size::Char;
        ++i;
      }
      break;
    case u'l':
      ++i;
      spec.wideForced = true;
      spec.size = PrintfSpec::Size::Long;
      if (at(i) == u'l') {
        spec.size = PrintfSpec::Size::LongLong;
        ++i;
      }
      break;
    case u'w':
      ++i;
      spec.wideForced = true;
      spec.size = PrintfSpec::Size::Long;
      break;
    case u'I':
      ++i;
      if (at(i) == u'3' && at(i + 1) == u'2') {
        spec.size = PrintfSpec::Size::Long;
        i += 2;
      } else if (at(i) == u'6' && at(i + 1) == u'4') {
        spec.size = PrintfSpec::Size::LongLong;
        i += 2;
      } else {
        spec.size = PrintfSpec::Size::SizeT;
      }
      break;
    case u'z':
    case u't':
    case u'j':
      ++i;
      spec.size = PrintfSpec::Size::SizeT;
      break;
    case u'L':
      ++i;  // long double is double in the Microsoft runtime
      break;
    default:
      break;
  }
  const WCHAR conv = at(i);
  switch (conv) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
    case u'c': case u'C': case u's': case u'S': case u'p':
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
    case u'%':
      spec.conversion = conv;
      return i + 1;
    default:
      return 0;  // includes %n, which is never honoured
  }
}

PrintfStatus AppendPrintfSpec(WideString& out, const PrintfSpec& parsed, PrintfArgs& args) {
  PrintfSpec spec = parsed;
  if (spec.conversion == u'%') return Pad(out, 1, u'%') ? PrintfStatus::Ok : PrintfStatus::TooLong;
  PrintfArgValue v{};
  if (spec.widthFromArg) {
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    int64_t w = v.i32;
    if (w < 0) {
      spec.left = true;
      w = -w;
    }
    if (w > kPrintfMaxWidth) return PrintfStatus::BadFormat;
    spec.width = static_cast<int>(w);
  }
  if (spec.precisionFromArg) {
    if (!args.Next(PrintfArgKind::Int32, v)) return PrintfStatus::MissingArgument;
    if (v.i32 > kPrintfMaxWidth) return PrintfStatus::BadFormat;
    spec.precision = v.i32 < 0 ? -1 : v.i32;
  }
  const size_t mark = out.size();
  PrintfStatus status = PrintfStatus::Ok;
  switch (spec.conversion) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o': case u'p':
      status = AppendInteger(out, spec, args);
      break;
    case u'c': case u'C': case u's': case u'S':
      status = AppendText(out, spec, args);
      break;
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
      status = AppendFloat(out, spec, args);
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
  PrintfSpec spec;
  const size_t used = ParsePrintfSpec(text, length, spec);
  if (consumed != nullptr) *consumed = used;
  if (used == 0) return PrintfStatus::BadFormat;
  return AppendPrintfSpec(out, spec, args);
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
