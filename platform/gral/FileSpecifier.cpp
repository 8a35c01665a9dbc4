// Gral::FileSpecifier: keeps its text exactly as assigned.
#include "platform/gral/FileSpecifier.h"

#include <utility>

namespace Gral {

FileSpecifier::FileSpecifier() : m_Text(0, StringBuffer::kUtf8), m_Kind(kFileName) {}

FileSpecifier::FileSpecifier(StringBuffer text, int kind) : m_Text(std::move(text)), m_Kind(kind) {}

FileSpecifier::~FileSpecifier() = default;

int FileSpecifier::kind() const { return m_Kind; }

const StringBuffer& FileSpecifier::text() const { return m_Text; }

void FileSpecifier::assign(const StringBuffer& text, int kind) {
  m_Text = text;  // copy first: text may be this specifier's own
  m_Kind = kind;
}

}  // namespace Gral
