// Basic Win32 types and the 16-bit text type, as the library's code uses them.
#ifndef PAVORM_PLATFORM_WIN_WIN_TYPES_H
#define PAVORM_PLATFORM_WIN_WIN_TYPES_H

#include <stdint.h>

#if defined(_WIN32)
// The same types as <windows.h> declares them (LLP64: DWORD and LONG are
// `long`, 32 bits), so that either header may come first. <windows.h> itself
// is left to the headers that need its functions.
typedef wchar_t WCHAR;
#ifdef __cplusplus
#define WTEXT(s) L##s
#endif
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef unsigned long ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef __int64 INT_PTR;
typedef unsigned __int64 UINT_PTR;
typedef __int64 LONG_PTR;
typedef unsigned __int64 ULONG_PTR;
#else
#ifdef __cplusplus
// One UTF-16 code unit. Linux's wchar_t is 32 bits wide, so it is never used
// for this text, nor are the C runtime's wide functions.
typedef char16_t WCHAR;
#define WTEXT(s) u##s
#else
typedef uint16_t WCHAR;
#endif
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;   // Windows' DWORD is 32 bits everywhere
typedef int32_t LONG;     // and so is LONG (LLP64)
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
#endif

typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef uint64_t QWORD;
typedef DWORD LCID;
typedef WORD LANGID;
typedef ULONG_PTR SIZE_T;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef BOOL* LPBOOL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef LONG LSTATUS;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque handles: distinct pointer types, so they cannot be mixed up.
struct HINSTANCE__;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HRSRC__;
typedef struct HRSRC__* HRSRC;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HANDLE;
struct HWND__;
typedef struct HWND__* HWND;
struct HKEY__;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

// <windows.h> has its own, equal definitions; a later <windows.h> replaces these.
#ifndef MAKELANGID
#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(l) ((WORD)(l) & 0x3ff)
#define SUBLANGID(l) ((WORD)(l) >> 10)
#endif
#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)
#endif

#endif
