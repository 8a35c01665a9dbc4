#include <gtest/gtest.h>

#include <cstring>

#include "message_box_capture.h"
#include "module_test_support.h"
#include "platform/afx/extension_module.h"
#include "platform/win/pe_image.h"
#include "platform/win/resources.h"
#include "resource/entry.h"
#include "resource/identity.h"
#include "resource/string_ids.h"
#include "platform/win/wide_text.h"

namespace {

// Plain data: set before any constructor of ordinary priority has run.
int g_nameLengthBeforeAttach = -1;

// Runs before the library's own load-time objects.
__attribute__((constructor(101))) void RecordNameBeforeAttach() {
  const WCHAR* name = pavoRmName();
  g_nameLengthBeforeAttach = 0;
  while (name[g_nameLengthBeforeAttach] != 0) ++g_nameLengthBeforeAttach;
}

// A cursor over a dialog template (little-endian, WORD/DWORD fields).
struct Reader {
  const BYTE* p;
  size_t size;
  size_t at = 0;
  unsigned Word() {
    if (at + 2 > size) return at = size, 0xDEAD;
    const unsigned v = p[at] | (p[at + 1] << 8);
    at += 2;
    return v;
  }
  unsigned Dword() { return Word() | (Word() << 16); }
  pavo::WideString Text() {  // sz_Or_Ord: an ordinal comes back as "#n"
    unsigned c = Word();
    if (c == 0xFFFF) return WTEXT("#") + test::Wide(std::to_string(Word()));
    pavo::WideString s;
    for (; c != 0 && at < size; c = Word()) s.push_back(static_cast<WCHAR>(c));
    return s;
  }
  void AlignDword() { at = (at + 3) & ~size_t{3}; }
};

}  // namespace

TEST(LibraryEntry, IdentityAndOwnStrings) {
  EXPECT_EQ(g_nameLengthBeforeAttach, 0);
  EXPECT_EQ(pavo::WideString(pavoRmName()), WTEXT("PavoRm"));
  HINSTANCE self = pavoRmDllInstance();
  ASSERT_NE(self, nullptr);

  // The compiled-in module holds exactly the English module's strings.
  PAVORM_NEED_READOBJ();
  const test::StringTable english = test::ReadObjStrings(test::LanguageModule("PavoRmenu.dll"));
  ASSERT_EQ(english.size(), 16u);
  WCHAR buffer[128];
  for (const auto& [key, text] : english) {
    EXPECT_EQ(key.first, 1033u);
    const int n = LoadStringW(self, key.second, buffer, 128);
    EXPECT_EQ(pavo::WideString(buffer, n > 0 ? n : 0), text);
  }
  // The script writes the ids as numbers: the names must say the same.
  EXPECT_EQ(english.at({1033, IDS_PAVORM_FILE_NOT_FOUND}), WTEXT("File \"%1!s!\" not found!"));
  EXPECT_EQ(english.at({1033, IDS_PAVORM_NO_RESOURCE_MANAGER}), WTEXT("Internal Error: Resource-Manager not found!!!"));
  EXPECT_EQ(english.at({1033, IDS_PAVORM_MENU_NUMBER_NOT_FOUND}),
            WTEXT("Can not find the resource menu number %1!d! in resource %2!s!."));
  EXPECT_EQ(english.at({1033, IDS_PAVORM_CANCEL}), WTEXT("Cancel"));
  EXPECT_EQ(english.at({1033, IDS_PAVORM_OK}), WTEXT("OK"));

  // Other reasons change nothing; a failing registration refuses the load.
  EXPECT_EQ(PavoRmDllMain(self, DLL_THREAD_ATTACH, nullptr), 1);
  EXPECT_EQ(PavoRmDllMain(self, DLL_THREAD_DETACH, nullptr), 1);
  EXPECT_EQ(pavoRmDllInstance(), self);
  EXPECT_GE(AfxResourceChainLength(), 1u);
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(28519), RT_DIALOG), self);
}

