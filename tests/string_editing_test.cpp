#include <gtest/gtest.h>

#include <new>
#include <string>

#include "string/PavoRmCString.h"
#include "platform/win/wide_text.h"

namespace {

pavo::WideString Units(const CStringW& s) { return pavo::WideString(s.GetString(), static_cast<size_t>(s.GetLength())); }

// The editing loop as written: find from position 0, edit, again from 0.
// Kept as a reference for the linear implementations.
int NaiveRemove(pavo::WideString& t, const pavo::WideString& s, int count) {
  int n = 0;
  for (size_t q; (q = t.find(s)) != pavo::WideString::npos;) {
    t.erase(q, s.size());
    if (++n == count) break;
  }
  return n;
}

}  // namespace

TEST(StringEditing, RemoveKeepsRestartAtZeroResults) {
  PavoRmCString s(WTEXT("aabb"));
  EXPECT_EQ(s.Remove(WTEXT("ab"), -1), 2);
  EXPECT_TRUE(s.IsEmpty());
  s = WTEXT("xaxaxa");
  EXPECT_EQ(s.Remove(WTEXT('x'), 2), 2);
  EXPECT_EQ(Units(s), WTEXT("aaxa"));
  EXPECT_EQ(s.Remove(WTEXT(""), -1), 0);
  EXPECT_EQ(s.Remove(WTEXT('a'), 0), 0);
  EXPECT_EQ(Units(s), WTEXT("aaxa"));
  // Against the literal loop on texts where removals close up into new occurrences.
  const pavo::WideString texts[] = {WTEXT("abababab"), WTEXT("aababbab"), WTEXT("aaabbbab"), WTEXT("abaababbba"), WTEXT("ababab")};
  const pavo::WideString patterns[] = {WTEXT("ab"), WTEXT("aba"), WTEXT("abab"), WTEXT("ba")};
  for (const auto& t : texts) {
    for (const auto& p : patterns) {
      for (int count : {-1, 1, 2}) {
        pavo::WideString expected = t;
        const int n = NaiveRemove(expected, p, count);
        PavoRmCString got(t.c_str());
        EXPECT_EQ(got.Remove(p.c_str(), count), n);
        EXPECT_EQ(Units(got), expected);
      }
    }
  }
}

TEST(StringEditing, ReplaceVariants) {
  PavoRmCString s(WTEXT("aaa"));
  EXPECT_EQ(s.Replace(WTEXT("a"), WTEXT("aa"), -1), 3);
  EXPECT_EQ(Units(s), WTEXT("aaaaaa"));
  EXPECT_EQ(s.Replace(WTEXT(""), WTEXT("x"), -1), 0);
  s = WTEXT("a.b.c.d");
  EXPECT_EQ(s.Replace(WTEXT("."), WTEXT("::"), 2), 2);
  EXPECT_EQ(Units(s), WTEXT("a::b::c.d"));
  EXPECT_EQ(s.Replace(WTEXT("::"), static_cast<const WCHAR*>(nullptr), -1), 2);
  EXPECT_EQ(Units(s), WTEXT("abc.d"));
  EXPECT_EQ(s.Replace(WTEXT('.'), WTEXT('-'), -1), 1);
  EXPECT_EQ(Units(s), WTEXT("abc-d"));
  // The same unit for both ends: counted once, nothing loops.
  s = WTEXT("x-x-x");
  EXPECT_EQ(s.Replace(WTEXT('x'), WTEXT('x'), -1), 3);
  EXPECT_EQ(s.Replace(WTEXT('x'), WTEXT('x'), 2), 2);
  EXPECT_EQ(Units(s), WTEXT("x-x-x"));
  EXPECT_EQ(s.Replace(WTEXT('x'), WTEXT('y'), 2), 2);
  EXPECT_EQ(Units(s), WTEXT("y-y-x"));
  // Replacing with itself as the old text.
  EXPECT_EQ(s.Replace(s.GetString(), WTEXT("whole"), -1), 1);
  EXPECT_EQ(Units(s), WTEXT("whole"));
}

TEST(StringEditing, ZeroUnitsEndEveryLoop) {
  const WCHAR units[] = {WTEXT('a'), 0, WTEXT('b'), 0, WTEXT('c')};
  PavoRmCString s(CStringW(units, 5));
  EXPECT_EQ(s.Replace(WCHAR(0), WCHAR(0), -1), 2);
  EXPECT_EQ(s.Replace(WCHAR(0), WTEXT('_'), -1), 2);
  EXPECT_EQ(Units(s), WTEXT("a_b_c"));
  s = PavoRmCString(CStringW(units, 5));
  // Removing the first 0 unit recounts the text up to the next one.
  EXPECT_EQ(s.Remove(WCHAR(0), -1), 1);
  EXPECT_EQ(Units(s), WTEXT("ab"));
  EXPECT_EQ(s.Remove(WCHAR(0), -1), 0);
  s = PavoRmCString(CStringW(units, 5));
  EXPECT_EQ(s.Replace(WTEXT("b"), WTEXT("BB"), -1), 1);
  EXPECT_EQ(Units(s), WTEXT("a"));  // the edit ends the text at its first 0 unit
}

