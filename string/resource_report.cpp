#include "string/resource_report.h"

#include "platform/win/message_box.h"

namespace pavo {

const WCHAR kResourceErrorCaption[] = WTEXT("Resource Manager Error");
const WCHAR kResourceNotice[] = WTEXT("Unable to locate resource string.  Resource Manager \nis not correctly installed.");

void ReportMissingString(ReportGuard& guard, const WCHAR* text) {
  if (guard.reporting) {
    if (!guard.noticeShown) {
      guard.noticeShown = true;  // set first: the notice's own failures stay quiet
      PavoRmMessageBox(nullptr, kResourceNotice, kResourceErrorCaption, kResourceErrorStyle);
    }
    return;
  }
  guard.reporting = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{guard.reporting};
  PavoRmMessageBox(nullptr, text, kResourceErrorCaption, kResourceErrorStyle);
}

}  // namespace pavo
