/* ezxml: a small in-place XML library with a C interface.
 *
 * A document is a tree of ezxml_node records. Strings are NUL-terminated
 * UTF-8 bytes; the tree stores the pointers it is given and records in flags
 * (and, for attributes, in an ownership string) which of them it owns. Every
 * block comes from the C heap; texts returned by ezxml_toxml are released
 * with free(), records only with ezxml_free (see "Records"). A document is
 * used by one thread at a time.
 */
#ifndef PAVORM_XML_EZXML_H
#define PAVORM_XML_EZXML_H

#include <stddef.h>

#include "PavoRm51Export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bits of ezxml_node.flags; no other bits are defined. */
#define EZXML_NAME_OWNED 0x80 /* the node owns name; ezxml_free releases it */
#define EZXML_TEXT_OWNED 0x40 /* the node owns text; ezxml_free and ezxml_set_txt release it */
#define EZXML_ADOPT_ATTR 0x20 /* the next ezxml_set_attr takes over its name and value; it clears the bit */
#define EZXML_LIBRARY_RECORD 0x100 /* the library made the record (see "Records" below); never set or clear it */

/* Marker bits of an attribute list's ownership string (one byte per attribute). */
#define EZXML_ATTR_NAME_OWNED 0x80
#define EZXML_ATTR_VALUE_OWNED 0x40
#define EZXML_ATTR_NOT_OWNED 0x20 /* a marker with neither bit is a space, never NUL */

/* Type markers of default-attribute lists (also the decoding mode codes). */
#define EZXML_TYPE_CDATA " "
#define EZXML_TYPE_TOKEN "*"

/* Size of ezxml_root.error. */
#define EZXML_ERROR_SIZE 128

/* One element.
 * The children of a parent hang in three chains, all starting at child:
 *   document order: child, then ordered links (offsets never decrease);
 *   per name: the first element of a name, then next links;
 *   sibling: the first element of each distinct name, linked by sibling.
 * attrs: name 1, value 1, ..., name n, value n, NULL, ownership string. */
typedef struct ezxml_node {
    char *name;                 /* element name; NULL only in a root without element */
    char **attrs;               /* attribute list, or EZXML_EMPTY_LIST */
    char *text;                 /* character content without the children; "" when none */
    size_t offset;              /* bytes of the parent's text in front of this element */
    struct ezxml_node *next;    /* next element of the same name under the same parent */
    struct ezxml_node *sibling; /* first element of the next distinct name */
    struct ezxml_node *ordered; /* next element under the same parent in document order */
    struct ezxml_node *child;   /* first child in document order */
    struct ezxml_node *parent;  /* NULL for a document root */
    short flags;                /* EZXML_NAME_OWNED | EZXML_TEXT_OWNED | EZXML_ADOPT_ATTR | EZXML_LIBRARY_RECORD */
    unsigned int block_offset;  /* the library's own: how far a record it made lies behind the
                                 * start of its block (0: an allocation of its own); on 64-bit
                                 * targets it fills what was padding */
} ezxml_node;

/* One document; a pointer to it is a pointer to its root element. */
typedef struct ezxml_root {
    ezxml_node node;          /* the root element itself */
    ezxml_node *current;      /* element being filled by the parser; NULL once the root is closed */
    char *input;              /* the buffer handed to ezxml_parse_str */
    size_t input_release;     /* ezxml_free releases input only when this is (size_t)-1 */
    char *utf8_copy;          /* UTF-8 copy of a UTF-16 input, else NULL; owned */
    char *work_start;         /* start of the text the tree points into (NULL for ezxml_new) */
    char *work_end;           /* its end */
    char **entities;          /* name ("lt;"), value pairs, NULL-terminated; own array */
    char ***attr_defaults;    /* per element: name, (attr, default|NULL, type)..., NULL; or EZXML_EMPTY_LIST */
    char ***instructions;     /* per target: target, texts..., NULL, position string; or EZXML_EMPTY_LIST */
    short standalone;         /* 1 when the XML declaration said standalone="yes" */
    char error[EZXML_ERROR_SIZE]; /* why the parse stopped early (see ezxml_error); "" when it did not */
    int status;               /* an ezxml_parse_status_code; read it with ezxml_parse_status */
    size_t status_offset;     /* byte offset where the parse stopped */
} ezxml_root;

