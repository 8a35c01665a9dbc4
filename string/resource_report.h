// The report of a resource string that cannot be loaded, shared by the
// loaders by module handle and by resource-object name: its texts, its box
// style and its guard against reports met while a report is open.
#ifndef PAVORM_STRING_RESOURCE_REPORT_H
#define PAVORM_STRING_RESOURCE_REPORT_H

#include "platform/win/win_types.h"

namespace pavo {

// Caption of every box of the string loaders.
extern const WCHAR kResourceErrorCaption[];
// Shown once per loader form for failures met while its report is open.
extern const WCHAR kResourceNotice[];
// MB_OK | MB_ICONEXCLAMATION.
constexpr UINT kResourceErrorStyle = 0x30;

// The process-wide flags of one loader form.
struct ReportGuard {
  bool reporting = false;    // the form's missing-string box is open
  bool noticeShown = false;  // the notice was shown; never cleared
};

// Shows `text` as the form's missing-string report, or, when a report of the
// same form is already open, the notice (only once per process) and nothing
// else. The flag is cleared by the report that set it, so that every failure
// while the box is open stays quiet.
void ReportMissingString(ReportGuard& guard, const WCHAR* text);

}  // namespace pavo

#endif
