// Editing helpers: counted removal and replacement, tab expansion, fields of
// separated lists, trailing path separators.
//
// Remove and Replace give the results of "find the first occurrence from
// position 0, edit it, search again from 0" in one linear pass: after a
// removal at q no occurrence can start before q - len + 1, and replacement
// never searches text it inserted.
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "platform/win/wide_text.h"
#include "string/PavoRmCString.h"

namespace {

// Knuth-Morris-Pratt matcher of one pattern: linear in the text whatever
// the pattern.
class Matcher {
 public:
  Matcher(const WCHAR* pattern, int length) : m_pattern(pattern), m_length(length), m_fail(static_cast<size_t>(length), 0) {
    int k = 0;
    for (int i = 1; i < length; ++i) {
      while (k > 0 && pattern[i] != pattern[k]) k = m_fail[static_cast<size_t>(k - 1)];
      if (pattern[i] == pattern[k]) ++k;
      m_fail[static_cast<size_t>(i)] = k;
    }
  }
  int length() const { return m_length; }
  // The state after reading unit from state (state == length() is a match).
  int Step(int state, WCHAR unit) const {
    if (state == m_length) state = m_fail[static_cast<size_t>(state - 1)];
    while (state > 0 && m_pattern[state] != unit) state = m_fail[static_cast<size_t>(state - 1)];
    if (m_pattern[state] == unit) ++state;
    return state;
  }

 private:
  const WCHAR* m_pattern;
  int m_length;
  std::vector<int> m_fail;
};

// Appends to starts the positions of the first `wanted` non-overlapping
// occurrences of pattern in text[from..length), left to right.
void FindAll(const WCHAR* text, int length, int from, const WCHAR* pattern, int m, int wanted,
             std::vector<int>& starts) {
  if (m == 1) {
    const WCHAR unit = pattern[0];
    for (int i = from; i < length && static_cast<int>(starts.size()) < wanted; ++i) {
      if (text[i] == unit) starts.push_back(i);
    }
    return;
  }
  // Direct comparison at each place where the first unit matches is fastest
  // on real text; once it has done more than twice the text's length in unit
  // comparisons (patterns like "aaab" in "aaaa..."), the KMP matcher takes
  // over from the current place, so the whole search stays linear.
  const WCHAR first = pattern[0];
  const long long budget = 2LL * (length - from) + m;
  long long work = 0;
  int i = from;
  while (i <= length - m && static_cast<int>(starts.size()) < wanted) {
    while (i <= length - m && text[i] != first) ++i;
    if (i > length - m) return;
    int j = 1;
    while (j < m && text[i + j] == pattern[j]) ++j;
    work += j;
    if (j == m) {
      starts.push_back(i);
      i += m;
      continue;
    }
    ++i;
    if (work > budget) break;
  }
  const Matcher matcher(pattern, m);
  int state = 0;
  for (; i < length && static_cast<int>(starts.size()) < wanted; ++i) {
    state = matcher.Step(state, text[i]);
    if (state == m) {
      starts.push_back(i + 1 - m);
      state = 0;
    }
  }
}

bool CountLeft(int done, int count) { return count < 0 || done < count; }

int CheckedLength(size_t n) {
  if (n > static_cast<size_t>(INT_MAX - 1)) throw std::bad_alloc();
  return static_cast<int>(n);
}

}  // namespace

int PavoRmCString::Remove(const WCHAR* s, int count) {
  if (s == nullptr || s[0] == 0 || count == 0) return 0;
  const PavoRmCString pattern(s);  // s may point into this text
  const int m = pattern.GetLength();
  if (m == 1) return Remove(pattern[0], count);
  int removed = 0;
  if (GetCharNum() < GetLength()) {
    // The first deletion ends the text at its first 0 unit (bDelete recounts);
    // do that one step as it is, the rest runs on text without 0 units.
    const int q = Find(pattern, 0);
    if (q < 0) return 0;
    bDelete(q, m);
    if (++removed == count) return removed;
  }
  // Stream the text into out, removing each occurrence as soon as it is
  // complete; states[i] is the matcher state after out[0..i].
  const Matcher matcher(pattern.GetString(), m);
  const WCHAR* text = GetString();
  const int length = GetLength();
  pavo::WideString out;
  std::vector<int> states;
  out.reserve(static_cast<size_t>(length));
  states.reserve(static_cast<size_t>(length));
  int i = 0;
  for (; i < length && CountLeft(removed, count); ++i) {
    const int state = matcher.Step(states.empty() ? 0 : states.back(), text[i]);
    out.push_back(text[i]);
    states.push_back(state);
    if (state == m) {
      out.resize(out.size() - static_cast<size_t>(m));
      states.resize(states.size() - static_cast<size_t>(m));
      ++removed;
    }
  }
  if (removed == 0) return 0;
  out.append(text + i, static_cast<size_t>(length - i));
  SetString(out.data(), CheckedLength(out.size()));
  return removed;
}

