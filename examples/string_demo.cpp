// Shows PavoRmCString at work: UTF-16 positions, classification, editing,
// formatting and narrow text in the ANSI code page (on Linux PAVORM_ACP=1252
// or 932 chooses it; on Windows it is the system's).
#include <cstdio>
#include <string>
#include <vector>

#include "PavoRm51.h"

namespace {

// UTF-8 for the terminal, whatever the ANSI code page is.
std::string Utf8(const CStringW& s) {
  if (s.IsEmpty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.GetString(), s.GetLength(), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, s.GetString(), s.GetLength(), &out[0], n, nullptr, nullptr);
  return out;
}

void Show(const char* label, const CStringW& s) { std::printf("%-34s \"%s\"\n", label, Utf8(s).c_str()); }

}  // namespace

int main() {
  std::printf("== positions: one UTF-16 unit each\n");
  PavoRmCString text(WTEXT("Gr\u00fc\u00dfe \U0001F600 7\tok!"));
  Show("text", text);
  std::printf("GetLength() = %d, GetByteNum() = %d (the emoji takes positions 6 and 7)\n", text.GetLength(),
              text.GetByteNum());
  Show("cMid(6, 2) (the emoji)", text.cMid(6, 2));
  Show("cLeft(5)", text.cLeft(5));

  std::printf("\n== classification of each position\n");
  for (int p = 0; p < text.GetLength(); ++p) {
    std::printf("  %2d U+%04X  alpha=%3d upper=%d lower=%d digit=%d space=%d punct=%2d control=%2d printable=%d\n", p,
                static_cast<unsigned>(text.GetAt(p)), text.bIsAlpha(p), text.bIsUpper(p), text.bIsLower(p),
                text.bIsDigit(p), text.bIsWhiteSpace(p), text.bIsPunct(p), text.bIsControl(p), text.bIsPrintable(p));
  }

  std::printf("\n== editing helpers\n");
  PavoRmCString edit(WTEXT("a\tb\tc"));
  std::printf("ExpandTab(4) replaced %d tabs\n", edit.ExpandTab(4));
  Show("  result", edit);
  PavoRmCString list(WTEXT("red;green;;blue"));
  PavoRmCString field;
  for (int i = 0; list.extract(field, i, WTEXT(";")); ++i) std::printf("  extract(%d) = \"%s\"\n", i, Utf8(field).c_str());
  PavoRmCString aabb(WTEXT("aabb"));
  std::printf("Remove(\"ab\", -1) on \"aabb\" removed %d\n", aabb.Remove(WTEXT("ab"), -1));
  Show("  result", aabb);
  PavoRmCString aaa(WTEXT("aaa"));
  std::printf("Replace(\"a\", \"aa\", -1) on \"aaa\" replaced %d\n", aaa.Replace(WTEXT("a"), WTEXT("aa"), -1));
  Show("  result", aaa);
  PavoRmCString path(WTEXT("C:\\images"));
  path.addBackslash();
  Show("addBackslash", path);

  std::printf("\n== Format\n");
  PavoRmCString formatted;
  formatted.Format(WTEXT("%s has %d units, %05.1f%% of %hs, hex %#x"), text.GetString(), text.GetLength(), 42.5, "narrow",
                   255);
  Show("Format", formatted);

  std::printf("\n== ansi() in the ANSI code page %u\n", GetACP());
  const PavoRmCString samples[] = {PavoRmCString(WTEXT("caf\u00e9 \u20ac")), PavoRmCString(WTEXT("\u65e5\u672c\u8a9e")),
                                   PavoRmCString(WTEXT("na\u00efve \u0101"))};
  for (const PavoRmCString& s : samples) {
    std::vector<char> buffer(static_cast<size_t>(s.GetLength()) + 1);
    s.ansi(buffer.data());
    std::printf("  \"%s\" ->", Utf8(s).c_str());
    for (const char* b = buffer.data(); *b != 0; ++b) std::printf(" %02X", static_cast<unsigned char>(*b));
    std::printf("\n");
  }
  return 0;
}
