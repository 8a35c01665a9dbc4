// Internal: reading and writing of reference documents, shared by the
// file-reference functions and FSAssist. Not part of the public interface.
//
// A reference document: storage(version) / image / component* / data /
// one storage element: file(path, frame) | inet(url) | embd(name, dictionary).
// Attribute values are UTF-8.
#ifndef PAVORM_FSASSIST_REFERENCE_DOCUMENT_H
#define PAVORM_FSASSIST_REFERENCE_DOCUMENT_H

#include <cstddef>

#include "ezxml.h"
#include "platform/gral/FileSpecifier.h"
#include "platform/gral/StringBuffer.h"
#include "string/PavoRmCString.h"

namespace fsassist_detail {

// Storage element names, shared by every reader and writer.
extern const char kFileKeyword[];  // "file"
extern const char kInetKeyword[];  // "inet"
extern const char kEmbdKeyword[];  // "embd"

// The document of a specifier, parsed from a private UTF-8 copy of its text
// (the parser works in place, so never on the specifier's own bytes). A text
// that is not XML reads as a tree without an image element. The tree is
// released before the copy. The kind is not looked at: whether a specifier
// of another kind has a document is each caller's own rule.
class ParsedReference {
 public:
  explicit ParsedReference(const Gral::FileSpecifier& specifier);
  // Parses a private copy the caller already made, in any encoding (the
  // parse length is its size, half of it for UTF-16).
  explicit ParsedReference(Gral::StringBuffer privateText);
  ~ParsedReference();
  ParsedReference(const ParsedReference&) = delete;
  ParsedReference& operator=(const ParsedReference&) = delete;

  // The parsed root; null only when the parser could not allocate it.
  ezxml_node* root() const { return m_root; }
  // The first image child of the root, or null.
  ezxml_node* image() const;
  // data of component index (a negative index stops at the first component).
  ezxml_node* data(int index) const;
  // The first child named element of that data element, or null.
  ezxml_node* storage(int index, const char* element) const;

 private:
  Gral::StringBuffer m_text;  // the parser's working copy; the tree points into it
  ezxml_node* m_root;
};

// A child owning a copy of its name, at offset in parent's text. Throws std::bad_alloc.
ezxml_node* AddElement(ezxml_node* parent, const char* name, size_t offset);
// Sets an attribute to copies of name and of value's first length bytes,
// which the tree owns. Throws std::bad_alloc.
void SetAttribute(ezxml_node* node, const char* name, const char* value, size_t length);
// A new component, with its data element and an empty storage element,
// behind image's components (at the offset of their count); returns the
// storage element.
ezxml_node* AddComponent(ezxml_node* image, const char* element);
// Serializes the tree of root into specifier (UTF-8, kind 2). The caller
// frees the tree. Throws std::bad_alloc.
void StoreDocument(ezxml_node* root, Gral::FileSpecifier& specifier);

// One attribute of a storage element: value holds length bytes of UTF-8
// and a NUL behind them (none before).
struct Attribute {
  const char* name;
  const char* value;
  size_t length;
};
// A new document with one component, in one step: the UTF-8 text (for kind
// 2) that serializing such a tree gives, written with the serializer's own
// writer without building the tree. Throws std::bad_alloc or std::length_error.
Gral::StringBuffer NewDocument(const char* element, const Attribute* attributes, size_t count);
// NewDocument for a file component: path (UTF-8 in any buffer) and frame.
Gral::StringBuffer NewFileDocument(const Gral::StringBuffer& utf8Path, int frame);

// A UTF-16 buffer of a UTF-8 attribute value (ill-formed bytes become U+FFFD).
Gral::StringBuffer WideOf(const char* utf8);

// UTF-8 of a buffer's text (a private copy in encoding 1).
Gral::StringBuffer ToUtf8(const Gral::StringBuffer& text);
// UTF-8 of a terminated wide text; null reads as empty.
Gral::StringBuffer Utf8Of(const WCHAR* text);

}  // namespace fsassist_detail

#endif
