// The framework's file-status query (CFile::GetStatus) on stat().
#ifndef PAVORM_PLATFORM_AFX_FILE_STATUS_H
#define PAVORM_PLATFORM_AFX_FILE_STATUS_H

#include "PavoRm51Export.h"

#include <cstdint>

#include "platform/win/win_types.h"

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

struct CFileStatus {
  int64_t m_ctime = 0;  // status change, modification and access times (seconds since 1970)
  int64_t m_mtime = 0;
  int64_t m_atime = 0;
  uint64_t m_size = 0;   // bytes
  BYTE m_attribute = 0;  // CFile::Attribute bits
  BYTE _m_padding = 0;
  WCHAR m_szFullName[MAX_PATH] = {};  // absolute name; empty when it does not fit
};

class PAVORM_API CFile {
 public:
// The framework's names; its `system` clashes with the C library's function.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wshadow"
#endif
  enum Attribute {
    normal = 0x00,
    readOnly = 0x01,
    hidden = 0x02,
    system = 0x04,
    volume = 0x08,
    directory = 0x10,
    archive = 0x20
  };
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
  // Fills rStatus for the file or folder lpszFileName (`\` read as `/`): a
  // folder has the attribute 0x10, a regular file 0x20 plus 0x01 when nobody
  // may write it, anything else (devices, pipes, sockets) 0x40. FALSE when the
  // name is null or cannot be examined.
  static BOOL GetStatus(const WCHAR* lpszFileName, CFileStatus& rStatus);
};

#endif
