#include "resource/file_not_found.h"

#include <new>

#include "resource/identity.h"

PavoRmCString pavo::FileNotFoundText(const PavoRmCString& path) {
  PavoRmCString text;
  try {
    text.FormatMessageW(PavoRmCString(pavoRmName()), 28505, path.GetString());
  } catch (std::bad_alloc* failure) {
    // A language module whose message has broken inserts must not abort the
    // load with an exception; the box is simply not shown.
    delete failure;
    text.Empty();
  }
  return text;
}
