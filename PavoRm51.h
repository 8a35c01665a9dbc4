// PavoRm51: the whole C++ interface of the library.
#ifndef PAVORM51_H
#define PAVORM51_H

#include "platform/win/win_types.h"
#include "platform/win/last_error.h"
#include "platform/win/code_pages.h"
#include "platform/win/char_types.h"
#include "platform/afx/afx_string.h"
#include "string/PavoRmCString.h"
#include "platform/win/heap.h"
#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"
#include "platform/afx/afx_ptr_list.h"
#include "platform/afx/file_status.h"
#include "info/PavoRmInformation.h"
#include "info/PavoRmInformationRegistry.h"
#include "platform/gral/StringBuffer.h"
#include "platform/gral/FileSpecifier.h"
#include "fsassist/file_reference.h"
#include "fsassist/FSAssist.h"

#include "resource/PavoRmObject.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "resource/PavoRmResourceObjectFile.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/registration.h"

#endif
