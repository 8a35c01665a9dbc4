#include "platform/win/message_box.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/win/utf8_text.h"
#include "platform/win/wide_text.h"

namespace {

struct HandlerSlot {
  std::mutex lock;
  PavoRmMessageBoxHandler handler = nullptr;
  void* context = nullptr;
};

HandlerSlot& Slot() {
  static HandlerSlot* slot = new HandlerSlot;  // never destroyed: boxes may come from exit handlers
  return *slot;
}

#if !defined(_WIN32)
// The button a box of this type returns when the user just confirms it.
int DefaultButton(UINT type) {
  static const int buttons[][3] = {
      {IDOK, IDOK, IDOK},           {IDOK, IDCANCEL, IDCANCEL},   {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL},      {IDYES, IDNO, IDNO},          {IDRETRY, IDCANCEL, IDCANCEL},
      {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
  };
  const UINT kind = type & MB_TYPEMASK;
  if (kind >= sizeof buttons / sizeof buttons[0]) return IDOK;
  const UINT which = (type & MB_DEFMASK) >> 8;
  return buttons[kind][which < 3 ? which : 0];
}
#endif

}  // namespace

extern "C" PavoRmMessageBoxHandler PavoRmSetMessageBoxHandler(PavoRmMessageBoxHandler handler, void* context,
                                                              void** previousContext) {
  HandlerSlot& s = Slot();
  std::lock_guard<std::mutex> guard(s.lock);
  PavoRmMessageBoxHandler old = s.handler;
  if (previousContext != nullptr) *previousContext = s.context;
  s.handler = handler;
  s.context = handler != nullptr ? context : nullptr;
  return old;
}

#if defined(_WIN32)
extern "C" int PavoRmDefaultMessageBox(void*, HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return ::MessageBoxW(owner, text, caption, type);
}
#else
extern "C" int PavoRmDefaultMessageBox(void*, HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::string line;
  const WCHAR* title = caption != nullptr ? caption : WTEXT("Error");
  pavo::AppendUtf8(title, pavo::WideLength(title), false, &line);
  line += ": ";
  pavo::AppendUtf8(text, pavo::WideLength(text), false, &line);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return DefaultButton(type);
}
#endif

extern "C" int PavoRmMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  HandlerSlot& s = Slot();
  PavoRmMessageBoxHandler handler;
  void* context;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    handler = s.handler;
    context = s.context;
  }
  // Called without the lock: a handler may show further boxes.
  if (handler == nullptr) return PavoRmDefaultMessageBox(nullptr, owner, text, caption, type);
  return handler(context, owner, text != nullptr ? text : WTEXT(""), caption, type);
}

#if !defined(_WIN32)
extern "C" int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return PavoRmMessageBox(owner, text, caption, type);
}
#endif