int PavoRmCString::Remove(WCHAR ch, int count) {
  if (count == 0 || Find(ch, 0) < 0) return 0;
  int removed = 0;
  if (GetCharNum() < GetLength()) {
    bDelete(Find(ch, 0));  // ends the text at its first 0 unit, see above
    if (++removed == count) return removed;
  }
  const int length = GetLength();
  if (length == 0) return removed;
  WCHAR* text = GetBuffer();
  int w = 0;
  for (int r = 0; r < length; ++r) {
    if (text[r] == ch && CountLeft(removed, count)) {
      ++removed;
      continue;
    }
    text[w++] = text[r];
  }
  ReleaseBuffer(w);
  return removed;
}

int PavoRmCString::Replace(WCHAR oldCh, WCHAR newCh, int count) {
  if (count == 0) return 0;
  const int length = GetLength();
  int replaced = 0;
  if (oldCh == newCh) {
    // Each unit would be "replaced" by itself: count them once and stop,
    // instead of finding the same unit again forever.
    for (int i = 0; i < length && CountLeft(replaced, count); ++i) {
      if (GetAt(i) == oldCh) ++replaced;
    }
    return replaced;
  }
  if (Find(oldCh, 0) < 0) return 0;
  WCHAR* text = GetBuffer();
  for (int i = 0; i < length && CountLeft(replaced, count); ++i) {
    if (text[i] == oldCh) {
      text[i] = newCh;
      ++replaced;
    }
  }
  ReleaseBuffer(length);
  return replaced;
}

int PavoRmCString::Replace(const WCHAR* oldText, const WCHAR* newText, int count) {
  if (oldText == nullptr || oldText[0] == 0 || count == 0) return 0;
  const PavoRmCString pattern(oldText);  // either may point into this text
  const PavoRmCString replacement(newText);
  const int m = pattern.GetLength();
  const int k = replacement.GetLength();
  int replaced = 0;
  int base = 0;
  if (GetCharNum() < GetLength()) {
    const int q = Find(pattern, 0);
    if (q < 0) return 0;
    bDelete(q, m);  // ends the text at its first 0 unit
    bInsert(q, replacement);
    base = q + k;
    if (++replaced == count) return replaced;
  }
  const WCHAR* text = GetString();
  const int length = GetLength();
  if (base >= length) return replaced;
  // Occurrences from base, left to right, not overlapping: exactly what
  // searching bMid(base) again after each replacement finds.
  std::vector<int> starts;
  const int wanted = count < 0 ? INT_MAX : count - replaced;
  FindAll(text, length, base, pattern.GetString(), m, wanted, starts);
  if (starts.empty()) return replaced;
  const long long grown =
      static_cast<long long>(length) + static_cast<long long>(starts.size()) * (static_cast<long long>(k) - m);
  if (grown > INT_MAX - 1) throw std::bad_alloc();
  CStringW result;
  WCHAR* out = result.GetBuffer(static_cast<int>(grown));
  const WCHAR* with = replacement.GetString();
  // Pieces are short and many: plain loops beat a library call per piece.
  int copied = 0;
  for (const int at : starts) {
    for (int j = copied; j < at; ++j) *out++ = text[j];
    for (int j = 0; j < k; ++j) *out++ = with[j];
    copied = at + m;
  }
  std::memcpy(out, text + copied, static_cast<size_t>(length - copied) * sizeof(WCHAR));
  result.ReleaseBuffer(static_cast<int>(grown));
  CStringW::operator=(static_cast<CStringW&&>(result));
  return replaced + static_cast<int>(starts.size());
}

