// PavoRm51: the whole C++ interface of the library.
#ifndef PAVORM51_H
#define PAVORM51_H

#include "platform/win/win_types.h"
#include "platform/win/last_error.h"
#include "platform/win/code_pages.h"
#include "platform/win/char_types.h"
#include "platform/win/modules.h"
#include "platform/win/resources.h"
#include "platform/win/ui_language.h"
#include "platform/win/local_memory.h"
#include "platform/win/format_message.h"
#include "platform/win/message_box.h"
#include "platform/afx/afx_string.h"
#include "platform/afx/module_state.h"
#include "platform/afx/extension_module.h"
#include "platform/afx/afx_message_box.h"
#include "string/PavoRmCString.h"
#include "platform/win/heap.h"
#include "platform/win/registry.h"
#include "platform/win/registry_reg_file.h"
#include "platform/afx/afx_ptr_list.h"
#include "platform/afx/file_status.h"
#include "info/PavoRmInformation.h"
#include "info/PavoRmInformationRegistry.h"
#include "resource/identity.h"
#include "resource/entry.h"

#include "resource/PavoRmObject.h"
#include "resource/PavoRmResource.h"
#include "resource/PavoRmResourceManager.h"
#include "resource/PavoRmResourceObject.h"
#include "resource/PavoRmResourceObjectFile.h"
#include "resource/PavoRmResourceObjectNormalDll.h"
#include "resource/PavoRmResourceObjectResourceDll.h"
#include "resource/registration.h"

#endif
