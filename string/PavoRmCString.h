// PavoRmCString: the library's string type. A CStringW with no data of its
// own, adding two families of position operations (b: "byte" positions, c:
// "character" positions; both count UTF-16 units, so a character outside the
// BMP takes two positions), character classification, editing helpers and
// narrow-text conversion in the ANSI code page.
//
// Members for resource strings, message formatting and the imaging string
// buffer are declared further down by their own parts of the library.
#ifndef PAVORM_STRING_PAVORMCSTRING_H
#define PAVORM_STRING_PAVORMCSTRING_H

#include "PavoRm51Export.h"

#include <cstdarg>
#include <cstddef>

#include "platform/afx/afx_string.h"
#include "platform/gral/StringBuffer.h"
#include "platform/win/win_types.h"

class PAVORM_API PavoRmCString : public CStringW {
 public:
  // --- construction and assignment (cstring_core.cpp) ----------------------
  PavoRmCString() = default;
  PavoRmCString(const PavoRmCString& other) = default;
  PavoRmCString(PavoRmCString&& other) noexcept = default;
  PavoRmCString(const CStringW& other) : CStringW(other) {}  // NOLINT: implicit, as in the framework
  PavoRmCString(CStringW&& other) noexcept : CStringW(static_cast<CStringW&&>(other)) {}  // NOLINT
  // Units up to the first 0 unit; null gives the empty text.
  PavoRmCString(const WCHAR* text) : CStringW(text) {}  // NOLINT
  PavoRmCString(std::nullptr_t) {}  // NOLINT: the empty text
  // count copies of ch; count < 1 gives the empty text.
  PavoRmCString(WCHAR ch, int count) : CStringW(ch, count) {}
  // Narrow text in the ANSI code page, read up to its 0 byte; null gives the empty text.
  PavoRmCString(const char* text);           // NOLINT
  PavoRmCString(const unsigned char* text);  // NOLINT
  ~PavoRmCString() = default;

  PavoRmCString& operator=(const PavoRmCString& other) = default;
  PavoRmCString& operator=(PavoRmCString&& other) noexcept = default;
  PavoRmCString& operator=(const CStringW& other) {
    CStringW::operator=(other);
    return *this;
  }
  // Null empties the text.
  PavoRmCString& operator=(const WCHAR* text) {
    CStringW::operator=(text);
    return *this;
  }
  PavoRmCString& operator=(std::nullptr_t) {
    Empty();
    return *this;
  }
  // Narrow text in the ANSI code page; null empties the text.
  PavoRmCString& operator=(const unsigned char* text);
  PavoRmCString& operator=(const char* text);

  // The process-wide empty instance (changes through it are seen by every caller).
  static PavoRmCString& getEmptyString();

  // Writes the text in the ANSI code page into buffer (at least GetLength()+1
  // bytes, never more written) and returns buffer. Text that does not fit is
  // cut after the last whole character that does; the result is always 0-terminated.
  char* ansi(char* buffer) const;
  // Units before the first 0 unit.
  int GetCharNum() const noexcept;
  // First unit of a minus first unit of b, as unsigned 16-bit values (null reads as empty).
  static int charCompare(const WCHAR* a, const WCHAR* b) noexcept;
  // Replaces the text by the printf formatting of the arguments (see CStringW::FormatV).
  void Format(const WCHAR* format, ...);

  // --- imaging string buffers (cstring_buffers.cpp) ------------------------
  // The buffer's text up to its terminator, made wide when it is not; empty
  // when the buffer holds no text.
  PavoRmCString(const Gral::StringBuffer& buffer);  // NOLINT: implicit, as GralCore hosts use it
  // The same for *buffer; throws std::runtime_error("Null pointer argument") for null.
  PavoRmCString& operator=(Gral::StringBuffer* buffer);
  // A UTF-16 buffer of the text with its 16-bit terminator (2 * length + 2 bytes).
  static Gral::StringBuffer cnvtToSB(const PavoRmCString& text);
  // As above; null gives a buffer holding only the terminator.
  static Gral::StringBuffer cnvtToSB(const WCHAR* text);
  Gral::StringBuffer cnvtToSB() const { return cnvtToSB(*this); }
  // An encoding-0 buffer of the text in the ANSI code page with its 0 byte;
  // null gives a buffer holding only the terminator.
  static Gral::StringBuffer cnvtToAsciiSB(const WCHAR* text);
  Gral::StringBuffer cnvtToAsciiSB() const { return cnvtToAsciiSB(GetString()); }

