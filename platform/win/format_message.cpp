#include "platform/win/format_message.h"
#include "platform/win/format_message_text.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/win/code_pages.h"
#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"
#include "platform/win/resources.h"
#include "platform/win/wide_printf.h"

namespace pavo {
namespace {

constexpr size_t kNoCount = static_cast<size_t>(-1);

inline bool IsDigit(WCHAR c) { return c >= u'0' && c <= u'9'; }

// One insert "%n" or "%n!fmt!" starting at format[at] == '%'.
struct Insert {
  unsigned number = 0;       // 1..99
  const WCHAR* format = nullptr;  // text between the '!', or null for the default "s"
  size_t formatLength = 0;
  size_t end = 0;            // index after the insert
};

// Reads the insert at `at` (format[at] is '%', format[at + 1] a digit 1-9).
// False for an unterminated or empty !fmt!.
bool ReadInsert(const WCHAR* format, size_t length, size_t at, Insert* insert) {
  size_t i = at + 1;
  insert->number = static_cast<unsigned>(format[i++] - u'0');
  if (i < length && IsDigit(format[i])) insert->number = insert->number * 10 + (format[i++] - u'0');
  insert->format = nullptr;
  insert->formatLength = 0;
  if (i < length && format[i] == u'!') {
    const size_t start = i + 1;
    size_t close = start;
    while (close < length && format[close] != u'!') ++close;
    if (close >= length || close == start) return false;
    insert->format = format + start;
    insert->formatLength = close - start;
    i = close + 1;
  }
  insert->end = i;
  return true;
}

// Arguments an insert takes: its own and one per '*' width or precision.
bool SlotsOf(const Insert& insert, size_t* slots) {
  *slots = 1;
  if (insert.format == nullptr) return true;
  PrintfDirective directive;
  if (ParsePrintfDirective(insert.format, insert.formatLength, directive) == 0) return false;
  *slots += (directive.widthFromArg ? 1 : 0) + (directive.precisionFromArg ? 1 : 0);
  return true;
}

// Highest argument slot the format refers to; false for a malformed insert.
bool ArgumentsNeeded(const WCHAR* format, size_t length, size_t* needed) {
  *needed = 0;
  for (size_t i = 0; i + 1 < length; ++i) {
    if (format[i] != u'%') continue;
    if (format[i + 1] == u'0') return true;  // %0 ends the message
    if (!IsDigit(format[i + 1])) {
      ++i;  // an escape: skip the character after '%'
      continue;
    }
    Insert insert;
    size_t slots = 0;
    if (!ReadInsert(format, length, i, &insert) || !SlotsOf(insert, &slots)) return false;
    const size_t last = insert.number - 1 + slots;
    if (last > *needed) *needed = last;
    i = insert.end - 1;
  }
  return true;
}

// Output with Windows' line-width rules: a width of 1-254 wraps lines at the
// last space before the width; hard breaks (%n, %r) start a new line.
class Output {
 public:
  Output(WideString* out, unsigned width, size_t maxUnits) : out_(out), width_(width), max_(maxUnits) {}
  void Append(const WCHAR* text, size_t n) {
    out_->append(text, n);
    Wrap();
  }
  void Append(WCHAR c) { Append(&c, 1); }
  void HardBreak(const WCHAR* text, size_t n) {
    out_->append(text, n);
    lineStart_ = out_->size();
  }
  // Whether n more units (before line breaks are added) stay within the cap.
  bool Fits(size_t n) const { return n <= max_ && out_->size() <= max_ - n; }
  bool TooLong() const { return out_->size() > max_; }

