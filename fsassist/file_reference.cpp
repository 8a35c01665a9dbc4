// addFileReference, extractFileReference, numComponentsInReference.
#include "fsassist/file_reference.h"

#include <climits>
#include <cstring>
#include <utility>

#include "fsassist/reference_document.h"

using namespace fsassist_detail;

namespace {

// The C runtime's atoi, saturating as Microsoft's does: leading white space,
// an optional sign, decimal digits up to the first other character.
int ReadFrame(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return value > INT_MAX ? INT_MIN : -static_cast<int>(value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// frame in decimal as itoa with radix 10 writes it ("-" for negatives, INT_MIN
// included); returns the length. digits has room for any int.
int FrameText(int frame, char (&digits)[50]) {
  char reversed[12];
  int n = 0;
  // Work on the unsigned magnitude: -INT_MIN does not fit an int.
  unsigned magnitude = frame < 0 ? 0u - static_cast<unsigned>(frame) : static_cast<unsigned>(frame);
  do {
    reversed[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int length = 0;
  if (frame < 0) digits[length++] = '-';
  while (n > 0) digits[length++] = reversed[--n];
  digits[length] = '\0';
  return length;
}

// The attributes of a file element: path (UTF-8 in any buffer) and frame in decimal.
class FileAttributes {
 public:
  FileAttributes(const Gral::StringBuffer& utf8Path, int frame)
      : m_list{{"path", utf8Path.data(), static_cast<size_t>(utf8Path.textBytes())},
               {"frame", m_digits, static_cast<size_t>(FrameText(frame, m_digits))}} {}
  const Attribute* list() const { return m_list; }
  static constexpr size_t kCount = 2;

 private:
  char m_digits[50];
  Attribute m_list[kCount];
};

}  // namespace

namespace fsassist_detail {

Gral::StringBuffer NewFileDocument(const Gral::StringBuffer& utf8Path, int frame) {
  const FileAttributes attributes(utf8Path, frame);
  return NewDocument(kFileKeyword, attributes.list(), FileAttributes::kCount);
}

}  // namespace fsassist_detail

extern "C" void addFileReference(const Gral::FileSpecifier* file, int frame, Gral::FileSpecifier* storage) {
  if (file == nullptr || storage == nullptr) return;
  const Gral::StringBuffer path = ToUtf8(file->text());
  // At most three bytes and the terminator cannot hold a document: start anew.
  Gral::StringBuffer text = ToUtf8(storage->text());
  if (text.size() <= 4) {
    storage->assign(NewFileDocument(path, frame), Gral::FileSpecifier::kReference);
    return;
  }
  const ParsedReference parsed(std::move(text));
  ezxml_node* image = parsed.image();
  if (image == nullptr) return;
  ezxml_node* element = AddComponent(image, kFileKeyword);
  const FileAttributes attributes(path, frame);
  for (size_t i = 0; i < FileAttributes::kCount; ++i) {
    const Attribute& a = attributes.list()[i];
    SetAttribute(element, a.name, a.value, a.length);
  }
  StoreDocument(parsed.root(), *storage);
}

extern "C" int extractFileReference(const Gral::FileSpecifier* storage, int index, Gral::FileSpecifier* file,
                                    int* frame) {
  if (storage == nullptr || file == nullptr || frame == nullptr) return 0;
  if (storage->kind() != Gral::FileSpecifier::kReference) return 0;
  const ParsedReference parsed(*storage);
  ezxml_node* element = parsed.storage(index, kFileKeyword);
  if (element == nullptr) return 0;
  *frame = 0;
  const char* path = ezxml_attr(element, "path");
  if (path == nullptr) return 0;
  if (const char* number = ezxml_attr(element, "frame")) *frame = ReadFrame(number);
  file->assign(WideOf(path), Gral::FileSpecifier::kFileName);
  return 1;
}

extern "C" int numComponentsInReference(const Gral::FileSpecifier* specifier) {
  if (specifier == nullptr || specifier->text().isEmpty()) return 0;
  if (specifier->kind() != Gral::FileSpecifier::kReference) return 1;
  const ParsedReference parsed(*specifier);
  int count = 0;
  for (ezxml_node* c = ezxml_child(parsed.image(), "component"); c != nullptr && count < INT_MAX; c = c->next)
    ++count;
  return count;
}
