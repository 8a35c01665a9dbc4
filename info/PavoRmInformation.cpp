#include "info/PavoRmInformation.h"

#include "platform/afx/file_status.h"
#include "platform/win/char_types.h"

namespace {
// m_RefCount while the object is being destroyed: a SafeDelete reached from
// inside the destructor must not destroy it a second time.
constexpr int kDestroying = -1;
}  // namespace

PavoRmInformation::PavoRmInformation(const PavoRmCString& root, const PavoRmCString& path,
                                     const PavoRmCString& language)
    : m_RefCount(0), m_Root(root), m_Path(path), m_Language(language), m_AutoLoad(0) {
  if (m_Path.IsEmpty()) return;
  const WCHAR* start = m_Path.GetString();
  const WCHAR* last = CharPrevW(start, start + m_Path.GetLength());
  if (last == nullptr || *last != WTEXT('\\')) m_Path += WTEXT('\\');
}

PavoRmInformation::~PavoRmInformation() = default;

PavoRmInformation* PavoRmInformation::reference() {
  ++m_RefCount;
  return this;
}

void PavoRmInformation::Create() {}

void PavoRmInformation::SafeDelete() {
  if (m_RefCount == kDestroying) return;
  if (m_RefCount <= 1) {
    m_RefCount = kDestroying;
    delete this;
    return;
  }
  --m_RefCount;
}

PavoRmCString PavoRmInformation::ExpandPath(const PavoRmCString& path) const {
  if (m_Path.IsEmpty()) return path;
  // An empty path has no second character to look at: the folder alone.
  if (path.IsEmpty()) return m_Path;
  // On Linux a leading slash makes a path absolute, as a drive letter does.
  if (path.GetAt(0) == WTEXT('/')) return path;
  if (path.GetAt(1) == WTEXT(':')) return path;
  // Joined straight from the argument: a language switch calls this per object.
  if (path.GetAt(0) == WTEXT('\\')) return m_Path + path.Mid(1);
  return m_Path + path;
}

int PavoRmInformation::FileExist(const PavoRmCString& path) const {
  CFileStatus status;
  if (!CFile::GetStatus(path.GetString(), status)) return 0;
  const BYTE attributes = status.m_attribute;
  if (attributes == 0) return 1;
  return (attributes & CFile::archive) != 0 ? 1 : 0;
}
