#include "platform/win/registry_reg_text.h"

#include <unicode/ucnv.h>

#include <climits>

namespace pavo {
namespace reg {

const char16_t kRegHeader5[] = u"Windows Registry Editor Version 5.00";
const char16_t kRegHeader4[] = u"REGEDIT4";

namespace {

// A converter per call: ICU converters must not be shared between threads.
class Converter {
 public:
  Converter() {
    UErrorCode status = U_ZERO_ERROR;
    m_conv = ucnv_open("windows-1252", &status);
    if (U_FAILURE(status)) m_conv = nullptr;
    if (m_conv == nullptr) return;
    ucnv_setFallback(m_conv, TRUE);
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(m_conv, "?", 1, &status);
  }
  ~Converter() {
    if (m_conv != nullptr) ucnv_close(m_conv);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  UConverter* get() const { return m_conv; }

 private:
  UConverter* m_conv = nullptr;
};

}  // namespace

std::string AnsiFromWide(const WideString& text) {
  std::string out;
  Converter conv;
  if (conv.get() == nullptr || text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) {
    // Without a converter, keep ASCII and mark the rest.
    for (WCHAR c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  out.resize(text.size());  // a single-byte code page: one byte per unit at most
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(conv.get(), &out[0], static_cast<int32_t>(out.size()),
                                    reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

WideString WideFromAnsi(const std::string& bytes) {
  WideString out;
  Converter conv;
  if (conv.get() == nullptr || bytes.empty() || bytes.size() > static_cast<size_t>(INT32_MAX)) {
    for (char c : bytes) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(c)));
    return out;
  }
  out.resize(bytes.size());
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(conv.get(), reinterpret_cast<UChar*>(&out[0]),
                                  static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return WideString();
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace reg
}  // namespace pavo