 private:
  // The open line is rebuilt in one pass: breaking it in place would move
  // its tail once per line, quadratic for a long insert.
  void Wrap() {
    if (width_ == 0 || width_ == FORMAT_MESSAGE_MAX_WIDTH_MASK) return;
    if (out_->size() - lineStart_ <= width_) return;
    const WideString tail = out_->substr(lineStart_);
    out_->resize(lineStart_);
    size_t pos = 0;  // where the current line starts in tail
    while (tail.size() - pos > width_) {
      // The last space within the line's width ends it; a line without one
      // is cut at the width.
      size_t cut = pos + width_;
      while (cut > pos && tail[cut] != u' ') --cut;
      if (cut == pos) {
        out_->append(tail, pos, width_);
        pos += width_;
      } else {
        out_->append(tail, pos, cut - pos);
        pos = cut + 1;
      }
      out_->append(u"\r\n");
    }
    lineStart_ = out_->size();
    out_->append(tail, pos, WideString::npos);
  }

  WideString* out_;
  unsigned width_;
  size_t max_;
  size_t lineStart_ = 0;
};

}  // namespace

namespace {

DWORD FormatInto(DWORD flags, const WCHAR* format, size_t length, const ULONG_PTR* args, size_t count,
                 WideString* out, size_t maxUnits) {
  const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  const unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  Output o(out, width, maxUnits);
  PrintfArrayArgs source(args, count);
  try {
    for (size_t i = 0; i < length; ++i) {
      const WCHAR c = format[i];
      if (c == u'\r' || c == u'\n') {
        // Any width setting makes the source's own line breaks plain spaces.
        if (width == 0) {
          o.HardBreak(&c, 1);
        } else {
          if (c == u'\r' && i + 1 < length && format[i + 1] == u'\n') ++i;
          o.Append(u' ');
        }
        continue;
      }
      if (c != u'%') {
        o.Append(c);
        continue;
      }
      if (i + 1 >= length) return ERROR_INVALID_PARAMETER;  // a lone '%' at the end
      const WCHAR next = format[i + 1];
      if (next == u'0') break;
      if (!IsDigit(next)) {
        ++i;
        if (next == u'n') o.HardBreak(u"\r\n", 2);
        else if (next == u'r') o.HardBreak(u"\r", 1);
        else if (next == u't') o.Append(u'\t');
        else o.Append(next);
        continue;
      }
      Insert insert;
      if (!ReadInsert(format, length, i, &insert)) return ERROR_INVALID_PARAMETER;
      if (ignoreInserts) {
        o.Append(format + i, insert.end - i);
        i = insert.end - 1;
        continue;
      }
      size_t slots = 0;
      if (args == nullptr || !SlotsOf(insert, &slots) || insert.number - 1 + slots > count) {
        return ERROR_INVALID_PARAMETER;
      }
      source.Seek(insert.number - 1);
      // A width written in the insert is known before the text is built:
      // one that cannot fit fails before anything grows.
      if (insert.format != nullptr) {
        PrintfDirective directive;
        if (ParsePrintfDirective(insert.format, insert.formatLength, directive) != 0 &&
            !directive.widthFromArg && directive.width > 0 && !o.Fits(static_cast<size_t>(directive.width))) {
          return ERROR_NOT_ENOUGH_MEMORY;
        }
      }
      WideString piece;
      PrintfStatus status = PrintfStatus::Ok;
      if (insert.format == nullptr) {
        status = AppendPrintfConversion(piece, u"s", 1, source, &slots);
      } else {
        size_t used = 0;
        status = AppendPrintfConversion(piece, insert.format, insert.formatLength, source, &used);
        // Text after the conversion inside the '!' is copied, as printf would.
        if (status == PrintfStatus::Ok) piece.append(insert.format + used, insert.formatLength - used);
      }
      if (status == PrintfStatus::TooLong) return ERROR_NOT_ENOUGH_MEMORY;
      if (status != PrintfStatus::Ok) return ERROR_INVALID_PARAMETER;
      if (!o.Fits(piece.size())) return ERROR_NOT_ENOUGH_MEMORY;
      o.Append(piece.data(), piece.size());
      if (o.TooLong()) return ERROR_NOT_ENOUGH_MEMORY;  // line breaks added by a width
      i = insert.end - 1;
    }
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return o.TooLong() ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS;
}

}  // namespace

DWORD FormatMessageText(DWORD flags, const WCHAR* format, size_t length, const ULONG_PTR* args,
                        size_t count, WideString* out, size_t maxUnits) {
  out->clear();
  const DWORD error = FormatInto(flags, format, length, args, count, out, maxUnits);
  // Nothing of a failed message is left behind, not even its memory.
  if (error != ERROR_SUCCESS) WideString().swap(*out);
  return error;
}

namespace {

// Message `id` of the module's message table (RT_MESSAGETABLE 1) as UTF-16.
// Entries marked Unicode are taken as they are; others are in the ANSI code page.
DWORD MessageFromModule(HMODULE module, DWORD id, DWORD language, WideString* text) {
  HRSRC res = FindResourceExW(module, RT_MESSAGETABLE, MAKEINTRESOURCEW(1), static_cast<WORD>(language));
  if (res == nullptr) return ERROR_MR_MID_NOT_FOUND;
  const BYTE* data = static_cast<const BYTE*>(LoadResource(module, res));
  const size_t size = SizeofResource(module, res);
  auto rd32 = [&](size_t at) -> DWORD {
    return at <= size && size - at >= 4 ? static_cast<DWORD>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
                                                             (static_cast<DWORD>(data[at + 3]) << 24))
                                        : 0;
  };
  if (data == nullptr || size < 4) return ERROR_MR_MID_NOT_FOUND;
  const DWORD blocks = rd32(0);
  if (blocks > (size - 4) / 12) return ERROR_MR_MID_NOT_FOUND;
  for (DWORD b = 0; b < blocks; ++b) {
    const DWORD low = rd32(4 + 12 * b);
    const DWORD high = rd32(8 + 12 * b);
    size_t at = rd32(12 + 12 * b);
    if (id < low || id > high) continue;
    for (DWORD k = low; k < id; ++k) {
      if (at > size || size - at < 4) return ERROR_MR_MID_NOT_FOUND;
      const size_t len = data[at] | (data[at + 1] << 8);
      if (len < 4) return ERROR_MR_MID_NOT_FOUND;
      at += len;
    }
    if (at > size || size - at < 4) return ERROR_MR_MID_NOT_FOUND;
    const size_t len = data[at] | (data[at + 1] << 8);
    const bool unicode = (data[at + 2] & 1) != 0;
    if (len < 4 || len > size - at) return ERROR_MR_MID_NOT_FOUND;
    const BYTE* p = data + at + 4;
    const size_t bytes = len - 4;
    text->clear();
    if (unicode) {
      for (size_t j = 0; j + 1 < bytes; j += 2) {
        const WCHAR u = static_cast<WCHAR>(p[j] | (p[j + 1] << 8));
        if (u == 0) break;
        text->push_back(u);
      }
    } else {
      size_t n = 0;
      while (n < bytes && p[n] != 0) ++n;
      if (n > 0) {
        const LPCSTR narrow = reinterpret_cast<LPCSTR>(p);
        const int units = MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(n), nullptr, 0);
        if (units <= 0) return ERROR_MR_MID_NOT_FOUND;
        text->resize(static_cast<size_t>(units));
        MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(n), &(*text)[0], units);
      }
    }
    return ERROR_SUCCESS;
  }
  return ERROR_MR_MID_NOT_FOUND;
}

