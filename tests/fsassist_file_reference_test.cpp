#include <gtest/gtest.h>

#include <climits>

#include "fsassist_test_support.h"

namespace {

const char kOne[] =
    "<storage version=\"1.00\"><image><component><data><file path=\"a.tif\" frame=\"2\"></file></data>"
    "</component></image></storage>";
const char kTwoTail[] = "<component><data><file path=\"b.tif\" frame=\"-5\"></file></data></component>";

Gral::FileSpecifier Path(const WCHAR* path) { return Gral::FileSpecifier(PavoRmCString::cnvtToSB(path), 0); }

}  // namespace

TEST(FileReference, WritesTheDocumentAndAddsComponentsBehind) {
  Gral::FileSpecifier storage;
  const Gral::FileSpecifier a = Path(WTEXT("a.tif")), b = Path(WTEXT("b.tif"));
  addFileReference(&a, 2, &storage);
  EXPECT_EQ(storage.kind(), 2);
  EXPECT_EQ(storage.text().encoding(), 1);
  EXPECT_EQ(Utf8(storage), kOne);
  EXPECT_EQ(storage.text().size(), static_cast<int>(sizeof kOne));  // with its NUL
  addFileReference(&b, -5, &storage);
  std::string two = kOne;
  two.insert(two.size() - strlen("</image></storage>"), kTwoTail);
  EXPECT_EQ(Utf8(storage), two);
  EXPECT_EQ(numComponentsInReference(&storage), 2);
  Gral::FileSpecifier file;
  int frame = 99;
  ASSERT_EQ(extractFileReference(&storage, 1, &file, &frame), 1);
  EXPECT_EQ(file.kind(), 0);
  EXPECT_EQ(PavoRmCString(file.text()), PavoRmCString(WTEXT("b.tif")));
  EXPECT_EQ(frame, -5);
}

TEST(FileReference, PathsAndFramesRoundTrip) {
  const int frames[] = {0, 7, -1, INT_MAX, INT_MIN};
  for (const WCHAR* path : kAwkwardTexts) {
    for (int frame : frames) {
      Gral::FileSpecifier storage, file;
      const Gral::FileSpecifier in = Path(path);
      addFileReference(&in, frame, &storage);
      int out = 0;
      ASSERT_EQ(extractFileReference(&storage, 0, &file, &out), 1);
      EXPECT_EQ(PavoRmCString(file.text()), PavoRmCString(path));
      EXPECT_EQ(out, frame);
    }
  }
}

TEST(FileReference, ReadsMissingPartsAsAbsentComponents) {
  Gral::FileSpecifier file = Path(WTEXT("untouched"));
  int frame = 42;
  const Gral::FileSpecifier two =
      Reference("<s><image><component><data><file path=\"p\"/></data></component>"
                "<component><data><file frame=\"3\"/></data></component></image></s>");
  EXPECT_EQ(extractFileReference(&two, 2, &file, &frame), 0);  // past the end
  EXPECT_EQ(frame, 42);
  EXPECT_EQ(extractFileReference(&two, 1, &file, &frame), 0);  // no path
  EXPECT_EQ(frame, 0);
  EXPECT_EQ(PavoRmCString(file.text()), PavoRmCString(WTEXT("untouched")));
  frame = 42;
  EXPECT_EQ(extractFileReference(&two, -1, &file, &frame), 0);  // stops at the component
  EXPECT_EQ(frame, 0);
  EXPECT_EQ(extractFileReference(&two, 0, &file, &frame), 1);  // root not "storage", no frame
  EXPECT_EQ(frame, 0);
  const Gral::FileSpecifier spaced = Reference("<x><image><component><data><file path=\"q\" frame=\"  +12z\"/>"
                                               "</data></component></image></x>");
  EXPECT_EQ(extractFileReference(&spaced, 0, &file, &frame), 1);
  EXPECT_EQ(frame, 12);
  EXPECT_EQ(extractFileReference(nullptr, 0, &file, &frame), 0);
  EXPECT_EQ(extractFileReference(&spaced, 0, &file, nullptr), 0);
  const Gral::FileSpecifier empty, notXml = Reference("a.tif");
  EXPECT_EQ(numComponentsInReference(&empty), 0);
  EXPECT_EQ(numComponentsInReference(&notXml), 0);
  EXPECT_EQ(numComponentsInReference(&file), 1);  // a file name
  EXPECT_EQ(numComponentsInReference(nullptr), 0);
}

TEST(FileReference, StorageTextDecidesBetweenNewDocumentExtensionAndNoChange) {
  const Gral::FileSpecifier a = Path(WTEXT("a.tif"));
  Gral::FileSpecifier shortName = Path(WTEXT("x.y"));
  addFileReference(&a, 2, &shortName);  // three bytes: replaced
  EXPECT_EQ(Utf8(shortName), kOne);
  Gral::FileSpecifier longName = Path(WTEXT("name.tif"));
  addFileReference(&a, 2, &longName);  // parses to nothing with an image: unchanged
  EXPECT_EQ(longName.kind(), 0);
  EXPECT_EQ(PavoRmCString(longName.text()), PavoRmCString(WTEXT("name.tif")));
  Gral::FileSpecifier other = Reference("<doc version=\"9\"><image></image></doc>");
  addFileReference(&a, 1, &other);
  EXPECT_EQ(Utf8(other), "<doc version=\"9\"><image><component><data><file path=\"a.tif\" frame=\"1\">"
                         "</file></data></component></image></doc>");
  addFileReference(nullptr, 0, &other);
  addFileReference(&a, 0, nullptr);
}
