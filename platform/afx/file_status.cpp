#include "platform/afx/file_status.h"

#if defined(_WIN32)
#include <windows.h>

namespace {

// FILETIME (100 ns since 1601) as seconds since 1970.
int64_t UnixSeconds(const FILETIME& t) {
  const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000u) - INT64_C(11644473600);
}

}  // namespace

// The framework's own way: the attributes as the file system keeps them (a
// folder named with a trailing separator is found too), in one byte.
BOOL CFile::GetStatus(const WCHAR* lpszFileName, CFileStatus& rStatus) {
  if (lpszFileName == nullptr || lpszFileName[0] == 0) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(lpszFileName, GetFileExInfoStandard, &data)) return FALSE;
  CFileStatus status;
  status.m_ctime = UnixSeconds(data.ftCreationTime);
  status.m_mtime = UnixSeconds(data.ftLastWriteTime);
  status.m_atime = UnixSeconds(data.ftLastAccessTime);
  status.m_size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & 0xFF);
  const DWORD n = GetFullPathNameW(lpszFileName, MAX_PATH, status.m_szFullName, nullptr);
  if (n == 0 || n >= MAX_PATH) status.m_szFullName[0] = 0;
  rStatus = status;
  return TRUE;
}
#else
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
#endif