// The message text FormatMessageW works on: the caller's string, or the
// module's message (then held in *storage). Windows' error code on failure.
DWORD MessageSource(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                    WideString* storage, const WCHAR** text, size_t* length) {
  const DWORD from =
      flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM);
  if (from == FORMAT_MESSAGE_FROM_STRING) {
    *text = static_cast<const WCHAR*>(source);
    if (*text == nullptr) return ERROR_INVALID_PARAMETER;
    *length = WideLength(*text);
    return ERROR_SUCCESS;
  }
  if ((from & FORMAT_MESSAGE_FROM_STRING) == 0 && (from & FORMAT_MESSAGE_FROM_HMODULE) != 0 &&
      source != nullptr) {
    // There is no system message table here: only the module's is searched.
    HMODULE module = static_cast<HMODULE>(const_cast<void*>(source));
    const DWORD error = MessageFromModule(module, messageId, languageId, storage);
    if (error != ERROR_SUCCESS) return error;
    *text = storage->c_str();
    *length = storage->size();
    return ERROR_SUCCESS;
  }
  const bool system = from == FORMAT_MESSAGE_FROM_SYSTEM ||
                      from == (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE);
  return system ? ERROR_MR_MID_NOT_FOUND : ERROR_INVALID_PARAMETER;
}