TEST(StringEditing, ExpandTab) {
  PavoRmCString s(WTEXT("a\tb"));
  EXPECT_EQ(s.ExpandTab(4), 1);
  EXPECT_EQ(Units(s), WTEXT("a    b"));
  s = WTEXT("\ta\t");
  EXPECT_EQ(s.ExpandTab(0), 2);
  EXPECT_EQ(Units(s), WTEXT("a"));
  s = WTEXT("\t\t");
  EXPECT_EQ(s.ExpandTab(2, 1), 1);
  EXPECT_EQ(Units(s), WTEXT("  \t"));
  // A result that could not be held is refused before anything is allocated.
  EXPECT_THROW(s.ExpandTab(0x7FFFFFFF), std::bad_alloc);
  EXPECT_EQ(Units(s), WTEXT("  \t"));
  s = WTEXT("no tabs");
  EXPECT_EQ(s.ExpandTab(0x7FFFFFFF), 0);
}

TEST(StringEditing, ExtractFields) {
  const PavoRmCString s(WTEXT("x;y;"));
  PavoRmCString out(WTEXT("junk"));
  EXPECT_EQ(s.extract(out, 0, WTEXT(";")), 1);
  EXPECT_EQ(Units(out), WTEXT("x"));
  EXPECT_EQ(s.extract(out, 1, WTEXT(";")), 1);
  EXPECT_EQ(Units(out), WTEXT("y"));
  EXPECT_EQ(s.extract(out, 2, WTEXT(";")), 0);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString(WTEXT(";y")).extract(out, 0, WTEXT(";")), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString(WTEXT("a::b::c")).extract(out, 2, WTEXT("::")), 1);
  EXPECT_EQ(Units(out), WTEXT("c"));
  EXPECT_EQ(PavoRmCString(WTEXT("a;b")).extract(out, -1, WTEXT(";")), 0);
  // An empty separator ends: index >= 0 is the empty field, a negative one none.
  EXPECT_EQ(s.extract(out, 5, WTEXT("")), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(s.extract(out, -1, WTEXT("")), 0);
  PavoRmCString self(WTEXT("p,q"));
  EXPECT_EQ(self.extract(self, 1, WTEXT(",")), 1);
  EXPECT_EQ(Units(self), WTEXT("q"));

  EXPECT_EQ(PavoRmCString::extractSubString(out, WTEXT("x,y,"), 2, WTEXT(',')), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString::extractSubString(out, WTEXT("x,y,"), 3, WTEXT(',')), 0);
  out = WTEXT("kept");
  EXPECT_EQ(PavoRmCString::extractSubString(out, nullptr, 0, WTEXT(',')), 0);
  EXPECT_EQ(Units(out), WTEXT("kept"));
  EXPECT_EQ(PavoRmCString::extractSubString(out, WTEXT("x,y"), -1, WTEXT(',')), 0);
  EXPECT_EQ(PavoRmCString(WTEXT("a|b|c")).extractSubString(out, 1, WTEXT('|')), 1);
  EXPECT_EQ(Units(out), WTEXT("b"));
  EXPECT_EQ(PavoRmCString::extractSubString(out, WTEXT("ab"), 1, WCHAR(0)), 0);
}

TEST(StringEditing, CompareAtAndSeparators) {
  const PavoRmCString s(WTEXT("abc"));
  EXPECT_EQ(s.compareAt(1, WTEXT("bz")), 1);
  EXPECT_EQ(s.compareAt(1, WTEXT("c")), 0);
  EXPECT_EQ(s.compareAt(3, WTEXT("")), 1);
  EXPECT_EQ(s.compareAt(3, WTEXT("a")), 0);
  EXPECT_EQ(s.compareAt(4, WTEXT("")), 0);
  EXPECT_EQ(s.compareAt(-1, WTEXT("a")), 0);
  PavoRmCString path(WTEXT("c:\\dir\\"));
  path.addBackslash();
  EXPECT_EQ(Units(path), WTEXT("c:\\dir\\"));
  path = WTEXT("c:\\dir");
  path.addBackslash();
  EXPECT_EQ(Units(path), WTEXT("c:\\dir\\"));
  path = WTEXT("dir\\\\");
  path.removeBackslash();
  EXPECT_EQ(Units(path), WTEXT("dir\\"));
  path = WTEXT("a/b");
  path.removeForwardslash();
  EXPECT_EQ(Units(path), WTEXT("a/b"));
  path.Empty();
  path.addForwardslash();
  EXPECT_EQ(Units(path), WTEXT("/"));
}
