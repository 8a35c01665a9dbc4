// printf over UTF-16 with the Microsoft C runtime's wide-format rules: in a
// wide format %s and %c take WCHAR text, %hs/%S and %hc/%C narrow text (read
// in the ANSI code page), %ls/%ws and %lc/%wc wide text. Shared by the base
// string's FormatV and by FormatMessageW's %n!fmt! inserts.
#ifndef PAVORM_PLATFORM_WIN_WIDE_PRINTF_H
#define PAVORM_PLATFORM_WIN_WIDE_PRINTF_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/win/win_types.h"
#include "platform/win/wide_text.h"

namespace pavo {

// What a conversion asks of its argument source.
enum class PrintfArgKind {
  Int32,    // int, and what promotes to it (short, char, WCHAR); long (32 bits, as on Windows)
  Int64,    // long long, __int64, size_t, pointers' integer form
  Pointer,  // strings and %p
  Double,   // e f g a
};

union PrintfArgValue {
  int32_t i32;
  int64_t i64;
  const void* ptr;
  double dbl;
};

// Hands out the arguments one after the other. Next returns false when no
// argument is left (the formatting then stops and reports it).
class PrintfArgs {
 public:
  virtual ~PrintfArgs() = default;
  virtual bool Next(PrintfArgKind kind, PrintfArgValue& value) = 0;
};

// Arguments of a C variadic call. It cannot know how many there are: the
// caller's format must match them, as with vswprintf.
class PrintfVaListArgs final : public PrintfArgs {
 public:
  explicit PrintfVaListArgs(va_list args);
  ~PrintfVaListArgs() override;
  PrintfVaListArgs(const PrintfVaListArgs&) = delete;
  PrintfVaListArgs& operator=(const PrintfVaListArgs&) = delete;
  bool Next(PrintfArgKind kind, PrintfArgValue& value) override;

 private:
  va_list m_args;
};

// Arguments in an array of ULONG_PTR, as FormatMessageW's
// FORMAT_MESSAGE_ARGUMENT_ARRAY passes them: each argument fills one slot
// (a 64-bit value takes two on 32-bit targets). Reading past count fails.
class PrintfArrayArgs final : public PrintfArgs {
 public:
  PrintfArrayArgs(const ULONG_PTR* args, size_t count) : m_args(args), m_count(args != nullptr ? count : 0) {}
  bool Next(PrintfArgKind kind, PrintfArgValue& value) override;
  // Moves to slot index (0-based), for inserts that name their argument.
  void Seek(size_t index) { m_next = index; }
  size_t Position() const { return m_next; }

 private:
  const ULONG_PTR* m_args;
  size_t m_count;
  size_t m_next = 0;
};

enum class PrintfStatus {
  Ok,
  BadFormat,        // an unknown or malformed conversion, or a width/precision over kPrintfMaxWidth
  MissingArgument,  // the argument source ran out
  TooLong,          // the result would exceed kPrintfMaxOutput units
};

// Widths and precisions above this are rejected as malformed: they would only
// serve to exhaust memory.
constexpr int kPrintfMaxWidth = 1 << 24;
// Upper bound of one formatting's result (units); the base string's length is an int.
constexpr size_t kPrintfMaxOutput = size_t{1} << 28;

// One conversion, as parsed from the text after '%'.
struct PrintfDirective {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  bool widthFromArg = false, precisionFromArg = false;
  int width = 0;
  int precision = -1;  // -1: none given
  enum class Size { Default, Short, Char, Long, LongLong, SizeT } size = Size::Default;
  bool wideForced = false;    // l or w on s/c
  bool narrowForced = false;  // h on s/c
  WCHAR conversion = 0;       // d i u x X o c C s S p e E f F g G a A %
};

// Parses flags, width (digits or *), precision (.digits or .*), length
// modifiers (h hh l ll w I I32 I64 z t j L) and the conversion character from
// text[0..length). Returns the units consumed, or 0 when it is malformed.
size_t ParsePrintfDirective(const WCHAR* text, size_t length, PrintfDirective& dir);

// Appends the formatting of one parsed directive, taking its arguments (the *
// width and precision first) from args. Appends nothing unless it returns Ok.
PrintfStatus AppendPrintfDirective(WideString& out, const PrintfDirective& dir, PrintfArgs& args);

// Parses and appends one conversion from text[0..length) (the text after '%',
// e.g. "08x" of FormatMessageW's %2!08x!); *consumed receives the units used.
PrintfStatus AppendPrintfConversion(WideString& out, const WCHAR* text, size_t length, PrintfArgs& args,
                                    size_t* consumed);

// Appends the whole format (length units, no terminator needed). A malformed
// conversion is copied literally and formatting goes on (the result says
// BadFormat); a missing argument stops it. %n is never honoured.
PrintfStatus AppendPrintf(WideString& out, const WCHAR* format, size_t length, PrintfArgs& args);

}  // namespace pavo

#endif
