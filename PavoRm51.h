// PavoRm51: the whole C++ interface of the library.
#ifndef PAVORM51_H
#define PAVORM51_H

#include "platform/win/win_types.h"
#include "platform/win/last_error.h"
#include "platform/win/code_pages.h"
#include "platform/win/char_types.h"
#include "platform/afx/afx_string.h"
#include "string/PavoRmCString.h"
#include "platform/gral/StringBuffer.h"
#include "platform/gral/FileSpecifier.h"
#include "fsassist/file_reference.h"
#include "fsassist/FSAssist.h"

#endif
