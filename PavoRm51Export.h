/* PAVORM_API marks what the shared library exports: its classes, C functions
 * and the platform names a host calls itself. Everything else is built with
 * hidden visibility and is reached only through the static library.
 *
 *   Linux:   default visibility.
 *   Windows: dllexport while the library's own sources are compiled
 *            (PAVORM_BUILDING_LIBRARY), dllimport in a host of the DLL.
 *   PAVORM_STATIC: a program linked with the static library; nothing is
 *            imported.
 */
#ifndef PAVORM51_EXPORT_H
#define PAVORM51_EXPORT_H

#if defined(_WIN32)
#if defined(PAVORM_BUILDING_LIBRARY)
#define PAVORM_API __declspec(dllexport)
#elif defined(PAVORM_STATIC)
#define PAVORM_API
#else
#define PAVORM_API __declspec(dllimport)
#endif
#else
#define PAVORM_API __attribute__((visibility("default")))
#endif

#endif
