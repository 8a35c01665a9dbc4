/* The ids of the library's own strings (resource/PavoRm.rc and the language
   scripts in resource/lang), and how the library shows them. Plain #defines,
   so that C, C++ and a preprocessing resource compiler can all read them. */
#ifndef PAVORM_RESOURCE_STRING_IDS_H
#define PAVORM_RESOURCE_STRING_IDS_H

/* "Can not find the resource menu number %1!d! in resource %2!s!." */
#define IDS_PAVORM_MENU_NUMBER_NOT_FOUND 28500
/* "Can not find the resource menu %1!s! in resource %2!s!." */
#define IDS_PAVORM_MENU_NOT_FOUND 28501
/* "Can not find the resource string number %1!d! in resource %2!s!." */
#define IDS_PAVORM_STRING_NOT_FOUND 28502
/* "Could not load language %1!s!. Application language is still %2!s!." */
#define IDS_PAVORM_LANGUAGE_NOT_LOADED 28503
/* "Dll-Object not found!" */
#define IDS_PAVORM_DLL_OBJECT_NOT_FOUND 28504
/* "File "%1!s!" not found!" */
#define IDS_PAVORM_FILE_NOT_FOUND 28505
/* "LanguageObject is not a ResourceDll!" */
#define IDS_PAVORM_NOT_A_RESOURCE_DLL 28506
/* "There is no language installed. The standard language will be used." */
#define IDS_PAVORM_NO_LANGUAGE_INSTALLED 28507
/* Button captions: "&Apply", "< &Back", "Cancel", "&Finish", "&Help",
   "&Next >", "OK". */
#define IDS_PAVORM_APPLY 28508
#define IDS_PAVORM_BACK 28509
#define IDS_PAVORM_CANCEL 28510
#define IDS_PAVORM_FINISH 28511
#define IDS_PAVORM_HELP 28512
#define IDS_PAVORM_NEXT 28513
#define IDS_PAVORM_OK 28514
/* "Internal Error: Resource-Manager not found!!!" */
#define IDS_PAVORM_NO_RESOURCE_MANAGER 28515

/* The message-box style the library's own messages are shown with:
   MB_OK (0), one OK button and no icon. */
#define PAVORM_MESSAGE_BOX_STYLE 0u
/* The help context passed with them: none. */
#define PAVORM_MESSAGE_BOX_NO_HELP 0u

#endif
