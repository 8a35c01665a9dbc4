#include "platform/afx/file_status.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/win/paths.h"

BOOL CFile::GetStatus(const WCHAR* lpszFileName, CFileStatus& rStatus) {
  if (lpszFileName == nullptr || lpszFileName[0] == 0) return FALSE;
  const std::string path = pavo::NativePath(lpszFileName);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FALSE;
  CFileStatus status;
  status.m_ctime = static_cast<int64_t>(st.st_ctime);
  status.m_mtime = static_cast<int64_t>(st.st_mtime);
  status.m_atime = static_cast<int64_t>(st.st_atime);
  status.m_size = st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
  if (S_ISDIR(st.st_mode)) {
    status.m_attribute = directory;
  } else if (S_ISREG(st.st_mode)) {
    status.m_attribute = archive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) status.m_attribute |= readOnly;
  } else {
    status.m_attribute = 0x40;  // Windows' FILE_ATTRIBUTE_DEVICE
  }
  char full[PATH_MAX];
  if (realpath(path.c_str(), full) != nullptr) {
    const pavo::WideString wide = pavo::WideFromUtf8(full, std::strlen(full));
    if (wide.size() < MAX_PATH) {
      std::memcpy(status.m_szFullName, wide.data(), wide.size() * sizeof(WCHAR));
      status.m_szFullName[wide.size()] = 0;
    }
  }
  rStatus = status;
  return TRUE;
}
