#include "tools/translation_check.h"

#include <cstdio>

#include "tools/cli_args.h"
#include "tools/message_inserts.h"
#include "tools/message_text.h"

namespace pavorm_tool {
namespace {

std::string Keys(const pavo::WideString& keys) {
  std::string out;
  // One key is one character: a surrogate pair stays together.
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool pair = keys[i] >= 0xD800 && keys[i] <= 0xDBFF && i + 1 < keys.size();
    if (!out.empty()) out += ", ";
    out += "&" + Utf8(&keys[i], pair ? 2 : 1);
    if (pair) ++i;
  }
  return out;
}

}  // namespace

CheckReport CheckTranslation(const StringTable& base, const StringTable& translation, const CheckOptions& options) {
  CheckReport report;
  report.strings = translation.size();
  report.baseStrings = base.size();
  for (const auto& entry : base) {
    const unsigned id = entry.first;
    const pavo::WideString& source = entry.second;
    const auto it = translation.find(id);
    if (it == translation.end()) {
      report.findings.push_back({id, "missing", "missing " + std::to_string(id)});
      continue;
    }
    const pavo::WideString& text = it->second;
    const std::string where = std::to_string(id) + ": ";
    const InsertMap expected = ParseInserts(source);
    const InsertMap actual = ParseInserts(text);
    if (expected != actual) {
      report.findings.push_back({id, "inserts", where + "inserts differ: base " + DescribeInserts(expected) +
                                                    ", here " + DescribeInserts(actual)});
    }
    const bool allowed = options.allowedIds.count(id) != 0 || options.allowedTexts.count(source) != 0;
    if (text == source && !allowed && HasLetters(source)) {
      report.findings.push_back({id, "untranslated", where + "untranslated (the same as the base)"});
    } else {
      ++report.translated;
    }
    const pavo::WideString baseKeys = AcceleratorKeys(source);
    const pavo::WideString keys = AcceleratorKeys(text);
    // Several markers in a base text are a message's ampersands, not a label's keys.
    if (keys.size() > 1 && baseKeys.size() <= 1 && CharacterCount(keys) > 1) {
      report.findings.push_back({id, "accelerators", where + "several accelerator keys: " + Keys(keys)});
    } else if (keys.empty() && !baseKeys.empty()) {
      report.findings.push_back(
          {id, "accelerator-missing", where + "no accelerator key (the base has " + Keys(baseKeys) + ")"});
    }
    if (options.maxLengthRatio > 0) {
      const double ratio = static_cast<double>(CharacterCount(text)) / static_cast<double>(CharacterCount(source));
      if (ratio > options.maxLengthRatio) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f times as long as the base (limit %.2f)", ratio, options.maxLengthRatio);
        report.findings.push_back({id, "length", where + buf});
      }
    }
  }
  for (const auto& entry : translation) {
    if (base.count(entry.first) == 0) {
      report.findings.push_back({entry.first, "extra", "extra " + std::to_string(entry.first)});
    }
  }
  return report;
}

}  // namespace pavorm_tool
