#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "fsassist_test_support.h"

using namespace FSAssist;

TEST(FSAssistStorage, IsStorageAndConstructFSTellDocumentsFromNames) {
  EXPECT_FALSE(isStorage(static_cast<const WCHAR*>(nullptr)));
  EXPECT_FALSE(isStorage(WTEXT("")));
  EXPECT_FALSE(isStorage(WTEXT("C:\\images\\a.tif")));
  EXPECT_TRUE(isStorage(WTEXT("<x/>")));
  EXPECT_TRUE(isStorage(PavoRmCString(WTEXT("<unclosed attr=\"1\">"))));
  const Gral::FileSpecifier doc = constructFS(WTEXT("<other>日本</other>"));
  EXPECT_EQ(doc.kind(), 2);
  EXPECT_EQ(PavoRmCString(doc.text()), PavoRmCString(WTEXT("<other>日本</other>")));
  EXPECT_EQ(doc.text().encoding(), Gral::StringBuffer::nativeEncoding());
  const Gral::FileSpecifier none = constructFS(nullptr);
  EXPECT_EQ(none.kind(), 0);
  EXPECT_TRUE(none.text().isEmpty());
}

TEST(FSAssistStorage, StorageMethodLooksAtFourLettersOfTheFirstElement) {
  const Gral::FileSpecifier fs = cvtToFS(WTEXT("a.tif"), 0);
  EXPECT_EQ(getStorageMethod(fs, 0), StorageFile);
  EXPECT_EQ(getStorageMethod(fs, -1), StorageNone);  // stops at the component
  EXPECT_EQ(getStorageMethod(fs, 1), StorageNone);
  EXPECT_EQ(getStorageMethod(constructFS(WTEXT("a.tif")), 0), StorageNone);
  const char* const cases[][2] = {
      {"<filename/>", "1"}, {"<fil/>", "0"}, {"<inet/>", "3"}, {"<embdx/>", "2"}, {"", "0"}, {"x", "0"}};
  for (const auto& c : cases) {
    const Gral::FileSpecifier held =
        Reference(std::string("<s><image><component><data>") + c[0] + "</data></component></image></s>");
    EXPECT_EQ(static_cast<int>(getStorageMethod(held, 0)), c[1][0] - '0') << c[0];
  }
  EXPECT_EQ(getStorageMethod(Reference("<s><image/></s>"), 0), StorageNone);
  EXPECT_EQ(getStorageMethod(Reference("<s><image><component/></image></s>"), 0), StorageNone);
  // A document held as UTF-16 (as constructFS keeps it) reads the same.
  EXPECT_EQ(getStorageMethod(constructFS(WTEXT("<s><image><component><data><inet/></data></component></image></s>")), 0),
            StorageInternet);
}

TEST(FSAssistStorage, CvtToFSAndAppendFile) {
  const std::string one =
      "<storage version=\"1.00\"><image><component><data><file path=\"d/&amp;.tif\" frame=\"3\"></file></data>"
      "</component></image></storage>";
  EXPECT_EQ(Utf8(cvtToFS(WTEXT("d/&.tif"), 3)), one);
  Gral::FileSpecifier fs = cvtToFS(PavoRmCString::cnvtToAsciiSB(WTEXT("d/&.tif")), 3);
  EXPECT_EQ(Utf8(fs), one);
  EXPECT_FALSE(isMultiComponent(fs));
  appendFile(fs, WTEXT("画像.png"), 4);
  EXPECT_TRUE(isMultiComponent(fs));
  Gral::FileSpecifier file;
  int frame = 0;
  ASSERT_TRUE(getFileReference(fs, 1, file, frame));
  EXPECT_EQ(PavoRmCString(file.text()), PavoRmCString(WTEXT("画像.png")));
  EXPECT_EQ(frame, 4);
  EXPECT_FALSE(isMultiComponent(constructFS(WTEXT("a.tif"))));
  Gral::FileSpecifier wide = constructFS(WTEXT("<storage><image></image></storage>"));
  appendFile(wide, PavoRmCString::cnvtToSB(WTEXT("b.tif")), 0);
  EXPECT_EQ(numComponentsInReference(&wide), 1);
}

TEST(FSAssistStorage, NewDocumentsMatchTheSerializedTree) {
  // New documents are written directly; extending an empty image goes
  // through the tree and the serializer. Both must give the same bytes,
  // also for a path longer than the direct writer's first buffer.
  std::basic_string<WCHAR> longPath;
  for (int i = 0; i < 300; ++i) longPath += WTEXT("d\\&\"<\x00E9/");
  std::vector<const WCHAR*> texts(std::begin(kAwkwardTexts), std::end(kAwkwardTexts));
  texts.push_back(longPath.c_str());
  for (const WCHAR* text : texts) {
    Gral::FileSpecifier viaTree = Reference("<storage version=\"1.00\"><image></image></storage>");
    appendFile(viaTree, text, -7);
    EXPECT_EQ(Utf8(cvtToFS(text, -7)), Utf8(viaTree));
    viaTree = Reference("<storage version=\"1.00\"><image></image></storage>");
    appendInet(viaTree, text);
    EXPECT_EQ(Utf8(cvtToInet(text)), Utf8(viaTree));
  }
}
