// Gral::FileSpecifier: keeps its text exactly as assigned.
#include "platform/gral/FileSpecifier.h"

#include <utility>

namespace Gral {

FileSpecifier::FileSpecifier() : m_text(0, StringBuffer::kUtf8), m_kind(kFileName) {}

FileSpecifier::FileSpecifier(StringBuffer text, int kind) : m_text(std::move(text)), m_kind(kind) {}

FileSpecifier::~FileSpecifier() = default;

int FileSpecifier::kind() const { return m_kind; }

const StringBuffer& FileSpecifier::text() const { return m_text; }

void FileSpecifier::assign(const StringBuffer& text, int kind) {
  m_text = text;  // copy first: text may be this specifier's own
  m_kind = kind;
}

}  // namespace Gral
