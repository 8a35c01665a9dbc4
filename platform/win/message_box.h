// The library's message boxes go through a handler that a host (or a test)
// installs. Without one, on Linux the caption and text go to standard error
// and the default button is chosen; on Windows the real MessageBoxW shows them.
#ifndef PAVORM_PLATFORM_WIN_MESSAGE_BOX_H
#define PAVORM_PLATFORM_WIN_MESSAGE_BOX_H

#include "PavoRm51Export.h"

#include "platform/win/win_types.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win/win32_names.h"
#else
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_TYPEMASK 0x0000000FL
#define MB_DEFMASK 0x00000F00L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11
#endif  // _WIN32

#ifdef __cplusplus
extern "C" {
#endif

// Shows a message box: returns the id of the button chosen, 0 on failure.
// The handler may call back into the library (boxes are modal on Windows and
// code runs while they are open).
typedef int (*PavoRmMessageBoxHandler)(void* context, HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Installs `handler` with its `context` for the whole process (null restores
// the default) and returns the one it replaces (its context in *previousContext
// when that is not null).
PAVORM_API PavoRmMessageBoxHandler PavoRmSetMessageBoxHandler(PavoRmMessageBoxHandler handler, void* context,
                                                   void** previousContext);

// The default handler: on Linux "caption: text" on standard error, then the
// default button; on Windows the real MessageBoxW.
PAVORM_API int PavoRmDefaultMessageBox(void* context, HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Shows a box through the installed handler (the default one when none is):
// how the library itself shows every box.
PAVORM_API int PavoRmMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

#if !defined(_WIN32)
// The stand-in: the same as PavoRmMessageBox.
PAVORM_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
#endif

#ifdef __cplusplus
}
#endif

#endif
