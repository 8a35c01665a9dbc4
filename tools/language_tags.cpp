#include "tools/language_tags.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unicode/uloc.h>
#endif

#include <cctype>
#include <cstdio>

namespace pavorm_tool {
namespace {

struct PseudoLocale {
  unsigned short langId;
  const char* tag;
};
// ICU's LCID table leaves out Windows' pseudo-locales.
const PseudoLocale kPseudoLocales[] = {
    {kPseudoLangId, "qps-ploc"}, {0x05FE, "qps-ploca"}, {kPseudoMirroredLangId, "qps-plocm"}};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string LanguageTag(unsigned short langId) {
  for (const PseudoLocale& p : kPseudoLocales) {
    if (p.langId == langId) return p.tag;
  }
  if (langId == 0) return std::string();
#if defined(_WIN32)
  // The system's own locale names are BCP 47 tags.
  WCHAR name[LOCALE_NAME_MAX_LENGTH];
  const int n = LCIDToLocaleName(MAKELCID(langId, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0);
  if (n <= 1) return std::string();
  std::string out;
  for (int i = 0; i + 1 < n; ++i) {
    if (name[i] > 0x7E) return std::string();
    out.push_back(static_cast<char>(name[i]));
  }
#else
  char locale[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = uloc_getLocaleForLCID(langId, locale, sizeof locale, &status);
  if (U_FAILURE(status) || n <= 0 || n >= static_cast<int32_t>(sizeof locale)) return std::string();
  char tag[ULOC_FULLNAME_CAPACITY];
  status = U_ZERO_ERROR;
  const int32_t t = uloc_toLanguageTag(locale, tag, sizeof tag, 1, &status);
  if (U_FAILURE(status) || t <= 0 || t >= static_cast<int32_t>(sizeof tag)) return std::string();
  const std::string out(tag, static_cast<size_t>(t));
#endif
  // ICU's tag for a LANGID it does not know round-trips to another LANGID.
  return LanguageFromTag(out) == langId ? out : std::string();
}

std::string PoLanguage(unsigned short langId) {
  std::string tag = LanguageTag(langId);
  for (char& c : tag) {
    if (c == '-') c = '_';
  }
  return tag;
}

unsigned short LanguageFromTag(const std::string& tag) {
  if (tag.empty() || tag.size() > 64) return 0;
  std::string hyphens = tag;
  for (char& c : hyphens) {
    if (c == '_') c = '-';
    const unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '-') return 0;
  }
  for (const PseudoLocale& p : kPseudoLocales) {
    if (Lower(hyphens) == p.tag) return p.langId;
  }
#if defined(_WIN32)
  WCHAR name[LOCALE_NAME_MAX_LENGTH];
  if (hyphens.size() >= LOCALE_NAME_MAX_LENGTH) return 0;
  for (size_t i = 0; i < hyphens.size(); ++i) name[i] = static_cast<WCHAR>(hyphens[i]);
  name[hyphens.size()] = 0;
  const LCID lcid = LocaleNameToLCID(name, 0);
  // Windows' answer for a name it does not know (or a custom one).
  if (lcid == 0 || lcid == LOCALE_CUSTOM_UNSPECIFIED || lcid == LOCALE_CUSTOM_DEFAULT) return 0;
  return static_cast<unsigned short>(lcid & 0xFFFF);
#else
  char locale[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  int32_t parsed = 0;
  const int32_t n = uloc_forLanguageTag(hyphens.c_str(), locale, sizeof locale, &parsed, &status);
  if (U_FAILURE(status) || n <= 0 || n >= static_cast<int32_t>(sizeof locale) ||
      parsed != static_cast<int32_t>(hyphens.size())) {
    return 0;
  }
  const uint32_t lcid = uloc_getLCID(locale);
  return static_cast<unsigned short>(lcid & 0xFFFF);
#endif
}

std::string LangIdText(unsigned short langId) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(langId));
  return buf;
}

}  // namespace pavorm_tool
