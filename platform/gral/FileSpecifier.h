// Gral::FileSpecifier: the imaging library's image source, a text and a kind.
// Stand-in for GralCore's class with the operations this library uses.
#ifndef PAVORM_PLATFORM_GRAL_FILESPECIFIER_H
#define PAVORM_PLATFORM_GRAL_FILESPECIFIER_H

#include "PavoRm51Export.h"

#include "platform/gral/StringBuffer.h"

namespace Gral {

class PAVORM_API FileSpecifier {
 public:
  static constexpr int kFileName = 0;   // the text is a file name
  static constexpr int kReference = 2;  // the text is a reference document

  // Empty text (UTF-8) of kind 0; meant to be followed by assign().
  FileSpecifier();
  // Holds text, as given (its encoding is kept), and kind.
  FileSpecifier(StringBuffer text, int kind);
  FileSpecifier(const FileSpecifier& other) = default;
  FileSpecifier(FileSpecifier&& other) noexcept = default;
  FileSpecifier& operator=(const FileSpecifier& other) = default;
  FileSpecifier& operator=(FileSpecifier&& other) noexcept = default;

  // Declared in GralCore's order: kind, text, assign.
  virtual int kind() const;
  virtual const StringBuffer& text() const;
  // Replaces text (a copy, encoding kept) and kind.
  virtual void assign(const StringBuffer& text, int kind);

  virtual ~FileSpecifier();

 private:
  StringBuffer m_Text;
  int m_Kind;
};

}  // namespace Gral

#endif
