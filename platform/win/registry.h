// The Windows registry API on Linux: keys and values kept in SQLite hive files.
//
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE live in per-user files whose places
// PAVORM_HKCU_HIVE and PAVORM_HKLM_HIVE set (default: $XDG_CONFIG_HOME/pavorm/
// user.hive and machine.hive, else ~/.config/pavorm/). RegLoadAppKeyW opens any
// hive file as a root key. Every function returns a Windows error code
// (ERROR_SUCCESS on success) and, like Windows, leaves the last-error code alone.
#ifndef PAVORM_PLATFORM_WIN_REGISTRY_H
#define PAVORM_PLATFORM_WIN_REGISTRY_H

#include "PavoRm51Export.h"

#include "platform/win/last_error.h"
#include "platform/win/win_types.h"

#if defined(_WIN32)
// The real API.
#include <windows.h>

#include "platform/win/win32_names.h"
#else

typedef DWORD REGSAM;

typedef struct _FILETIME {
  DWORD dwLowDateTime;   // 100-ns intervals since 1601-01-01 UTC, low half
  DWORD dwHighDateTime;  // high half
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;  // ignored: hive files carry no security descriptors
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Predefined root keys (Windows' values). Only the current user's and the
// local machine's are backed by hives; the others give ERROR_INVALID_HANDLE.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005u)

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Access rights of a key handle.
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define MAXIMUM_ALLOWED 0x02000000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

// Options of RegCreateKeyExW / RegOpenKeyExW / RegLoadAppKeyW.
#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_PROCESS_APPKEY 0x00000001L

// Dispositions reported by RegCreateKeyExW.
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#ifdef __cplusplus
extern "C" {
#endif

// Opens an existing sub-key (null or empty: a new handle to hKey itself).
PAVORM_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
// Opens or creates a sub-key and every missing key on its path; lpClass is kept
// on the keys it creates. *lpdwDisposition tells which happened.
PAVORM_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);
// Counts and largest sizes of a key (names in characters without the terminator,
// data in bytes); any pointer may be null.
PAVORM_API LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
// Reads a value (null or empty name: the key's default value). ERROR_MORE_DATA
// with the needed size in *lpcbData when the buffer is too small.
PAVORM_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
// Writes a value; the bytes are stored exactly as given, whatever the type.
PAVORM_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
// Name of the sub-key at dwIndex (sub-keys in case-insensitive name order).
PAVORM_API LSTATUS RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName);
PAVORM_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime);
// Name, type and data of the value at dwIndex (values in the order they were created).
PAVORM_API LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Deletes a key that has no sub-keys, with its values (ERROR_ACCESS_DENIED if it has some).
PAVORM_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes a key with all its sub-keys and values (null sub-key: empties hKey itself).
PAVORM_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
PAVORM_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Releases a handle; ERROR_INVALID_HANDLE for one that is not open.
PAVORM_API LSTATUS RegCloseKey(HKEY hKey);
// Opens (creating it with mode 0600 when missing) the hive file lpFile as a root key.
PAVORM_API LSTATUS RegLoadAppKeyW(LPCWSTR lpFile, PHKEY phkResult, REGSAM samDesired, DWORD dwOptions,
                       DWORD Reserved);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
#endif
