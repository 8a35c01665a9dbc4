/* Internal interface shared by the files of the XML library. */
#ifndef PAVORM_XML_EZXML_INTERNAL_H
#define PAVORM_XML_EZXML_INTERNAL_H

#include "ezxml.h"

#include <assert.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define EZXML_ALWAYS_INLINE static inline __attribute__((always_inline))
#define EZXML_NOINLINE __attribute__((noinline))
#else
#define EZXML_ALWAYS_INLINE static inline
#define EZXML_NOINLINE
#endif

/* Whether the n bytes at a and b are equal (names are short). */
EZXML_ALWAYS_INLINE int ezxml_bytes_equal(const char *a, const char *b, size_t n) {
    /* Short names first: most names in markup are short. */
    if (n < 4) {
        /* 0 to 3 bytes, without a loop. */
        if (n == 0) return 1;
        if (a[0] != b[0]) return 0;
        return n == 1 || (a[1] == b[1] && (n == 2 || a[2] == b[2]));
    }
    if (n < 8) {
        uint32_t x, y, u, v;
        memcpy(&x, a, 4);
        memcpy(&y, b, 4);
        memcpy(&u, a + n - 4, 4);
        memcpy(&v, b + n - 4, 4);
        return ((x ^ y) | (u ^ v)) == 0;
    }
    {
        /* Two words that overlap when n < 16, both within the n bytes. */
        uint64_t x, y, u, v;
        if (n > 16) return memcmp(a, b, n) == 0;
        memcpy(&x, a, 8);
        memcpy(&y, b, 8);
        memcpy(&u, a + n - 8, 8);
        memcpy(&v, b + n - 8, 8);
        return ((x ^ y) | (u ^ v)) == 0;
    }
}

/* Its address seeds the hashes: it changes with where the library is loaded
 * (address-space randomisation), so a document cannot be prepared whose
 * names all collide in a table and make every lookup a long probe. */
extern const char ezxml_hash_anchor;

/* A hash of the n bytes at p, read in words. */
EZXML_ALWAYS_INLINE size_t ezxml_bytes_hash(const char *p, size_t n) {
    const uint64_t m = 0x9E3779B97F4A7C15ull;
    uint64_t h = (n ^ (uint64_t)(uintptr_t)&ezxml_hash_anchor) * m, w = 0;
    if (n >= 8) {
        size_t i;
        for (i = 0; i + 8 < n; i += 8) {
            memcpy(&w, p + i, 8);
            h = (h ^ w) * m;
        }
        memcpy(&w, p + n - 8, 8);
    } else if (n >= 4) {
        uint32_t x, y;
        memcpy(&x, p, 4);
        memcpy(&y, p + n - 4, 4);
        w = (uint64_t)x << 32 | y;
    } else {
        while (n--) w = w << 8 | (unsigned char)*p++;
    }
    h = (h ^ w) * m;
    return (size_t)(h ^ (h >> 32));
}

/* Heap wrapper (alloc.c): every block of the library passes here (or, when
 * it is served without the heap, through ezxml_may_allocate). */
void *ezxml_malloc(size_t size);
/* The test hook's decision on an allocation the library serves without
 * the heap (it is counted as one): 0 when it is to fail. */
int ezxml_may_allocate(void);
/* Zeroed slots for an open-addressing hash table of entries entries: a
 * power of two, at least 16 and more than twice the entries, so a probe
 * always meets a free slot; *mask is the count - 1. NULL on overflow or
 * when out of memory. */
void *ezxml_hash_slots(size_t entries, size_t slot_size, size_t *mask);
void *ezxml_realloc(void *block, size_t size);
char *ezxml_strndup(const char *s, size_t n);
#define ezxml_release free

/* Node storage (nodes.c). Every node tells how far it lies behind the
 * start of the block it lives in (block_offset). Nodes made one at a time
 * are blocks of their own; a parse takes its nodes, with their attribute
 * lists, from larger blocks.
 * A block goes back to the heap when its last node is released, so a cut
 * subtree may be freed before or after the rest of its document; the
 * document's first block, which holds the document record, waits for the
 * document's other blocks.
 *
 * A document whose tree no library function has changed (nothing set,
 * linked, cut or released in it since the parse) is released block by
 * block, without a visit to each node: the parser lists the nodes that own
 * strings ("owners"), and every function that changes a tree marks the
 * document of the nodes it is given ("touched"). */
struct ezxml_block {
    size_t live;               /* nodes still living in the block */
    struct ezxml_block *head;  /* the document's first block (the block itself for that one) */
    struct ezxml_block *prev;  /* the document's other blocks, a list from head->next */
    struct ezxml_block *next;
    unsigned int open;         /* 1 while the pool still hands out its space */
    unsigned int touched;      /* head only: a function that changes trees was given one of its nodes */
    ezxml_node **owners;       /* head only: nodes of the parse that own strings or lists */
    size_t owner_count, owner_cap;
};
/* Gives a block whose last node is gone and whose pool is closed back. */
void ezxml_block_release(struct ezxml_block *b);
/* Records in a block are 8-byte aligned, as their pointers need. A node
 * finds its block through its block_offset, so a parsed element takes no
 * more than its record: 80 bytes on 64-bit targets. */
