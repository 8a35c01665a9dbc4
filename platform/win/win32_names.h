// The one guard against <windows.h>'s A/W macros for the names the library
// declares itself. <windows.h> maps such a name to its A or W function, so
// CStringW::LoadString would be declared and called as LoadStringA or
// LoadStringW; as LoadStringW, PavoRmCString's own LoadStringW overloads
// answer the base class's calls (one calls back into the load: endless
// recursion). Every header that declares one of these names includes this
// one. On Windows it brings <windows.h> first, so that the macros are gone
// whichever header a host or a source includes next (<windows.h> and the
// headers it includes are read once); a forward declaration cannot do that.
#ifndef PAVORM_PLATFORM_WIN_WIN32_NAMES_H
#define PAVORM_PLATFORM_WIN_WIN32_NAMES_H

#if defined(_WIN32)
#include <windows.h>
#endif

// Also where a host defines such a macro itself (its own Windows shims).
#undef LoadString  // CStringW::LoadString

#endif
