#include "tools/message_inserts.h"

namespace pavorm_tool {
namespace {

bool IsDigit(WCHAR c) { return c >= WTEXT('0') && c <= WTEXT('9'); }

void Record(InsertMap& map, int number, const std::string& conversion) {
  auto it = map.find(number);
  if (it == map.end()) {
    map[number] = conversion;
  } else if (it->second != conversion && it->second.find(conversion) == std::string::npos) {
    it->second += "|" + conversion;
  }
}

}  // namespace

std::vector<InsertSpan> FindInserts(const pavo::WideString& text) {
  std::vector<InsertSpan> spans;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (text[i] != WTEXT('%')) {
      ++i;
      continue;
    }
    InsertSpan span;
    span.begin = i;
    ++i;
    if (i >= n) break;
    // %1..%9, then at most one more digit: %10..%99.
    if (!IsDigit(text[i]) || text[i] == WTEXT('0')) {
      ++i;  // an escape such as %%, %n, %0
      span.end = i;
      spans.push_back(span);
      continue;
    }
    int number = text[i] - WTEXT('0');
    ++i;
    if (i < n && IsDigit(text[i])) {
      number = number * 10 + (text[i] - WTEXT('0'));
      ++i;
    }
    std::string conversion = "s";
    if (i < n && text[i] == WTEXT('!')) {
      const size_t close = text.find(WTEXT('!'), i + 1);
      if (close != pavo::WideString::npos) {
        size_t start = i + 1;
        // Flags, width and precision do not change what the argument must be.
        while (start < close && (IsDigit(text[start]) || text[start] == WTEXT('-') || text[start] == WTEXT('+') ||
                                 text[start] == WTEXT(' ') || text[start] == WTEXT('#') || text[start] == WTEXT('.') ||
                                 text[start] == WTEXT('*'))) {
          ++start;
        }
        conversion.clear();
        for (size_t k = start; k < close; ++k) {
          conversion += text[k] < 0x80 ? static_cast<char>(text[k]) : '?';
        }
        if (conversion.empty()) conversion = "?";
        i = close + 1;
      }
    }
    span.end = i;
    span.number = number;
    span.conversion = conversion;
    spans.push_back(span);
  }
  return spans;
}

InsertMap ParseInserts(const pavo::WideString& text) {
  InsertMap map;
  for (const InsertSpan& span : FindInserts(text)) {
    if (span.number != 0) Record(map, span.number, span.conversion);
  }
  return map;
}

std::string DescribeInserts(const InsertMap& inserts) {
  if (inserts.empty()) return "none";
  std::string out;
  for (const auto& entry : inserts) {
    if (!out.empty()) out += ' ';
    out += "%" + std::to_string(entry.first) + "!" + entry.second + "!";
  }
  return out;
}

}  // namespace pavorm_tool