#define EZXML_NODE_SIZE ((sizeof(ezxml_node) + 7) & ~(size_t)7)
/* The longest attribute list that shares its node's block. */
#define EZXML_LIST_BESIDE_MAX 65536
typedef struct ezxml_pool {
    struct ezxml_block *block; /* the block records are taken from, or NULL */
    char *pos, *end;           /* its free space (both NULL without a block) */
    size_t next_size;          /* bytes of the next block */
} ezxml_pool;
/* The empty text every new node starts with (shared, never written). */
extern char ezxml_empty_text[1];
/* need bytes (a multiple of 8, at least a node) for a node of a pool that
 * has a block: its block_offset is set, nothing else. NULL when out of
 * memory (the pool is left as it was). */
ezxml_node *ezxml_pool_grow(ezxml_pool *pool, size_t need);
static inline ezxml_node *ezxml_pool_take(ezxml_pool *pool, size_t need) {
    ezxml_node *node;
    /* Records stay 8-byte aligned and inside their block. */
    assert(need >= EZXML_NODE_SIZE && need % 8 == 0);
    assert(pool->block && pool->pos <= pool->end);
    if ((size_t)(pool->end - pool->pos) < need) return ezxml_pool_grow(pool, need);
    node = (ezxml_node *)(void *)pool->pos;
    node->block_offset = (unsigned int)(pool->pos - (char *)pool->block);
    pool->pos += need;
    pool->block->live++;
    return node;
}
/* Adds node, which owns a string or a list, to the owners of the pool's
 * document; when that list cannot grow, the document is marked touched
 * instead (its release then visits every node). */
void ezxml_pool_note_owner(ezxml_pool *pool, ezxml_node *node);
/* The block a node of a parse lives in, or NULL (a node made on its own,
 * or a record the host made). */
EZXML_ALWAYS_INLINE struct ezxml_block *ezxml_block_of(const ezxml_node *n) {
    if (!(n->flags & EZXML_LIBRARY_RECORD) || !n->block_offset) return NULL;
    return (struct ezxml_block *)(void *)((char *)(uintptr_t)n - n->block_offset);
}
/* Marks the document of n, when it was parsed, as changed by the library:
 * its release visits every node. Called by every function that changes a
 * tree, before the change. */
EZXML_ALWAYS_INLINE void ezxml_touch(const ezxml_node *n) {
    struct ezxml_block *b = n ? ezxml_block_of(n) : NULL;
    if (b) b->head->touched = 1;
}
/* The first block of a parsed document when it can be released without
 * visiting its nodes (see above), else NULL. */
EZXML_ALWAYS_INLINE struct ezxml_block *ezxml_untouched_document(const ezxml_node *root) {
    struct ezxml_block *b = ezxml_block_of(root);
    return b && b->head == b && !b->touched && !b->open ? b : NULL;
}
/* Releases every block of an untouched document (its owners have released
 * their strings); the first one last. */
void ezxml_release_document_blocks(struct ezxml_block *head);
/* The document's own entity table, in its record's block until a DTD
 * declaration makes it grow onto the heap. */
char **ezxml_inline_entities(ezxml_root *root);
/* Fills a new record, leaving its block_offset as its allocation set it. */
void ezxml_init_node(ezxml_node *n, const char *name);
ezxml_node *ezxml_alloc_node(const char *name);
/* A document record; with a pool, the record starts the pool's first block. */
ezxml_root *ezxml_alloc_root(ezxml_pool *pool);
int ezxml_init_root(ezxml_root *root, const char *name);
/* Extra bytes in the block of owner, if they fit there; NULL otherwise. */
void *ezxml_pool_bytes_beside(ezxml_pool *pool, const ezxml_node *owner, size_t size);
/* Releases the record of a node: its own block, or its share of a pool block. */
static inline void ezxml_release_node(ezxml_node *n) {
    struct ezxml_block *b;
    if (!n->block_offset) {
        free(n);
        return;
    }
    b = (struct ezxml_block *)(void *)((char *)n - n->block_offset);
    /* A count that is already 0 means a record released twice. */
    assert(b->live > 0);
    if (--b->live == 0 && !b->open) ezxml_block_release(b);
}
void ezxml_pool_finish(ezxml_pool *pool);

/* An attribute list whose ownership string sits in the same block, right
 * behind the pointers: made by the parser inside a node block, never
 * reallocated or freed on its own. */
int ezxml_attrs_embedded(char **attrs);

