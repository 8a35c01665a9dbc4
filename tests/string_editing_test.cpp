#include <gtest/gtest.h>

#include <new>
#include <string>

#include "string/PavoRmCString.h"

namespace {

std::u16string Units(const CStringW& s) { return std::u16string(s.GetString(), static_cast<size_t>(s.GetLength())); }

// The editing loop as written: find from position 0, edit, again from 0.
// Kept as a reference for the linear implementations.
int NaiveRemove(std::u16string& t, const std::u16string& s, int count) {
  int n = 0;
  for (size_t q; (q = t.find(s)) != std::u16string::npos;) {
    t.erase(q, s.size());
    if (++n == count) break;
  }
  return n;
}

}  // namespace

TEST(StringEditing, RemoveKeepsRestartAtZeroResults) {
  PavoRmCString s(u"aabb");
  EXPECT_EQ(s.Remove(u"ab", -1), 2);
  EXPECT_TRUE(s.IsEmpty());
  s = u"xaxaxa";
  EXPECT_EQ(s.Remove(u'x', 2), 2);
  EXPECT_EQ(Units(s), u"aaxa");
  EXPECT_EQ(s.Remove(u"", -1), 0);
  EXPECT_EQ(s.Remove(u'a', 0), 0);
  EXPECT_EQ(Units(s), u"aaxa");
  // Against the literal loop on texts where removals close up into new occurrences.
  const std::u16string texts[] = {u"abababab", u"aababbab", u"aaabbbab", u"abaababbba", u"ababab"};
  const std::u16string patterns[] = {u"ab", u"aba", u"abab", u"ba"};
  for (const auto& t : texts) {
    for (const auto& p : patterns) {
      for (int count : {-1, 1, 2}) {
        std::u16string expected = t;
        const int n = NaiveRemove(expected, p, count);
        PavoRmCString got(t.c_str());
        EXPECT_EQ(got.Remove(p.c_str(), count), n);
        EXPECT_EQ(Units(got), expected);
      }
    }
  }
}

TEST(StringEditing, ReplaceVariants) {
  PavoRmCString s(u"aaa");
  EXPECT_EQ(s.Replace(u"a", u"aa", -1), 3);
  EXPECT_EQ(Units(s), u"aaaaaa");
  EXPECT_EQ(s.Replace(u"", u"x", -1), 0);
  s = u"a.b.c.d";
  EXPECT_EQ(s.Replace(u".", u"::", 2), 2);
  EXPECT_EQ(Units(s), u"a::b::c.d");
  EXPECT_EQ(s.Replace(u"::", static_cast<const WCHAR*>(nullptr), -1), 2);
  EXPECT_EQ(Units(s), u"abc.d");
  EXPECT_EQ(s.Replace(u'.', u'-', -1), 1);
  EXPECT_EQ(Units(s), u"abc-d");
  // The same unit for both ends: counted once, nothing loops.
  s = u"x-x-x";
  EXPECT_EQ(s.Replace(u'x', u'x', -1), 3);
  EXPECT_EQ(s.Replace(u'x', u'x', 2), 2);
  EXPECT_EQ(Units(s), u"x-x-x");
  EXPECT_EQ(s.Replace(u'x', u'y', 2), 2);
  EXPECT_EQ(Units(s), u"y-y-x");
  // Replacing with itself as the old text.
  EXPECT_EQ(s.Replace(s.GetString(), u"whole", -1), 1);
  EXPECT_EQ(Units(s), u"whole");
}

TEST(StringEditing, ZeroUnitsEndEveryLoop) {
  const WCHAR units[] = {u'a', 0, u'b', 0, u'c'};
  PavoRmCString s(CStringW(units, 5));
  EXPECT_EQ(s.Replace(WCHAR(0), WCHAR(0), -1), 2);
  EXPECT_EQ(s.Replace(WCHAR(0), u'_', -1), 2);
  EXPECT_EQ(Units(s), u"a_b_c");
  s = PavoRmCString(CStringW(units, 5));
  // Removing the first 0 unit recounts the text up to the next one.
  EXPECT_EQ(s.Remove(WCHAR(0), -1), 1);
  EXPECT_EQ(Units(s), u"ab");
  EXPECT_EQ(s.Remove(WCHAR(0), -1), 0);
  s = PavoRmCString(CStringW(units, 5));
  EXPECT_EQ(s.Replace(u"b", u"BB", -1), 1);
  EXPECT_EQ(Units(s), u"a");  // the edit ends the text at its first 0 unit
}