/* Why a parse stopped; EZXML_PARSE_COMPLETE when it read the whole input. */
typedef enum ezxml_parse_status_code {
    EZXML_PARSE_COMPLETE = 0,         /* every element closed, whole input read */
    EZXML_PARSE_UNCLOSED_ELEMENT = 1, /* input ended with elements still open */
    EZXML_PARSE_UNTERMINATED = 2,     /* input ended inside a tag, comment, CDATA, PI or DOCTYPE */
    EZXML_PARSE_MISMATCHED_TAG = 3,   /* an end tag that closes no open element */
    EZXML_PARSE_MALFORMED = 4,        /* other markup the parser cannot read */
    EZXML_PARSE_EXPANSION_LIMIT = 5,  /* entity expansion stopped by the amplification budget */
    EZXML_PARSE_OUT_OF_MEMORY = 6,    /* an allocation failed; the tree is what was read */
    EZXML_PARSE_NO_DOCUMENT = 7       /* node is NULL or not the root of a parsed document */
} ezxml_parse_status_code;

/* The one shared, read-only empty list (a single NULL pointer): empty
 * attribute list, empty instruction and default tables, ezxml_pi's "none".
 * It is told apart from an own list by its address; never write or free it. */
PAVORM_API extern char *const ezxml_empty_list[1];
#ifdef __cplusplus
}
/* In C++ the shared list converts to, and compares with, any list pointer
 * type (char **, char ***, const char **), as void * does in C. */
