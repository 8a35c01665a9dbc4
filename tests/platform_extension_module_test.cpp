#include <gtest/gtest.h>

#include "module_test_support.h"
#include "platform/afx/extension_module.h"
#include "platform/afx/module_state.h"
#include "platform/win/resources.h"

// The current resource module first, then the chain of extension modules;
// terminating a module removes its links.
TEST(ExtensionModule, ResourceChain) {
  SetThreadUILanguage(1033);
  HMODULE strings = LoadLibraryExW(test::Wide(test::TestModule("strings.dll")).c_str(), nullptr, 0);
  HMODULE messages =
      LoadLibraryExW(test::Wide(test::TestModule("messages.dll")).c_str(), nullptr, 0);
  ASSERT_NE(strings, nullptr);
  AFX_EXTENSION_MODULE record;
  EXPECT_FALSE(AfxInitExtensionModule(record, nullptr));
  ASSERT_TRUE(AfxInitExtensionModule(record, strings));
  const unsigned before = AfxResourceChainLength();
  new CDynLinkLibrary(record);
  EXPECT_EQ(AfxResourceChainLength(), before + 1);

  EXPECT_EQ(AfxFindResourceHandle(WTEXT("CONFIG"), RT_RCDATA), strings);
  WCHAR text[32];
  EXPECT_EQ(AfxLoadString(100, text, 32), 12);
  AfxSetResourceHandle(messages);
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(1), RT_MESSAGETABLE), messages);
  EXPECT_EQ(AfxFindResourceHandle(WTEXT("CONFIG"), RT_RCDATA), strings);
  AfxSetResourceHandle(nullptr);

  AfxTermExtensionModule(record);
  EXPECT_EQ(AfxResourceChainLength(), before);
  EXPECT_EQ(AfxFindResourceHandle(WTEXT("CONFIG"), RT_RCDATA), nullptr);
  EXPECT_EQ(AfxLoadString(100, text, 32), 0);
  FreeLibrary(strings);
  FreeLibrary(messages);
  SetThreadUILanguage(0);
}