/* Decoding mode codes. */
#define EZXML_MODE_TEXT '&'
#define EZXML_MODE_CDATA 'c'
#define EZXML_MODE_ATTR ' '
#define EZXML_MODE_TOKEN '*'
#define EZXML_MODE_ENTITY '%'

/* Predefined entity table: five name/value pairs, shared constants. */
extern char *const ezxml_predefined_entities[10];

/* Entity table entries indexed by name (entity_index.c), for the decoding of
 * one parse while its table does not change (reset it when it does). Starts
 * zeroed; reset releases it. */
typedef struct {
    const char *name;
    size_t len;
    size_t pos; /* the entry's pair index + 1; 0: free slot */
} ezxml_entity_slot;
typedef struct {
    ezxml_entity_slot *slots;
    size_t mask, longest;
    int state; /* 0 not built yet, 1 built, 2 scan for now, 3 scan for good */
} ezxml_entity_index;
void ezxml_entity_index_reset(ezxml_entity_index *ix);
/* The table (now of pairs pairs) grew by its last pair: keeps ix current. */
void ezxml_entity_index_appended(ezxml_entity_index *ix, char **table, size_t pairs);
/* The first entry of table whose name (ending in ";") begins text. */
char **ezxml_match_entity(char **table, const char *text);
char **ezxml_entity_index_match(ezxml_entity_index *ix, char **table, const char *text);
/* How one text is decoded, and what came of it. */
typedef struct {
    char **entities;           /* name/value pairs (names end in ";") references are looked up in */
    ezxml_entity_index *index; /* finds them in entities; NULL: scan the table */
    size_t *budget;            /* bytes entity expansion may still add, shared by the decodings of
                                * one parse; NULL: the budget of a parse of s alone */
    const char *end;           /* the NUL that ends s when the caller knows it, else NULL */
    const char *readable_end;  /* s lies in a buffer that may be read up to here (not
                                * including it), past its NUL; NULL: only up to the NUL */
    int predefined_first;      /* in/out: whether entities starts with the predefined pairs: 1 yes,
                                * -1 no, 0 not known yet (then looked at and set when needed) */
    size_t length;             /* out: bytes of the result */
    size_t capacity;           /* out: bytes of the block of a new heap result (more than length) */
    int failure;               /* out, when NULL is returned: EZXML_PARSE_OUT_OF_MEMORY or
                                * EZXML_PARSE_EXPANSION_LIMIT */
} ezxml_decode_options;
/* Decodes s in place for mode; returns s, or a new heap string when the text
 * grew. NULL when an allocation failed or an expansion went out of bounds
 * (opt->failure tells which); s is then unchanged in meaning. */
char *ezxml_decode(char *s, char mode, ezxml_decode_options *opt);

/* Entity expansion is bounded by its amplification of the input: a parse
 * of n input bytes may add up to EZXML_EXPANSION_FACTOR * n bytes by
 * expansion, and never less than EZXML_EXPANSION_THRESHOLD, below which
 * nothing is limited. Each expansion costs its value's bytes + 1. */
#define EZXML_EXPANSION_FACTOR 100u
#define EZXML_EXPANSION_THRESHOLD (8u << 20)
EZXML_ALWAYS_INLINE size_t ezxml_expansion_budget(size_t input_length) {
    const size_t threshold = (size_t)EZXML_EXPANSION_THRESHOLD;
    if (input_length > ((size_t)-1) / EZXML_EXPANSION_FACTOR) return (size_t)-1;
    return input_length * EZXML_EXPANSION_FACTOR > threshold ? input_length * EZXML_EXPANSION_FACTOR : threshold;
}

/* Writes the UTF-8 form of v (1 to 6 bytes) to out; returns the byte count. */
size_t ezxml_utf8_encode(uint32_t v, char *out);

/* Non-zero when value does not lead back to name through the table. */
int ezxml_entity_acyclic(const char *name, const char *value, char **entities);

/* Stores the instruction in start[0, length) (start[length] may be
 * overwritten); 0 when an allocation failed (what was read stays). */
int ezxml_record_pi(ezxml_root *root, char *start, size_t length);
/* Reads the internal DTD subset in start[0, length) (start[length] may be
 * overwritten), its expansion drawing on *budget (NULL: a budget of its own).
 * A problem in the subset is recorded in the parse status and ends the
 * subset only; the result is 0, or EZXML_PARSE_OUT_OF_MEMORY or
 * EZXML_PARSE_EXPANSION_LIMIT when the parse must stop (recorded too). */
int ezxml_read_dtd(ezxml_root *root, char *start, size_t length, size_t *budget);

/* Finds the default-attribute list of an element name, or NULL. */
char **ezxml_find_defaults(char ***defaults, const char *name);
/* The same for a name of len bytes, which need not end in a NUL. */
char **ezxml_find_defaults_of(char ***defaults, const char *name, size_t len);

