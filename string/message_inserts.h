// Message-insert formatting into a PavoRmCString, shared by FormatMessageL and
// the load-by-name formatting.
#ifndef PAVORM_STRING_MESSAGE_INSERTS_H
#define PAVORM_STRING_MESSAGE_INSERTS_H

#include <cstdarg>

#include "platform/win/win_types.h"

class PavoRmCString;

namespace pavo {

// target becomes format with its inserts (%1, %2!d!, ...) filled from
// arguments, which are consumed. An empty message gives the empty text. When
// FormatMessageW fails a pointer to a new std::bad_alloc ("bad allocation") is
// thrown, or a null one when even that cannot be allocated; target is then
// unchanged.
void FillMessageInserts(PavoRmCString& target, const WCHAR* format, va_list& arguments);

}  // namespace pavo

#endif
