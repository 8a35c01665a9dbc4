// Basic Win32 types and the 16-bit text type, as the library's code uses them.
#ifndef PAVORM_PLATFORM_WIN_WIN_TYPES_H
#define PAVORM_PLATFORM_WIN_WIN_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
#if defined(_WIN32)
typedef wchar_t WCHAR;
#define WTEXT(s) L##s
#else
// One UTF-16 code unit. Linux's wchar_t is 32 bits wide, so it is never used
// for this text, nor are the C runtime's wide functions.
typedef char16_t WCHAR;
#define WTEXT(s) u##s
#endif
#else
typedef uint16_t WCHAR;
#endif

typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;   // Windows' DWORD is 32 bits everywhere
typedef uint64_t QWORD;
typedef int32_t LONG;     // and so is LONG (LLP64)
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef DWORD LCID;
typedef WORD LANGID;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
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

#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(l) ((WORD)(l) & 0x3ff)
#define SUBLANGID(l) ((WORD)(l) >> 10)
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

#endif
