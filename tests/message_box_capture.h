// Installs a message-box handler that records every box for one test.
#ifndef PAVORM_TESTS_MESSAGE_BOX_CAPTURE_H
#define PAVORM_TESTS_MESSAGE_BOX_CAPTURE_H

#include <functional>
#include <string>
#include <vector>

#include "platform/win/message_box.h"
#include "platform/win/wide_text.h"

namespace test {

struct Box {
  pavo::WideString text;
  pavo::WideString caption;
  UINT type;
};

class BoxCapture {
 public:
  BoxCapture() { previous_ = PavoRmSetMessageBoxHandler(&BoxCapture::Handle, this, &previousContext_); }
  ~BoxCapture() { PavoRmSetMessageBoxHandler(previous_, previousContext_, nullptr); }
  BoxCapture(const BoxCapture&) = delete;
  BoxCapture& operator=(const BoxCapture&) = delete;

  std::vector<Box> boxes;
  std::function<void(const Box&)> whileOpen;  // runs while the box is "shown"

 private:
  static int Handle(void* context, HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    auto* self = static_cast<BoxCapture*>(context);
    self->boxes.push_back({text, caption != nullptr ? caption : WTEXT(""), type});
    if (self->whileOpen) self->whileOpen(self->boxes.back());
    return IDOK;
  }
  PavoRmMessageBoxHandler previous_ = nullptr;
  void* previousContext_ = nullptr;
};

}  // namespace test

#endif