TEST(StringEditing, ExpandTab) {
  PavoRmCString s(u"a\tb");
  EXPECT_EQ(s.ExpandTab(4), 1);
  EXPECT_EQ(Units(s), u"a    b");
  s = u"\ta\t";
  EXPECT_EQ(s.ExpandTab(0), 2);
  EXPECT_EQ(Units(s), u"a");
  s = u"\t\t";
  EXPECT_EQ(s.ExpandTab(2, 1), 1);
  EXPECT_EQ(Units(s), u"  \t");
  // A result that could not be held is refused before anything is allocated.
  EXPECT_THROW(s.ExpandTab(0x7FFFFFFF), std::bad_alloc);
  EXPECT_EQ(Units(s), u"  \t");
  s = u"no tabs";
  EXPECT_EQ(s.ExpandTab(0x7FFFFFFF), 0);
}

TEST(StringEditing, ExtractFields) {
  const PavoRmCString s(u"x;y;");
  PavoRmCString out(u"junk");
  EXPECT_EQ(s.extract(out, 0, u";"), 1);
  EXPECT_EQ(Units(out), u"x");
  EXPECT_EQ(s.extract(out, 1, u";"), 1);
  EXPECT_EQ(Units(out), u"y");
  EXPECT_EQ(s.extract(out, 2, u";"), 0);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString(u";y").extract(out, 0, u";"), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString(u"a::b::c").extract(out, 2, u"::"), 1);
  EXPECT_EQ(Units(out), u"c");
  EXPECT_EQ(PavoRmCString(u"a;b").extract(out, -1, u";"), 0);
  // An empty separator ends: index >= 0 is the empty field, a negative one none.
  EXPECT_EQ(s.extract(out, 5, u""), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(s.extract(out, -1, u""), 0);
  PavoRmCString self(u"p,q");
  EXPECT_EQ(self.extract(self, 1, u","), 1);
  EXPECT_EQ(Units(self), u"q");

  EXPECT_EQ(PavoRmCString::extractSubString(out, u"x,y,", 2, u','), 1);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(PavoRmCString::extractSubString(out, u"x,y,", 3, u','), 0);
  out = u"kept";
  EXPECT_EQ(PavoRmCString::extractSubString(out, nullptr, 0, u','), 0);
  EXPECT_EQ(Units(out), u"kept");
  EXPECT_EQ(PavoRmCString::extractSubString(out, u"x,y", -1, u','), 0);
  EXPECT_EQ(PavoRmCString(u"a|b|c").extractSubString(out, 1, u'|'), 1);
  EXPECT_EQ(Units(out), u"b");
  EXPECT_EQ(PavoRmCString::extractSubString(out, u"ab", 1, WCHAR(0)), 0);
}

TEST(StringEditing, CompareAtAndSeparators) {
  const PavoRmCString s(u"abc");
  EXPECT_EQ(s.compareAt(1, u"bz"), 1);
  EXPECT_EQ(s.compareAt(1, u"c"), 0);
  EXPECT_EQ(s.compareAt(3, u""), 1);
  EXPECT_EQ(s.compareAt(3, u"a"), 0);
  EXPECT_EQ(s.compareAt(4, u""), 0);
  EXPECT_EQ(s.compareAt(-1, u"a"), 0);
  PavoRmCString path(u"c:\\dir\\");
  path.addBackslash();
  EXPECT_EQ(Units(path), u"c:\\dir\\");
  path = u"c:\\dir";
  path.addBackslash();
  EXPECT_EQ(Units(path), u"c:\\dir\\");
  path = u"dir\\\\";
  path.removeBackslash();
  EXPECT_EQ(Units(path), u"dir\\");
  path = u"a/b";
  path.removeForwardslash();
  EXPECT_EQ(Units(path), u"a/b");
  path.Empty();
  path.addForwardslash();
  EXPECT_EQ(Units(path), u"/");
}