// The insert arguments as an array: the caller's own with
// FORMAT_MESSAGE_ARGUMENT_ARRAY (count unknown), else the slots the inserts
// name, read from the va_list into *slots. Null args when there are none.
DWORD MessageArguments(DWORD flags, const WCHAR* text, size_t length, va_list* arguments,
                       std::vector<ULONG_PTR>* slots, const ULONG_PTR** args, size_t* count) {
  *args = nullptr;
  *count = 0;
  if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0 || arguments == nullptr) return ERROR_SUCCESS;
  if (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
    *args = reinterpret_cast<const ULONG_PTR*>(arguments);
    *count = kNoCount;
    return ERROR_SUCCESS;
  }
  // A va_list carries no count: read the slots the inserts name, as Windows
  // does on 64-bit targets, and no more.
  size_t needed = 0;
  if (!ArgumentsNeeded(text, length, &needed)) return ERROR_INVALID_PARAMETER;
  slots->resize(needed);
  for (size_t i = 0; i < needed; ++i) (*slots)[i] = va_arg(*arguments, ULONG_PTR);
  *args = slots->data();
  *count = needed;
  return ERROR_SUCCESS;
}

// Hands the formatted text to the caller: copied into buffer (size units),
// or, with FORMAT_MESSAGE_ALLOCATE_BUFFER, in a LocalAlloc block whose
// address is stored at buffer. The length in units, or 0 with the last error.
DWORD DeliverMessage(DWORD flags, const WideString& out, LPWSTR buffer, DWORD size) {
  if (out.size() >= 0x7FFFFFFFu) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  // An empty message stores nothing, as on Windows: 0 with ERROR_NO_WORK_DONE
  // and no block (a fixed buffer still gets its terminator).
  if (out.empty()) {
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 && size > 0) buffer[0] = 0;
    SetLastError(ERROR_NO_WORK_DONE);
    return 0;
  }
  const size_t units = out.size() + 1;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const size_t alloc = units > size ? units : size;
    WCHAR* block = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, alloc * sizeof(WCHAR)));
    if (block == nullptr) return 0;
    std::memcpy(block, out.c_str(), units * sizeof(WCHAR));
    std::memcpy(buffer, &block, sizeof block);
  } else {
    if (size < units) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, out.c_str(), units * sizeof(WCHAR));
  }
  return static_cast<DWORD>(out.size());
}

}  // namespace
}  // namespace pavo

extern "C" DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                                DWORD size, va_list* arguments) {
  if (buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER a failure leaves a null pointer, never
  // a stale one the caller might free.
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const LPWSTR none = nullptr;
    std::memcpy(buffer, &none, sizeof none);
  }
  try {
    pavo::WideString storage;
    const WCHAR* text = nullptr;
    size_t length = 0;
    DWORD error =
        pavo::MessageSource(flags, source, messageId, languageId, &storage, &text, &length);
    std::vector<ULONG_PTR> slots;
    const ULONG_PTR* args = nullptr;
    size_t count = 0;
    if (error == ERROR_SUCCESS) {
      error = pavo::MessageArguments(flags, text, length, arguments, &slots, &args, &count);
    }
    pavo::WideString out;
    if (error == ERROR_SUCCESS) {
      error = pavo::FormatMessageText(flags, text, length, args, count, &out);
    }
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return 0;
    }
    return pavo::DeliverMessage(flags, out, buffer, size);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