  // --- positions (cstring_positions.cpp) -----------------------------------
  int GetByteNum() const noexcept { return 2 * GetLength(); }
  int ByteToCharIndex(int p) const noexcept;
  int CharToByteIndex(int c) const noexcept;
  int bIsLead(int) const noexcept { return 0; }
  int bIsTrail(int) const noexcept { return 0; }
  int bIsLeadRange(int) const noexcept { return 0; }
  int bGetCharNext(int p) const noexcept;
  int bGetCharPrev(int p) const noexcept;
  int bIsTab(int p) const noexcept;
  int cIsTab(int c) const noexcept { return bIsTab(CharToByteIndex(c)); }
  // 255 when p is outside the text; else unit p minus ch (unsigned 16-bit).
  int bCompare(int p, WCHAR ch) const noexcept;
  // 255 when p is outside the text; else wcsncmp of the text at p with s over
  // s's length (the difference of the first differing units, as the Microsoft runtime).
  int bCompare(int p, const WCHAR* s) const noexcept;
  int cCompare(int c, WCHAR ch) const noexcept { return bCompare(CharToByteIndex(c), ch); }
  int cCompare(int c, const WCHAR* s) const noexcept { return bCompare(CharToByteIndex(c), s); }
  int bFind(WCHAR ch, int start) const noexcept;
  int cFind(const WCHAR* s, int start) const noexcept;
  int cReverseFind(WCHAR ch) const noexcept { return ByteToCharIndex(ReverseFind(ch)); }

  PavoRmCString bLeft(int n) const { return Left(n); }
  PavoRmCString bRight(int n) const { return Right(n); }
  PavoRmCString bMid(int i) const { return Mid(i); }
  PavoRmCString bMid(int i, int n) const { return Mid(i, n); }
  PavoRmCString cLeft(int n) const;
  PavoRmCString cMid(int i) const { return Mid(CharToByteIndex(i)); }
  PavoRmCString cMid(int i, int n) const { return bMid(CharToByteIndex(i)).cLeft(n); }
  PavoRmCString cRight(int n) const;

  void bSetAt(int p, WCHAR ch) noexcept;
  // Replaces the one unit at p by the whole of s (null counts as empty).
  void bSetAt(int p, const WCHAR* s);
  void bMakeLower(int p) noexcept;
  void bMakeUpper(int p) noexcept;
  void bInsert(int p, WCHAR ch);
  void bInsert(int p, const WCHAR* s);
  // Removes up to n units at p; see the note in cstring_positions.cpp on 0 units.
  int bDelete(int p, int n);
  int bDelete(int p) { return bDelete(p, 1); }
  WCHAR* bGetBufferSetLength(int n) { return GetBufferSetLength(n < 1 ? 0 : n); }

  void cSetAt(int c, WCHAR ch) noexcept { bSetAt(CharToByteIndex(c), ch); }
  void cSetAt(int c, const WCHAR* s) { bSetAt(CharToByteIndex(c), s); }
  void cMakeLower(int c) noexcept { bMakeLower(CharToByteIndex(c)); }
  void cMakeUpper(int c) noexcept { bMakeUpper(CharToByteIndex(c)); }
  void cInsert(int c, WCHAR ch) { bInsert(CharToByteIndex(c), ch); }
  void cInsert(int c, const WCHAR* s) { bInsert(CharToByteIndex(c), s); }
  int cDelete(int c, int n);
  int cDelete(int c) { return cDelete(c, 1); }
  WCHAR* cGetBufferSetLength(int n) { return bGetBufferSetLength(CharToByteIndex(n)); }
  int multibyteToSinglebyte() noexcept { return 1; }

  // --- classification (cstring_classify.cpp) -------------------------------
  // CT_CTYPE1 tests of the unit at a position; 0 outside the text. Single-bit
  // tests return the bit; bIsAlnum and bIsPrintable return 1.
  int bIsUpper(int p) const noexcept;
  int bIsLower(int p) const noexcept;
  int bIsDigit(int p) const noexcept;
  int bIsWhiteSpace(int p) const noexcept;
  int bIsPunct(int p) const noexcept;
  int bIsControl(int p) const noexcept;
  int bIsBlank(int p) const noexcept;
  int bIsXDigit(int p) const noexcept;
  int bIsAlpha(int p) const noexcept;
  int bIsAlnum(int p) const noexcept;
  int bIsPrintable(int p) const noexcept;
  int cIsUpper(int c) const noexcept { return bIsUpper(CharToByteIndex(c)); }
  int cIsLower(int c) const noexcept { return bIsLower(CharToByteIndex(c)); }
  int cIsDigit(int c) const noexcept { return bIsDigit(CharToByteIndex(c)); }
  int cIsWhiteSpace(int c) const noexcept { return bIsWhiteSpace(CharToByteIndex(c)); }
  int cIsPunct(int c) const noexcept { return bIsPunct(CharToByteIndex(c)); }
  int cIsControl(int c) const noexcept { return bIsControl(CharToByteIndex(c)); }
  int cIsBlank(int c) const noexcept { return bIsBlank(CharToByteIndex(c)); }
  int cIsXDigit(int c) const noexcept { return bIsXDigit(CharToByteIndex(c)); }
  int cIsAlpha(int c) const noexcept { return bIsAlpha(CharToByteIndex(c)); }
  int cIsAlnum(int c) const noexcept { return bIsAlnum(CharToByteIndex(c)); }
  int cIsPrintable(int c) const noexcept { return bIsPrintable(CharToByteIndex(c)); }

