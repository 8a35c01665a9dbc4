// Helpers of the resource tests: an information object kept in memory that
// logs its destruction, and a resource object that logs its protocol calls.
#ifndef PAVORM_TESTS_RESOURCE_TEST_SUPPORT_H
#define PAVORM_TESTS_RESOURCE_TEST_SUPPORT_H

#include <map>
#include <string>
#include <vector>

#include "info/PavoRmInformation.h"
#include "platform/win/paths.h"
#include "resource/PavoRmResourceObject.h"

namespace rtest {

using Log = std::vector<std::u16string>;

inline std::u16string U(const PavoRmCString& s) { return std::u16string(s.GetString()); }
// The path in UTF-8 with `\` read as `/`, as the file stand-ins read it.
inline std::string Path(const PavoRmCString& s) {
  std::string out = pavo::Utf8FromWide(s.GetString(), static_cast<size_t>(s.GetLength()));
  for (char& c : out) c = c == '\\' ? '/' : c;
  return out;
}

class MemoryInformation : public PavoRmInformation {
 public:
  MemoryInformation(const PavoRmCString& path, const PavoRmCString& language, Log* log = nullptr,
                    std::vector<std::u16string> languages = {})
      : PavoRmInformation(PavoRmCString(), path, language), languages_(std::move(languages)), log_(log) {}
  int WriteValue(const PavoRmCString&, const PavoRmCString& name, const PavoRmCString& value) override {
    values_[U(name)] = U(value);
    return 1;
  }
  PavoRmCString ReadValue(const PavoRmCString&, const PavoRmCString& name) override {
    auto it = values_.find(U(name));
    return it != values_.end() ? PavoRmCString(it->second.c_str()) : PavoRmCString();
  }
  int GetLanguageList(PavoRmLanguageList& list) override {
    for (const auto& language : languages_) list.AddTail(new PavoRmCString(language.c_str()));
    return 1;
  }
  PavoRmCString GetCurrentLanguage() override { return GetCurrentLanguageName(); }
  int RefCount() const { return m_RefCount; }

 protected:
  ~MemoryInformation() override {
    if (log_ != nullptr) log_->push_back(u"info");
  }

 private:
  std::map<std::u16string, std::u16string> values_;
  std::vector<std::u16string> languages_;
  Log* log_;
};

// Accepts every candidate; FinishLoad gives finishResult. Logs Init runs and its destruction.
class Probe : public PavoRmResourceObject {
 public:
  explicit Probe(const PavoRmCString& name, Log* log = nullptr) : PavoRmResourceObject(name), log_(log) {}
  ~Probe() override {
    if (log_ != nullptr) log_->push_back(u"~" + U(m_Name));
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
  std::vector<std::u16string> tried;

 private:
  Log* log_;
};

}  // namespace rtest

#endif