TEST(LibraryEntry, AssertWithErrorMessage) {
  test::BoxCapture capture;
  AssertWithErrorMessage(0, IDS_PAVORM_NO_RESOURCE_MANAGER);
  EXPECT_TRUE(capture.boxes.empty());
  AssertWithErrorMessage(1, IDS_PAVORM_NO_RESOURCE_MANAGER);
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0].text, WTEXT("Internal Error: Resource-Manager not found!!!"));
  EXPECT_EQ(capture.boxes[0].type, PAVORM_MESSAGE_BOX_STYLE);
  AssertWithErrorMessage(7, 28516);  // absent: only the loader's report
  ASSERT_EQ(capture.boxes.size(), 2u);
  EXPECT_EQ(capture.boxes[1].caption, WTEXT("Resource Manager Error"));
}

TEST(LibraryEntry, SwitchLanguageDialog) {
  HINSTANCE self = pavoRmDllInstance();
  HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(28519), RT_DIALOG);
  ASSERT_NE(res, nullptr);
  Reader r{static_cast<const BYTE*>(LockResource(LoadResource(self, res))), SizeofResource(self, res)};
  EXPECT_EQ(r.Word(), 1u);       // DLGTEMPLATEEX version
  EXPECT_EQ(r.Word(), 0xFFFFu);  // signature
  r.Dword();                     // help id
  r.Dword();                     // extended style
  const unsigned style = r.Dword();
  EXPECT_EQ(style & 0x80C80000u, 0x80C80000u);  // popup, caption, system menu
  EXPECT_EQ(style & 0xC0u, 0xC0u);              // modal frame, set font
  const unsigned items = r.Word();
  const unsigned frame[4] = {r.Word(), r.Word(), r.Word(), r.Word()};
  EXPECT_EQ(items, 5u);
  EXPECT_EQ(std::vector<unsigned>(frame, frame + 4), (std::vector<unsigned>{0, 0, 159, 109}));
  EXPECT_EQ(r.Text(), WTEXT(""));  // no menu
  EXPECT_EQ(r.Text(), WTEXT(""));  // standard class
  EXPECT_EQ(r.Text(), WTEXT("Switch Language"));
  EXPECT_EQ(r.Word(), 8u);
  r.Word();
  r.Word();
  EXPECT_EQ(r.Text(), WTEXT("MS Sans Serif"));

  struct Item {
    std::vector<unsigned> rect;
    unsigned id;
    pavo::WideString cls, title;
  };
  const Item expected[] = {
      {{7, 7, 65, 8}, 0xFFFFFFFFu, WTEXT("#130"), WTEXT("Current Language :")},
      {{82, 7, 68, 8}, 28516, WTEXT("#130"), WTEXT("Language")},
      {{7, 21, 145, 58}, 28517, WTEXT("#133"), WTEXT("")},
      {{26, 88, 50, 14}, 1, WTEXT("#128"), WTEXT("OK")},
      {{82, 88, 50, 14}, 2, WTEXT("#128"), WTEXT("Cancel")},
  };
  for (const Item& want : expected) {
    r.AlignDword();
    r.Dword();
    r.Dword();
    const unsigned itemStyle = r.Dword();
    std::vector<unsigned> rect = {r.Word(), r.Word(), r.Word(), r.Word()};
    const unsigned id = r.Dword();
    EXPECT_EQ(rect, want.rect);
    EXPECT_EQ(id, want.id);
    EXPECT_EQ(r.Text(), want.cls);
    EXPECT_EQ(r.Text(), want.title);
    r.at += r.Word();  // creation data
    if (want.id == 28517) {
      EXPECT_EQ(itemStyle & 0x200103u, 0x200103u);  // drop-down list, sorted, vertical scroll bar
    }
    if (want.id == 1) {
      EXPECT_EQ(itemStyle & 0xFu, 1u);  // default push button
    }
  }

  HRSRC empty = FindResourceW(self, MAKEINTRESOURCEW(28518), RT_DIALOG);
  ASSERT_NE(empty, nullptr);
  Reader e{static_cast<const BYTE*>(LockResource(LoadResource(self, empty))), SizeofResource(self, empty)};
  e.at = 16;
  EXPECT_EQ(e.Word(), 0u);
  const unsigned size[4] = {e.Word(), e.Word(), e.Word(), e.Word()};
  EXPECT_EQ(size[2], 186u);
  EXPECT_EQ(size[3], 94u);
}