  // --- editing (cstring_editing.cpp) ---------------------------------------
  // Counts are the most done; a negative count means all. Each returns what it did.
  int Remove(const WCHAR* s, int count);
  int Remove(WCHAR ch, int count);
  int Replace(WCHAR oldCh, WCHAR newCh, int count);
  int Replace(const WCHAR* oldText, const WCHAR* newText, int count);
  int ExpandTab(int width, int count);
  int ExpandTab(int width) { return ExpandTab(width, -1); }
  // Field index of the text split at separator; 1 when it exists (an empty
  // last field does not), else 0 with out emptied.
  int extract(PavoRmCString& out, int index, const WCHAR* separator) const;
  // Field index of text split at separator; an empty last field exists.
  static int extractSubString(PavoRmCString& out, const WCHAR* text, int index, WCHAR separator);
  int extractSubString(PavoRmCString& out, int index, WCHAR separator) const {
    return extractSubString(out, GetString(), index, separator);
  }
  // 1 when the unit at p equals the first unit of s (p may be the length: the terminator).
  int compareAt(int p, const WCHAR* s) const noexcept;
  void addBackslash() { AddSeparator(WCHAR('\\')); }
  void addForwardslash() { AddSeparator(WCHAR('/')); }
  void removeBackslash() { RemoveSeparator(WCHAR('\\')); }
  void removeForwardslash() { RemoveSeparator(WCHAR('/')); }

  // --- resource strings by module handle, message formatting (cstring_resources.cpp)
  // Loads string id of the module's string table; non-zero on success. A
  // missing string leaves the text unchanged and, with showError, is reported
  // in a "Resource Manager Error" box (once, with a notice for failures met
  // while that box is open).
  int LoadStringW(HINSTANCE module, unsigned int id, int showError);
  int LoadStringW(HINSTANCE module, unsigned int id) { return LoadStringW(module, id, 1); }
  // The text becomes string id of the module formatted printf-style (a missing
  // string is reported and gives the empty text).
  void Format(HINSTANCE module, unsigned int id, ...);
  // The text becomes `format` with its message inserts (%1, %2!d! ...) filled
  // from the arguments. Throws std::bad_alloc* (text unchanged) when
  // FormatMessageW returns no buffer.
  void FormatMessageL(const WCHAR* format, ...);

  // --- resource strings by resource-object name (cstring_by_name.cpp; the
  // resource layer installs how a name becomes a module) --------------------
  // Constructs empty, then LoadStringW(PavoRmCString(resourceName), id, showError).
  PavoRmCString(const WCHAR* resourceName, unsigned int id, int showError);
  // Loads string id of the module of the resource object registered under
  // resourceName; non-zero on success. An unknown name, an object without
  // module or a missing string leaves the text unchanged and, with showError,
  // is reported like the load by module handle (with its own pair of flags).
  int LoadStringW(const PavoRmCString& resourceName, unsigned int id, int showError);
  int LoadStringW(const PavoRmCString& resourceName, unsigned int id) { return LoadStringW(resourceName, id, 1); }
  // The text becomes string id of the named resource object with its message
  // inserts filled from arguments (consumed). A string that cannot be loaded
  // leaves the text unchanged; a failed formatting throws as FormatMessageL.
  void FormatMessageVA(const PavoRmCString& resourceName, unsigned int id, va_list& arguments);
  void FormatMessageW(const PavoRmCString& resourceName, unsigned int id, ...);

 private:
  void AddSeparator(WCHAR separator);
  void RemoveSeparator(WCHAR separator);
  // Units before the first 0 unit at or after p (p within 0..length).
  int UnitsBeforeZero(int p) const noexcept;
  // Sets the length to the units before the first 0 unit (the recount the b
  // family's inserts and deletes end with).
  void Recount() noexcept;
};

#endif