int PavoRmCString::ExpandTab(int width, int count) {
  if (count == 0) return 0;
  const int spaces = width < 1 ? 0 : width;
  if (spaces > 4096) {
    // Refuse before building a wide run of spaces when the result could not
    // be held (Replace checks the common case itself).
    int tabs = 0;
    for (int i = 0; i < GetLength() && CountLeft(tabs, count); ++i) {
      if (GetAt(i) == 9) ++tabs;
    }
    if (tabs == 0) return 0;
    if (static_cast<long long>(tabs) * (spaces - 1) > static_cast<long long>(INT_MAX - 1) - GetLength())
      throw std::bad_alloc();
  }
  const WCHAR tab[2] = {9, 0};
  return Replace(tab, PavoRmCString(WCHAR(32), spaces), count);
}

int PavoRmCString::extract(PavoRmCString& out, int index, const WCHAR* separator) const {
  const PavoRmCString sep(separator);  // null reads as empty
  const int m = sep.GetLength();
  if (m == 0) {
    // An empty separator is found at the start every time without moving on:
    // every field from 0 on is the empty one; a negative index has none.
    out.Empty();
    return index >= 0 ? 1 : 0;
  }
  // Walks a copy of the text by offset: the copy is text[off..length).
  const PavoRmCString text(*this);  // out may be this object
  const int length = text.GetLength();
  int off = 0;
  int zeroAt = off + text.UnitsBeforeZero(off);  // first 0 unit at or after off
  int n = 0;
  for (;;) {
    const int q = text.Find(sep, off);
    if (q < 0) break;
    if (off > zeroAt) zeroAt = off + text.UnitsBeforeZero(off);
    const int rel = q - off;
    const int charNum = zeroAt - off;  // GetCharNum() of the copy
    if (n == index) {
      const int keep = rel == 0 ? 0 : (rel < charNum ? rel : length - off);
      out.SetString(text.GetString() + off, keep);
      return 1;
    }
    const int next = rel + m;  // cMid(next) of the copy
    off += next < charNum ? next : length - off;
    ++n;
  }
  if (off > zeroAt) zeroAt = off + text.UnitsBeforeZero(off);
  if (n == index && zeroAt - off > 0) {
    out.SetString(text.GetString() + off, length - off);
    return 1;
  }
  out.Empty();
  return 0;
}

int PavoRmCString::extractSubString(PavoRmCString& out, const WCHAR* text, int index, WCHAR separator) {
  if (text == nullptr) return 0;
  // The count is taken as unsigned: a negative index skips until the
  // separators run out. A 0 separator is never found (it is the terminator).
  const unsigned skip = static_cast<unsigned>(index);
  const WCHAR* p = text;
  for (unsigned i = 0; i < skip; ++i) {
    while (*p != 0 && *p != separator) ++p;
    if (*p == 0) {
      out.Empty();
      return 0;
    }
    ++p;
  }
  const WCHAR* end = p;
  while (*end != 0 && *end != separator) ++end;
  out.SetString(p, static_cast<int>(end - p));
  return 1;
}

int PavoRmCString::compareAt(int p, const WCHAR* s) const noexcept {
  const unsigned limit = static_cast<unsigned>(GetCharNum());
  if (static_cast<unsigned>(p) > limit) return 0;
  const WCHAR* unit = GetString() + (p <= 0 ? 0 : p);
  const WCHAR empty = 0;
  return charCompare(unit, s != nullptr ? s : &empty) == 0 ? 1 : 0;
}

void PavoRmCString::AddSeparator(WCHAR separator) {
  const int last = ReverseFind(separator);
  if (last >= 0 && last == GetLength() - 1) return;
  *this += separator;
}

void PavoRmCString::RemoveSeparator(WCHAR separator) {
  const int last = ReverseFind(separator);
  if (last < 0 || last != GetLength() - 1) return;
  WCHAR* text = GetBuffer();
  text[last] = 0;
  ReleaseBuffer(last);
  Recount();
}
