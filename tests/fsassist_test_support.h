// Helpers shared by the fsassist tests.
#ifndef PAVORM_TESTS_FSASSIST_TEST_SUPPORT_H
#define PAVORM_TESTS_FSASSIST_TEST_SUPPORT_H

#include <string>

#include "PavoRm51.h"

// The specifier's text as UTF-8, without terminator.
inline std::string Utf8(const Gral::FileSpecifier& held) {
  Gral::StringBuffer out;
  held.text().convert(out, 1);
  return std::string(out.data(), static_cast<size_t>(out.textBytes()));
}

// A kind-2 specifier holding xml as UTF-8.
inline Gral::FileSpecifier Reference(const std::string& xml) {
  return Gral::FileSpecifier(Gral::StringBuffer(static_cast<int>(xml.size() + 1), xml.c_str(), 1), 2);
}

// Names outside ASCII, with XML's special characters.
inline const WCHAR* const kAwkwardTexts[] = {
    WTEXT("C:\\Bilder\\Grüße.tif"), WTEXT("Ωμέγα/εικόνα.png"), WTEXT("画像/日本語.jpg"), WTEXT("\U0001F600 emoji"),
    WTEXT("a&b<c>\"d'e\tf\ng\rh"), WTEXT(""),
};

#endif
