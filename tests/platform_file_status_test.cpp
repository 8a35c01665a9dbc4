#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <filesystem>

#include "platform/afx/file_status.h"
#include "registry_test_util.h"
#include "platform/win/wide_text.h"

TEST(FileStatus, ReportsSizeFullNameAndWindowsAttributes) {
  regtest::ScratchDir dir;
  const std::string file = dir.File("data.bin");
  regtest::WriteFile(file, std::string(1234, 'x'));
  CFileStatus status;
  ASSERT_TRUE(CFile::GetStatus(regtest::W(file).c_str(), status));
  EXPECT_EQ(status.m_size, 1234u);
  EXPECT_EQ(status.m_attribute, CFile::archive);
  const std::string real = std::filesystem::canonical(std::filesystem::u8path(file)).u8string();
  EXPECT_EQ(pavo::WideString(status.m_szFullName), regtest::W(real));
  EXPECT_GT(status.m_mtime, 0);

  std::filesystem::permissions(std::filesystem::u8path(file), std::filesystem::perms::owner_read |
                                   std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  ASSERT_TRUE(CFile::GetStatus(regtest::W(file).c_str(), status));
  EXPECT_EQ(status.m_attribute, CFile::archive | CFile::readOnly);
  ASSERT_TRUE(CFile::GetStatus(regtest::W(dir.File("")).c_str(), status));
  EXPECT_EQ(status.m_attribute, CFile::directory);

  CFileStatus untouched;
  untouched.m_size = 77;
  EXPECT_FALSE(CFile::GetStatus(regtest::W(dir.File("none")).c_str(), untouched));
  EXPECT_FALSE(CFile::GetStatus(nullptr, untouched));
  EXPECT_FALSE(CFile::GetStatus(WTEXT(""), untouched));
  EXPECT_EQ(untouched.m_size, 77u);
}