/* Default-attribute lists indexed by element name (defaults_index.c), for
 * one operation over a document whose lists do not change meanwhile (reset
 * it when they do). Starts zeroed; reset releases it. */
typedef struct {
    const char *name;
    size_t len;
    char **list;    /* NULL: free slot */
    char tokenised; /* ezxml_defaults_tokenised() of list */
} ezxml_defaults_slot;
typedef struct {
    ezxml_defaults_slot *slots;
    size_t mask;
    int state; /* 0 not built yet, 1 built, 2 could not be built: search the lists */
    /* The last name looked up and whether its list declares tokens: runs
     * of elements of one name are the common case. The name must stay as
     * it is while the index is used, as the tree's names do. */
    const char *last_name;
    size_t last_len;
    int last_tokenised;
} ezxml_defaults_index;
void ezxml_defaults_index_reset(ezxml_defaults_index *ix);
/* ezxml_find_defaults(defaults, name) for a name of len bytes (which need
 * not be NUL-terminated). */
char **ezxml_defaults_lookup(ezxml_defaults_index *ix, char ***defaults, const char *name, size_t len);
/* Whether the list of the element name (len bytes) declares an attribute
 * of a type other than CDATA, whose values are read as tokens: only then
 * does a declaration change how a start tag is read. Answered in line when
 * name is the one looked up last. */
EZXML_ALWAYS_INLINE int ezxml_defaults_tokenised(ezxml_defaults_index *ix, char ***defaults, const char *name, size_t len) {
    if (!ix->last_name || ix->last_len != len || !ezxml_bytes_equal(ix->last_name, name, len))
        ezxml_defaults_lookup(ix, defaults, name, len);
    return ix->last_tokenised;
}

/* Whether any of the n markers of a list made by the parser has an
 * ownership bit. Such a list sits in its node's block, padded to 8 bytes,
 * so its markers can be read in whole words; bytes past the n markers are
 * masked off (by a byte mask, so the byte order does not matter). */
EZXML_ALWAYS_INLINE int ezxml_embedded_owns(const char *own, size_t n) {
    static const unsigned char keep[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint64_t owned_bits = 0x0101010101010101ull * (EZXML_ATTR_NAME_OWNED | EZXML_ATTR_VALUE_OWNED);
    size_t i;
    for (i = 0; i < n; i += 8) {
        uint64_t w, mask;
        memcpy(&w, own + i, 8);
        if (n - i < 8) {
            memcpy(&mask, keep + 8 - (n - i), 8);
            w &= mask;
        }
        if (w & owned_bits) return 1;
    }
    return 0;
}

/* Whether a list has anything to release: most lists the parser made sit
 * in their node's block (ownership string right behind the pointers) and
 * own none of their strings, which their markers, read in words, tell.
 * Never EZXML_EMPTY_LIST. */
EZXML_ALWAYS_INLINE int ezxml_attrs_own_strings(char **attrs) {
    const unsigned char owned = EZXML_ATTR_NAME_OWNED | EZXML_ATTR_VALUE_OWNED;
    size_t n;
    const char *own;
    if (!attrs) return 0;
    if (!attrs[0]) {
        n = 0;
    } else if (!attrs[2]) {
        /* One pair, the most common list, without the loops. */
        own = attrs[3];
        return own != (const char *)(attrs + 4) || ((unsigned char)own[0] & owned);
    } else {
        n = 2;
        while (attrs[2 * n]) ++n;
    }
    own = attrs[2 * n + 1];
    if (own != (const char *)(attrs + 2 * n + 2)) return 1;
    return n && ezxml_embedded_owns(own, n);
}

/* Releases an attribute list as ezxml_free does (never EZXML_EMPTY_LIST). */
void ezxml_free_attrs(char **attrs);

/* Number of attribute pairs of a list. */
size_t ezxml_attr_count(char **attrs);

/* Records why a parse stopped at offset unless a reason is recorded
 * already (status.c); the text is formatted as by printf and cut to fit. */
#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
void ezxml_note_stop(ezxml_root *root, int code, size_t offset, const char *format, ...);
/* Longest element name quoted in a stop text (the text has 128 bytes). */
#define EZXML_NOTE_NAME 64

/* ezxml_parse_str with every tag and text read by the general readers, not
 * by the quicker lanes for plain tags: the reference those lanes are
 * tested against (same tree, status and bytes written). */
ezxml_node *ezxml_parse_str_general(char *buf, size_t length);

/* Converts a UTF-16 input with a byte-order mark; NULL when there is no mark
 * (or the copy could not be made: *length is then set to 0). */
char *ezxml_utf16_to_utf8(char **buffer, size_t *length);

#ifdef __cplusplus
}
#endif

#endif /* PAVORM_XML_EZXML_INTERNAL_H */
