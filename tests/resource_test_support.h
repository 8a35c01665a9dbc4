// Helpers of the resource tests: an information object kept in memory and a
// resource object that accepts every candidate; both log their destruction.
#ifndef PAVORM_TESTS_RESOURCE_TEST_SUPPORT_H
#define PAVORM_TESTS_RESOURCE_TEST_SUPPORT_H

#include <map>
#include <string>
#include <vector>

#include "info/PavoRmInformation.h"
#include "platform/win/paths.h"
#include "resource/PavoRmResourceObject.h"
#include "platform/win/wide_text.h"

namespace rtest {

using Log = std::vector<pavo::WideString>;

inline pavo::WideString U(const PavoRmCString& s) { return pavo::WideString(s.GetString()); }
// The path in UTF-8 with `\` read as `/`, as the file stand-ins read it.
inline std::string Path(const PavoRmCString& s) {
  std::string out = pavo::Utf8FromWide(s.GetString(), static_cast<size_t>(s.GetLength()));
  for (char& c : out) c = c == '\\' ? '/' : c;
  return out;
}

class MemoryInformation : public PavoRmInformation {
 public:
  MemoryInformation(const PavoRmCString& path, const PavoRmCString& language, Log* log = nullptr)
      : PavoRmInformation(PavoRmCString(), path, language), log_(log) {}
  int WriteValue(const PavoRmCString&, const PavoRmCString&, const PavoRmCString&) override { return 0; }
  PavoRmCString ReadValue(const PavoRmCString&, const PavoRmCString&) override { return PavoRmCString(); }
  int GetLanguageList(PavoRmLanguageList&) override { return 1; }
  PavoRmCString GetCurrentLanguage() override { return GetCurrentLanguageName(); }
  int RefCount() const { return m_RefCount; }

 protected:
  ~MemoryInformation() override {
    if (log_ != nullptr) log_->push_back(WTEXT("info"));
  }

 private:
  Log* log_;
};

class Probe : public PavoRmResourceObject {
 public:
  explicit Probe(const PavoRmCString& name, Log* log = nullptr) : PavoRmResourceObject(name), log_(log) {}
  ~Probe() override {
    if (log_ != nullptr) log_->push_back(WTEXT("~") + U(m_Name));
  }
  int Init() override {
    ++inits;
    return PavoRmResourceObject::Init();
  }
  int TryLoad(const PavoRmCString& fileName) override {
    tried.push_back(U(fileName));
    return 1;
  }
  int CatchLoad() override { return 1; }
  int FinishLoad() override { return finishResult; }

  int inits = 0;
  int finishResult = 1;
  std::vector<pavo::WideString> tried;

 private:
  Log* log_;
};

}  // namespace rtest

#endif
