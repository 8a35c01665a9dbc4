// The module writer and the exchange-file writers against their readers:
// strings drawn from the input are written as a module, which the project's
// PE reader must open and read back exactly (every string, in its language,
// by ForEachString and by LoadStringW's lookup), and as PO and XLIFF files,
// which the readers must read back exactly whenever the writers accept them.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/win/last_error.h"
#include "platform/win/pe_image.h"
#include "tools/module_writer.h"
#include "tools/po_file.h"
#include "tools/xliff_file.h"

namespace {

// Languages to draw from: neutral, U.S. English, German, the pseudo-language.
const unsigned short kLanguages[] = {0x0000, 0x0409, 0x0407, 0x0501};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The input as strings: per string a language byte, a 16-bit id, a 16-bit
// length (cut to 1..1024 units, or 65535 when its top bits say so), then
// the units (what the input lacks repeats the id's low byte).
pavorm_tool::ModuleStrings StringsOf(const uint8_t* data, size_t size) {
  pavorm_tool::ModuleStrings strings;
  size_t pos = 0;
  while (size - pos >= 5) {
    const unsigned short language = kLanguages[data[pos] & 3];
    const unsigned id = data[pos + 1] | (data[pos + 2] << 8);
    const unsigned raw = data[pos + 3] | (data[pos + 4] << 8);
    pos += 5;
    const size_t length = (raw & 0xC000) == 0xC000 ? 65535 : 1 + (raw & 0x3FF);
    pavo::WideString text;
    for (size_t i = 0; i < length; ++i) {
      if (size - pos >= 2) {
        text.push_back(static_cast<WCHAR>(data[pos] | (data[pos + 1] << 8)));
        pos += 2;
      } else {
        text.push_back(static_cast<WCHAR>('a' + (id & 15)));
      }
    }
    strings[language][id] = text;
  }
  return strings;
}

void CheckModule(const pavorm_tool::ModuleStrings& strings) {
  std::vector<unsigned char> module;
  Check(pavorm_tool::WriteStringModule(strings, &module).empty());
  pavo::PeImage image;
  Check(image.Open(module.data(), module.size()) == ERROR_SUCCESS);
  Check(image.Is64());
  pavorm_tool::ModuleStrings read;
  image.ForEachString([&](UINT id, WORD language, const BYTE* bytes, size_t units) {
    pavo::WideString text(units, 0);
    for (size_t i = 0; i < units; ++i) text[i] = static_cast<WCHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    Check(read[language].emplace(id, text).second);
  });
  Check(read == strings);
  for (const auto& language : strings) {
    for (const auto& entry : language.second) {
      const WCHAR* text = nullptr;
      size_t length = 0;
      Check(image.FindString(entry.first, language.first, &text, &length) == ERROR_SUCCESS);
      Check(pavo::WideString(text, length) == entry.second);
    }
  }
}

void CheckExchangeFiles(const pavorm_tool::ModuleStrings& strings) {
  if (strings.empty()) return;
  std::vector<pavorm_tool::Catalog> catalogs;
  for (const auto& language : strings) {
    pavorm_tool::Catalog catalog;
    catalog.original = "fuzz.dll";
    catalog.sourceLanguage = 0x0409;
    catalog.targetLanguage = language.first == 0 ? 0x0407 : language.first;
    bool translated = false;
    for (const auto& entry : language.second) {
      pavorm_tool::CatalogEntry e;
      e.id = entry.first;
      e.source = entry.second;
      // Every other string translated, as its text reversed.
      if ((translated = !translated)) {
        e.translation.assign(entry.second.rbegin(), entry.second.rend());
        e.translated = true;
      }
      catalog.entries.push_back(e);
    }
    catalogs.push_back(catalog);
  }
  auto same = [](const pavorm_tool::Catalog& a, const pavorm_tool::Catalog& b) {
    if (a.entries.size() != b.entries.size() || a.targetLanguage != b.targetLanguage) return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
      const pavorm_tool::CatalogEntry& x = a.entries[i];
      const pavorm_tool::CatalogEntry& y = b.entries[i];
      if (x.id != y.id || x.source != y.source || x.translated != y.translated) return false;
      if (x.translated && x.translation != y.translation) return false;
    }
    return true;
  };
  std::string error;
  const std::string po = pavorm_tool::WritePo(catalogs.front(), &error);
  if (error.empty()) {
    pavorm_tool::Catalog back;
    Check(pavorm_tool::ReadPo(po, &back).ok());
    // An empty translation reads as untranslated: the writer gave none.
    Check(same(back, catalogs.front()));
  }
  const std::string xliff = pavorm_tool::WriteXliff(catalogs, &error);
  if (error.empty()) {
    std::vector<pavorm_tool::Catalog> back;
    Check(pavorm_tool::ReadXliff(xliff, &back).ok());
    Check(back.size() == catalogs.size());
    for (size_t i = 0; i < back.size(); ++i) Check(same(back[i], catalogs[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const pavorm_tool::ModuleStrings strings = StringsOf(data, size);
  CheckModule(strings);
  CheckExchangeFiles(strings);
  return 0;
}
