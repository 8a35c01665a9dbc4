#include <gtest/gtest.h>

#include "fsassist_test_support.h"

using namespace FSAssist;

TEST(FSAssistInet, DocumentsAndRoundTrips) {
  EXPECT_EQ(Utf8(cvtToInet(WTEXT("http://h/a?b=1&c=\"2\""))),
            "<storage version=\"1.00\"><image><component><data><inet url=\"http://h/a?b=1&amp;c=&quot;2&quot;\">"
            "</inet></data></component></image></storage>");
  EXPECT_EQ(Utf8(cvtToEmbed(WTEXT("D"), WTEXT("N"))),
            "<storage version=\"1.00\"><image><component><data><embd name=\"N\" dictionary=\"D\"></embd></data>"
            "</component></image></storage>");
  for (const WCHAR* text : kAwkwardTexts) {
    const Gral::FileSpecifier inet = cvtToInet(text);
    EXPECT_EQ(inet.kind(), 2);
    EXPECT_EQ(getStorageMethod(inet, 0), StorageInternet);
    EXPECT_EQ(getInternetReference(inet, 0), PavoRmCString(text));
    const Gral::FileSpecifier embd = cvtToEmbed(WTEXT("dict Ωμέγα"), text);
    PavoRmCString name, dictionary;
    EXPECT_TRUE(getEmbeddedReference(embd, 0, name, dictionary));
    EXPECT_EQ(name, PavoRmCString(text));
    EXPECT_EQ(dictionary, PavoRmCString(WTEXT("dict Ωμέγα")));
    EXPECT_EQ(getStorageMethod(embd, 0), StorageEmbedded);
  }
}

TEST(FSAssistInet, AppendInet) {
  Gral::FileSpecifier held;
  appendInet(held, WTEXT("u0"));
  EXPECT_EQ(Utf8(held), Utf8(cvtToInet(WTEXT("u0"))));
  appendFile(held, WTEXT("f1"), 1);
  appendInet(held, PavoRmCString::cnvtToAsciiSB(WTEXT("u2")));
  EXPECT_EQ(numComponentsInReference(&held), 3);
  EXPECT_EQ(getInternetReference(held, 2), PavoRmCString(WTEXT("u2")));
  Gral::FileSpecifier name = constructFS(WTEXT("a.tif"));
  appendInet(name, WTEXT("url"));
  EXPECT_EQ(name.kind(), 0);
  EXPECT_EQ(PavoRmCString(name.text()), PavoRmCString(WTEXT("a.tif")));
  // A document held in UTF-16 is read as text, not as 8-bit bytes.
  Gral::FileSpecifier wide = constructFS(WTEXT("<storage><image><component/></image></storage>"));
  appendInet(wide, WTEXT("日本"));
  EXPECT_EQ(numComponentsInReference(&wide), 2);
  EXPECT_EQ(getInternetReference(wide, 1), PavoRmCString(WTEXT("日本")));
}

TEST(FSAssistInet, ReadersGiveNothingForMissingParts) {
  PavoRmCString name(WTEXT("n")), dictionary(WTEXT("d"));
  const Gral::FileSpecifier file = constructFS(WTEXT("a.tif"));
  EXPECT_TRUE(getInternetReference(file, 0).IsEmpty());
  EXPECT_FALSE(getEmbeddedReference(file, 0, name, dictionary));
  const Gral::FileSpecifier partial =
      Reference("<s><image><component><data><embd name=\"only\"/><inet/></data></component></image></s>");
  const int indexes[] = {-1, 0, 1, 5};
  for (int index : indexes) EXPECT_TRUE(getInternetReference(partial, index).IsEmpty()) << index;
  EXPECT_TRUE(getEmbeddedReference(partial, 3, name, dictionary));  // no component 3: untouched
  EXPECT_EQ(name, PavoRmCString(WTEXT("n")));
  EXPECT_TRUE(getEmbeddedReference(partial, 0, name, dictionary));
  EXPECT_EQ(name, PavoRmCString(WTEXT("only")));
  EXPECT_EQ(dictionary, PavoRmCString(WTEXT("d")));
  EXPECT_TRUE(getEmbeddedReference(Reference("not xml"), 0, name, dictionary));
}
