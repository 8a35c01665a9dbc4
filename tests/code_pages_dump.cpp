// Writes how WideCharToMultiByte and MultiByteToWideChar convert every UTF-16
// unit, every byte and every two-byte sequence with a first byte of 0x80 or
// above, for the code pages named on the command line (default 1252 932).
// Built for Linux it runs the library's stand-ins; built for Windows
//   x86_64-w64-mingw32-g++-posix -O2 -static tests/code_pages_dump.cpp -o dump.exe
// it runs the real API, so the two outputs can be diffed line by line
// (scripts/compare-code-pages.sh).
//
// Output, one record per line, fields separated by one space:
//   codepage <n>
//   w <unit> <cell>...   one UTF-16 unit, in the modes listed on the codepage's
//                        "modes" line
//   b <byte> <cell> <cell>              one byte, flags 0 then MB_ERR_INVALID_CHARS
//   p <byte><byte> <cell> <cell>        two bytes, the same two modes
// A cell is the result as hex (bytes as pairs, UTF-16 units as groups of four
// joined by '.'), followed by '*' when the used-default flag came back set
// and by '~<n>' when the size query gave n instead of the length written;
// 'E<code>' is a failure with its last-error code.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win/code_pages.h"
#include "platform/win/last_error.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kHex[] = "0123456789abcdef";

void AppendHex(std::string& out, unsigned value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

// One way of calling WideCharToMultiByte: its flags, default character and
// whether the used-default flag is asked for.
struct WideMode {
  const char* name;
  DWORD flags;
  const char* defaultChar;
  bool askUsed;
};

// UTF-8 takes neither a default character nor the used-default flag.
const WideMode kUtf8Modes[] = {
    {"flags0", 0, nullptr, false},
    {"err_invalid", WC_ERR_INVALID_CHARS, nullptr, false},
};
// The default "\x81\x9a" is a two-byte character in 932; a single-byte code
// page takes its first byte.
const WideMode kTableModes[] = {
    {"flags0,used", 0, nullptr, true},
    {"flags0,default=23,used", 0, "#", true},
    {"no_best_fit,used", WC_NO_BEST_FIT_CHARS, nullptr, true},
    {"no_best_fit,default=819a,used", WC_NO_BEST_FIT_CHARS, "\x81\x9a", true},
};

void AppendFailure(std::string& out) {
  out += 'E';
  out += std::to_string(static_cast<unsigned long>(GetLastError()));
}

void AppendWideCell(std::string& out, UINT codePage, const WideMode& mode, const WCHAR* text,
                    int length) {
  char bytes[16];
  BOOL used = FALSE;
  const int query = WideCharToMultiByte(codePage, mode.flags, text, length, nullptr, 0,
                                        mode.defaultChar, mode.askUsed ? &used : nullptr);
  used = FALSE;
  const int written = WideCharToMultiByte(codePage, mode.flags, text, length, bytes, sizeof bytes,
                                          mode.defaultChar, mode.askUsed ? &used : nullptr);
  if (written <= 0) {
    AppendFailure(out);
    return;
  }
  for (int i = 0; i < written; ++i) AppendHex(out, static_cast<unsigned char>(bytes[i]), 2);
  if (used) out += '*';
  if (query != written) {
    out += '~';
    out += std::to_string(query);
  }
}

void AppendNarrowCell(std::string& out, UINT codePage, DWORD flags, const char* bytes, int length) {
  WCHAR units[8];
  const int query = MultiByteToWideChar(codePage, flags, bytes, length, nullptr, 0);
  const int written = MultiByteToWideChar(codePage, flags, bytes, length, units, 8);
  if (written <= 0) {
    AppendFailure(out);
    return;
  }
  for (int i = 0; i < written; ++i) {
    if (i > 0) out += '.';
    AppendHex(out, static_cast<unsigned>(units[i]), 4);
  }
  if (query != written) {
    out += '~';
    out += std::to_string(query);
  }
}

bool DumpCodePage(std::FILE* file, UINT codePage) {
  const bool utf8 = codePage == CP_UTF8;
  const WideMode* modes = utf8 ? kUtf8Modes : kTableModes;
  const size_t modeCount =
      utf8 ? sizeof kUtf8Modes / sizeof kUtf8Modes[0] : sizeof kTableModes / sizeof kTableModes[0];
  std::string line = "codepage " + std::to_string(codePage) + "\nmodes w";
  for (size_t m = 0; m < modeCount; ++m) line += std::string(" ") + modes[m].name;
  line += "\nmodes b,p flags0 err_invalid\n";
  if (std::fputs(line.c_str(), file) < 0) return false;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const WCHAR text[1] = {static_cast<WCHAR>(unit)};
    line = "w ";
    AppendHex(line, unit, 4);
    for (size_t m = 0; m < modeCount; ++m) {
      line += ' ';
      AppendWideCell(line, codePage, modes[m], text, 1);
    }
    line += '\n';
    if (std::fputs(line.c_str(), file) < 0) return false;
  }
  for (unsigned first = 0; first <= 0xFF; ++first) {
    const char bytes[1] = {static_cast<char>(first)};
    line = "b ";
    AppendHex(line, first, 2);
    line += ' ';
    AppendNarrowCell(line, codePage, 0, bytes, 1);
    line += ' ';
    AppendNarrowCell(line, codePage, MB_ERR_INVALID_CHARS, bytes, 1);
    line += '\n';
    if (std::fputs(line.c_str(), file) < 0) return false;
  }
  // Every lead byte of Windows' double-byte code pages is 0x81 or above.
  for (unsigned first = 0x80; first <= 0xFF; ++first) {
    for (unsigned second = 0; second <= 0xFF; ++second) {
      const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
      line = "p ";
      AppendHex(line, first, 2);
      AppendHex(line, second, 2);
      line += ' ';
      AppendNarrowCell(line, codePage, 0, bytes, 2);
      line += ' ';
      AppendNarrowCell(line, codePage, MB_ERR_INVALID_CHARS, bytes, 2);
      line += '\n';
      if (std::fputs(line.c_str(), file) < 0) return false;
    }
  }
  return true;
}

bool ParseCodePage(const char* text, UINT* codePage) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != 0 || value == 0 || value > 65535) return false;
  *codePage = static_cast<UINT>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output-file> [code-page...]\n", argv[0]);
    return 2;
  }
  UINT codePages[64];
  size_t count = 0;
  for (int i = 2; i < argc; ++i) {
    if (count == sizeof codePages / sizeof codePages[0] ||
        !ParseCodePage(argv[i], &codePages[count])) {
      std::fprintf(stderr, "%s: bad or too many code pages: %s\n", argv[0], argv[i]);
      return 2;
    }
    ++count;
  }
  if (count == 0) {
    codePages[count++] = 1252;
    codePages[count++] = 932;
  }
  // Binary mode: the same bytes from both builds, no CR before each LF.
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "%s: cannot create %s\n", argv[0], argv[1]);
    return 1;
  }
  for (size_t i = 0; i < count; ++i) {
    if (!IsValidCodePage(codePages[i])) {
      std::fprintf(stderr, "%s: code page %u is not available\n", argv[0], codePages[i]);
      std::fclose(file);
      return 1;
    }
  }
  bool written = true;
  for (size_t i = 0; i < count && written; ++i) written = DumpCodePage(file, codePages[i]);
  if (std::fclose(file) != 0) written = false;
  if (!written) std::fprintf(stderr, "%s: writing %s failed\n", argv[0], argv[1]);
  return written ? 0 : 1;
}
