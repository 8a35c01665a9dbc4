// AfxMessageBox: a message box captioned with the application's name.
#ifndef PAVORM_PLATFORM_AFX_AFX_MESSAGE_BOX_H
#define PAVORM_PLATFORM_AFX_AFX_MESSAGE_BOX_H

#include "PavoRm51Export.h"

#include "platform/win/message_box.h"
#include "platform/win/win_types.h"

// Shows `text` (owner none, style `type`) and returns the button chosen.
PAVORM_API int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
// The same with string `promptId` of the current resource module or the
// resource chain; 0 (and no box) when the string is not there.
PAVORM_API int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = (UINT)-1);

#endif
