#include "platform/win/ui_language.h"

#include <unicode/uloc.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

thread_local LANGID t_threadLanguage = 0;

LANGID FromEnvironment() {
  if (const char* v = std::getenv("PAVORM_UI_LANGUAGE")) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(v, &end, 0);
    if (end != v && *end == 0 && n > 0 && n <= 0xFFFF) return static_cast<LANGID>(n);
  }
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != 0) {
      locale = v;
      break;
    }
  }
  if (locale == nullptr) return 0x0409;
  // "de_DE.UTF-8@euro" -> "de_DE": ICU knows the language and region only.
  std::string tag(locale, std::strcspn(locale, ".@"));
  if (tag.empty() || tag == "C" || tag == "POSIX") return 0x0409;
  const uint32_t lcid = uloc_getLCID(tag.c_str());
  return lcid != 0 ? static_cast<LANGID>(lcid & 0xFFFF) : 0x0409;
}

}  // namespace

extern "C" LANGID GetUserDefaultUILanguage(void) {
  static const LANGID language = FromEnvironment();
  return language;
}

extern "C" LANGID GetThreadUILanguage(void) {
  return t_threadLanguage != 0 ? t_threadLanguage : GetUserDefaultUILanguage();
}

extern "C" LANGID SetThreadUILanguage(LANGID language) {
  t_threadLanguage = language;
  return GetThreadUILanguage();
}