struct ezxml_empty_list_type {
    template <class T> operator T *() const { return (T *)(void *)ezxml_empty_list; }
};
template <class T> inline bool operator==(T *p, ezxml_empty_list_type) { return (void *)p == (void *)ezxml_empty_list; }
template <class T> inline bool operator==(ezxml_empty_list_type, T *p) { return (void *)p == (void *)ezxml_empty_list; }
template <class T> inline bool operator!=(T *p, ezxml_empty_list_type e) { return !(p == e); }
template <class T> inline bool operator!=(ezxml_empty_list_type e, T *p) { return !(p == e); }
#define EZXML_EMPTY_LIST (ezxml_empty_list_type{})
extern "C" {
#else
#define EZXML_EMPTY_LIST ((void *)ezxml_empty_list)
#endif

/* Records. Node and document records, attribute lists inside node blocks
 * and a document's first entity table are made only by the library
 * (ezxml_new, ezxml_add_child, ezxml_parse_str): they live in blocks the
 * document owns, so the C heap cannot release or resize them. Release
 * nodes and documents with ezxml_free only (never free(), also not for a
 * cut subtree), and never realloc or free root->entities or
 * an attribute list the library made (change attributes through the
 * library). A record a host allocates itself does not carry
 * EZXML_LIBRARY_RECORD: ezxml_insert refuses it, ezxml_free leaves it
 * alone, and ezxml_parse_status calls it no document. The strings a node
 * points to follow the ownership bits above. Hand strings and nodes to a
 * parsed document through the library's functions (ezxml_set_flag,
 * ezxml_set_txt, ezxml_set_attr, ezxml_insert, ezxml_add_child): a parsed
 * document that none of them has changed is released by its blocks, without
 * reading each node's bits again, so ownership written into flags or
 * markers by hand alone is not seen. */

/* A new document whose root element is named name (not copied, not owned; may be NULL). NULL if out of memory. */
PAVORM_API ezxml_node *ezxml_new(const char *name);

/* Parses length bytes of buf in place (the last byte is always overwritten;
 * UTF-16 with a byte-order mark is converted to a copy and buf left alone).
 * Never NULL except when the root itself cannot be allocated; on a syntax
 * error or a failed allocation gives the tree read so far, and
 * ezxml_parse_status tells why and where it stopped. */
PAVORM_API ezxml_node *ezxml_parse_str(char *buf, size_t length);

/* The status of the parse that made node's document (node may be any node
 * of it). When offset is not NULL it receives the byte offset in the input
 * where the parse stopped (for COMPLETE: the input length; for a UTF-16
 * input, offsets count bytes of its UTF-8 form). Documents from ezxml_new
 * report COMPLETE with offset 0. Codes may be added after the last one:
 * treat any code but EZXML_PARSE_COMPLETE as an incomplete document. */
PAVORM_API int ezxml_parse_status(ezxml_node *node, size_t *offset);

/* Adds a child named name (not copied) at offset in parent's text; NULL for a NULL parent or out of memory. */
PAVORM_API ezxml_node *ezxml_add_child(ezxml_node *parent, const char *name, size_t offset);

/* Links the unlinked node under dest at offset; returns node. NULL (and
 * nothing changes) when either is NULL, when node is not a record of the
 * library, or when dest is node or lies below it. */
PAVORM_API ezxml_node *ezxml_insert(ezxml_node *node, ezxml_node *dest, size_t offset);

/* Unlinks node from its parent's chains (parent is kept); returns node, NULL for NULL. */
PAVORM_API ezxml_node *ezxml_cut(ezxml_node *node);

/* Sets node's text (not copied, not owned; an owned old text is released); returns node. */
PAVORM_API ezxml_node *ezxml_set_txt(ezxml_node *node, const char *text);

/* ORs flag into node's flags (EZXML_LIBRARY_RECORD excepted); returns node. */
PAVORM_API ezxml_node *ezxml_set_flag(ezxml_node *node, short flag);

#if defined(PAVORM_BUILDING_LIBRARY) || defined(PAVORM_STATIC)
/* Sets, replaces or (value NULL) removes an attribute; under EZXML_ADOPT_ATTR
 * takes over name and value. Returns node, NULL for NULL. Used by the library's
 * own layers and not exported by the shared library: hosts of it do not see
 * the declaration, programs linked with the static library do. */
ezxml_node *ezxml_set_attr(ezxml_node *node, const char *name, const char *value);
#endif

/* The attribute's value, else the DTD default for node's element name, else NULL. */
PAVORM_API const char *ezxml_attr(ezxml_node *node, const char *name);

/* First child named name, or NULL. */
PAVORM_API ezxml_node *ezxml_child(ezxml_node *node, const char *name);

/* The node index steps along the same-name chain; NULL past the end or for index < 0. */
PAVORM_API ezxml_node *ezxml_idx(ezxml_node *node, int index);

/* Walks (name, int index) pairs ending in NULL, "" or (char *)-1, or a name with index -1. */
PAVORM_API ezxml_node *ezxml_get(ezxml_node *node, ...);

/* The instruction texts of target (NULL-terminated), or EZXML_EMPTY_LIST. */
PAVORM_API const char **ezxml_pi(ezxml_node *node, const char *target);

/* A short English text of why the document's parse stopped early, such as
 * "unclosed element <a>"; "" for a complete parse and for a NULL node. */
PAVORM_API const char *ezxml_error(ezxml_node *node);

/* Writes node and its subtree (a root with its instructions) as XML; release
 * with free(). NULL only when even the first 1024-byte block cannot be had. */
PAVORM_API char *ezxml_toxml(ezxml_node *node);

/* Releases node, its subtree and its document-order successors; for a root,
 * the document. NULL and records not made by the library are ignored. */
PAVORM_API void ezxml_free(ezxml_node *node);

#ifdef __cplusplus
}
#endif

#endif /* PAVORM_XML_EZXML_H */
