/* The in-place parser: one forward pass over the caller's buffer.
 *
 * Bounds: the last byte of the input is replaced by NUL, and the input is
 * taken to end at its first NUL byte, so every scan either compares against
 * `end` or stops at a NUL that lies inside the buffer. */
#include "ezxml_internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum {
    C_NAME_START = 0x01, /* letter, "_", ":", 0x80 and above */
    C_TAG_END = 0x02,    /* ends an element name: white space, "/", ">", NUL */
    C_ATTR_END = 0x04,   /* ends an attribute name: white space, "=", "/", ">", NUL */
    C_ETAG_END = 0x08,   /* ends an end-tag name: white space, ">", NUL */
    C_CSPACE = 0x10,     /* white space plus VT and FF */
    C_SPACE = 0x20,      /* tab, CR, LF, space */
    C_VALUE = 0x40,      /* needs decoding in an attribute value: "&", C white space, NUL */
    C_TEXT = 0x80        /* ends plain character content: "<", "&", CR, NUL */
};

#define WS (C_TAG_END | C_ATTR_END | C_ETAG_END | C_CSPACE | C_SPACE | C_VALUE)
#define VT (C_CSPACE | C_VALUE)
#define L8(x) x, x, x, x, x, x, x, x
#define L16(x) L8(x), L8(x)
#define L32(x) L16(x), L16(x)
#define L64(x) L32(x), L32(x)
#define N C_NAME_START
const unsigned char ezxml_byte_class[256] = {
    /* 0x00 */ C_TAG_END | C_ATTR_END | C_ETAG_END | C_VALUE | C_TEXT, 0, 0, 0, 0, 0, 0, 0, 0, WS, WS, VT, VT,
    WS | C_TEXT, 0, 0,
    /* 0x10 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    /* 0x20 */ WS & ~C_VALUE, 0, 0, 0, 0, 0, C_VALUE | C_TEXT, 0, 0, 0, 0, 0, 0, 0, 0, C_TAG_END | C_ATTR_END,
    /* 0x30 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, N, 0, C_TEXT, C_ATTR_END, C_TAG_END | C_ATTR_END | C_ETAG_END, 0,
    /* 0x40 */ 0, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,
    /* 0x50 */ N, N, N, N, N, N, N, N, N, N, N, 0, 0, 0, 0, N,
    /* 0x60 */ 0, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,
    /* 0x70 */ N, N, N, N, N, N, N, N, N, N, N, 0, 0, 0, 0, 0,
    /* 0x80 */ L64(N), L64(N)};
#undef N

#define CLASS(c) ezxml_byte_class[(unsigned char)(c)]

/* Bytes that end the plain part of an attribute value: C_VALUE bytes and
 * the closing quote, double (1) or single (2). */
#define QD 1
#define QS 2
#define QB (QD | QS)
static const unsigned char value_end[256] = {
    [0] = QB, ['&'] = QB, ['\t'] = QB, ['\n'] = QB, [0x0B] = QB, [0x0C] = QB, ['\r'] = QB,
    ['"'] = QD, ['\''] = QS,
};
#undef QB

/* The first byte at or behind p with a bit of mask in value_end (NUL has both). */
static char *scan_value(char *p, unsigned char mask) {
    for (;; p += 4) {
        if (value_end[(unsigned char)p[0]] & mask) return p;
        if (value_end[(unsigned char)p[1]] & mask) return p + 1;
        if (value_end[(unsigned char)p[2]] & mask) return p + 2;
        if (value_end[(unsigned char)p[3]] & mask) return p + 3;
    }
}

/* The first byte at or behind p whose class has a bit of mask; NUL must be
 * in the mask so that the scan stops inside the buffer. */
static char *scan(char *p, unsigned char mask) {
    for (;; p += 4) {
        if (CLASS(p[0]) & mask) return p;
        if (CLASS(p[1]) & mask) return p + 1;
        if (CLASS(p[2]) & mask) return p + 2;
        if (CLASS(p[3]) & mask) return p + 3;
    }
}

/* What a wide scan looks for. */
enum { RUN_TEXT, RUN_NAME, RUN_VALUE_DQ, RUN_VALUE_SQ };

/* The rest of a run's scan from p on (see scan_run): 16 bytes at a time
 * while the buffer is readable up to readable_end (one past its last byte).
 * A wide test picks candidates (for names every byte up to a space, "/" and
 * ">"; for values every byte up to CR, "&" and the quote) and the byte
 * tests settle the first one exactly, so the result is the byte scan's. */
EZXML_ALWAYS_INLINE char *scan_wide_as(char *p, int run, const char *readable_end) {
#if defined(__SSE2__)
    while (readable_end - p >= 16) {
        const __m128i v = _mm_loadu_si128((const __m128i *)(const void *)p);
        __m128i hit;
        unsigned bits;
        if (run == RUN_TEXT) {
            hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), _mm_cmpeq_epi8(v, _mm_set1_epi8('&'))),
                               _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_setzero_si128())));
        } else if (run == RUN_NAME) {
            const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(' ')), v);
            hit = _mm_or_si128(low, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), _mm_cmpeq_epi8(v, _mm_set1_epi8('>'))));
        } else {
            const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8('\r')), v);
            hit = _mm_or_si128(low, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')),
                                                 _mm_cmpeq_epi8(v, _mm_set1_epi8(run == RUN_VALUE_DQ ? '"' : '\''))));
        }
        bits = (unsigned)_mm_movemask_epi8(hit);
        if (bits) {
            p += __builtin_ctz(bits);
            break;
        }
        p += 16;
    }
#else
    (void)readable_end;
#endif
    switch (run) {
    case RUN_TEXT: return scan(p, C_TEXT);
    case RUN_NAME: return scan(p, C_TAG_END);
    case RUN_VALUE_DQ: return scan_value(p, QD);
    default: return scan_value(p, QS);
    }
}

/* scan_wide_as() for each run, out of line (called once per long run) and
 * without tests of run in the loop. */
static EZXML_NOINLINE char *scan_wide_text(char *p, const char *readable_end) {
    return scan_wide_as(p, RUN_TEXT, readable_end);
}
static EZXML_NOINLINE char *scan_wide_name(char *p, const char *readable_end) {
    return scan_wide_as(p, RUN_NAME, readable_end);
}
static EZXML_NOINLINE char *scan_wide_dq(char *p, const char *readable_end) {
    return scan_wide_as(p, RUN_VALUE_DQ, readable_end);
}
static EZXML_NOINLINE char *scan_wide_sq(char *p, const char *readable_end) {
    return scan_wide_as(p, RUN_VALUE_SQ, readable_end);
}

EZXML_ALWAYS_INLINE char *scan_wide(char *p, int run, const char *readable_end) {
    switch (run) {
    case RUN_TEXT: return scan_wide_text(p, readable_end);
    case RUN_NAME: return scan_wide_name(p, readable_end);
    case RUN_VALUE_DQ: return scan_wide_dq(p, readable_end);
    default: return scan_wide_sq(p, readable_end);
    }
}

/* scan_value(p, quote), quote QD or QS, for a value of a plain tag: its
 * first bytes one by one, then scan_wide(). Not inlined: the fast lane's
 * code stays small. */
static char *scan_value_run(char *p, unsigned char quote, const char *readable_end) {
    if (value_end[(unsigned char)p[0]] & quote) return p;
    if (value_end[(unsigned char)p[1]] & quote) return p + 1;
    if (value_end[(unsigned char)p[2]] & quote) return p + 2;
    if (value_end[(unsigned char)p[3]] & quote) return p + 3;
    if (value_end[(unsigned char)p[4]] & quote) return p + 4;
    if (value_end[(unsigned char)p[5]] & quote) return p + 5;
    if (value_end[(unsigned char)p[6]] & quote) return p + 6;
    if (value_end[(unsigned char)p[7]] & quote) return p + 7;
    return scan_wide(p + 8, quote == QD ? RUN_VALUE_DQ : RUN_VALUE_SQ, readable_end);
}

/* scan(p, C_TEXT) or scan(p, C_TAG_END), run saying which: the first bytes
 * one by one, as most texts and names end there, then scan_wide(). */
EZXML_ALWAYS_INLINE char *scan_run(char *p, int run, const char *readable_end) {
    const unsigned char mask = run == RUN_TEXT ? C_TEXT : C_TAG_END;
    assert(run == RUN_TEXT || run == RUN_NAME);
    if (CLASS(p[0]) & mask) return p;
    if (CLASS(p[1]) & mask) return p + 1;
    if (CLASS(p[2]) & mask) return p + 2;
    if (CLASS(p[3]) & mask) return p + 3;
    if (CLASS(p[4]) & mask) return p + 4;
    if (CLASS(p[5]) & mask) return p + 5;
    if (CLASS(p[6]) & mask) return p + 6;
    if (CLASS(p[7]) & mask) return p + 7;
    return scan_wide(p + 8, run, readable_end);
}

/* One open element. */
typedef struct {
    ezxml_node *node;
    size_t name_len;      /* bytes of node->name */
    size_t text_len;      /* bytes of node->text */
    size_t text_cap;      /* capacity of an own text */
    ezxml_node *last;     /* last child in document order */
    size_t last_len;      /* bytes of its name */
    unsigned char last_first; /* its name's first byte (read without going through last) */
    ezxml_node *sib_tail; /* last member of the sibling chain */
    size_t names_base;    /* its name table: slots from here in parser.names */
    size_t names_top;     /* the first slot above it; names_base while every child has
                           * the first child's name (there is no table then, and the
                           * fields below are not read) */
    size_t names_used;    /* entries */
    size_t names_size;    /* 0: a list of names_used slots; else a hash table of that many */
    uint64_t names_seen;  /* of a list: the name_bit() of each name in it */
} level;

/* The name table of an open element whose children change names: for each
 * distinct child name, an element of that name, the last one or a little
 * before it (the chain is walked on from there), so that linking a child
 * costs O(1) however many siblings there are. Up to NAMES_LIST names are a
 * list searched in order; more make a hash table at most half full.
 *
 * The tables of the open elements lie one above the other in parser.names,
 * the innermost on top. Only the innermost element gains children, so only
 * the top table grows, and closing an element gives its table back: the
 * space held is that of the open elements' tables, not of the document. */
typedef struct {
    ezxml_node *last; /* NULL: a free slot of a hash table */
    size_t len;       /* bytes of the name */
    size_t hash;      /* of the name, in a hash table */
} name_slot;
#define NAMES_LIST 8
#define NAMES_HASH_MIN 32

typedef struct {
    /* Fields up to root start out zero. */
    char *end;   /* the first NUL: end of input */
    size_t budget; /* bytes entity expansion may still add */
    size_t depth;
    size_t npairs;
    char saved;  /* the input's original last byte */
    int predefined_first; /* of root->entities, for the decoder: 0 not known yet */
    ezxml_defaults_index defaults; /* over root->attr_defaults */
    ezxml_entity_index entity_index; /* over root->entities */
    /* Set by parse_document. */
    ezxml_root *root;
    int general;  /* 1: every tag and text goes to the general readers */
    level *levels;
    size_t levels_cap;
    ezxml_pool pool;
    char **pairs; /* attributes of the start tag being read */
    char *marks;
    size_t pairs_cap;
    name_slot *names; /* the name tables of the open elements */
    size_t names_cap;
    /* Inline storage, not cleared at the start of a parse. */
    level inline_levels[16];
    char *inline_pairs[32];
    char inline_marks[16];
    name_slot inline_names[64];
} parser;

/* --- linking children ---------------------------------------------------- */

/* Makes parser.names hold at least need slots; 0 when out of memory. */
static int names_room(parser *ps, size_t need) {
    size_t cap = ps->names_cap * 2;
    name_slot *grown;
    if (need <= ps->names_cap) return 1;
    if (cap < need) cap = need;
    if (cap > ((size_t)-1) / sizeof(name_slot)) return 0;
    if (ps->names == ps->inline_names) {
        grown = (name_slot *)ezxml_malloc(cap * sizeof(name_slot));
        if (grown) memcpy(grown, ps->names, ps->names_cap * sizeof(name_slot));
    } else {
        grown = (name_slot *)ezxml_realloc(ps->names, cap * sizeof(name_slot));
    }
    if (!grown) return 0;
    ps->names = grown;
    ps->names_cap = cap;
    return 1;
}

static name_slot *hash_probe(name_slot *table, size_t size, const char *name, size_t len, size_t h) {
    const size_t mask = size - 1;
    size_t i;
    for (i = (h ^ (h >> 31)) & mask;; i = (i + 1) & mask) {
        name_slot *s = &table[i];
        if (!s->last || (s->hash == h && s->len == len && ezxml_bytes_equal(s->last->name, name, len))) return s;
    }
}

/* Fills a zeroed hash table of size slots with the n entries at from. */
static void hash_fill(name_slot *table, size_t size, const name_slot *from, size_t n, int hashed) {
    size_t i;
    for (i = 0; i < n; ++i) {
        name_slot e = from[i];
        if (!e.last) continue;
        if (!hashed) e.hash = ezxml_bytes_hash(e.last->name, e.len);
        *hash_probe(table, size, e.last->name, e.len, e.hash) = e;
    }
}

/* Makes room in the name table of lv (the innermost open element) for the
 * entries one more child can add, so that linking it cannot fail. */
static int names_grow(parser *ps, level *lv) {
    const size_t base = lv->names_base, used = lv->names_used, size = lv->names_size;
    name_slot *t;
    if (!size) {
        name_slot list[NAMES_LIST];
        /* A list of fewer than NAMES_LIST names only needs the slot of the next one. */
        if (used < NAMES_LIST) return names_room(ps, base + used + 2);
        if (!names_room(ps, base + NAMES_HASH_MIN)) return 0;
        t = ps->names + base;
        memcpy(list, t, sizeof list);
        memset(t, 0, NAMES_HASH_MIN * sizeof *t);
        hash_fill(t, NAMES_HASH_MIN, list, NAMES_LIST, 0);
        lv->names_size = NAMES_HASH_MIN;
        lv->names_top = base + NAMES_HASH_MIN;
        return 1;
    }
    if ((used + 1) * 2 <= size) return 1;
    /* Twice the size; the old table is copied above the new one first. */
    if (size > ((size_t)-1 - base) / 3 || !names_room(ps, base + 3 * size)) return 0;
    t = ps->names + base;
    memcpy(t + 2 * size, t, size * sizeof *t);
    memset(t, 0, 2 * size * sizeof *t);
    hash_fill(t, 2 * size, t + 2 * size, size, 1);
    lv->names_size = 2 * size;
    lv->names_top = base + 2 * size;
    return 1;
}

/* names_grow when the table of lv is full; without a table, room for the
 * first two names. */
EZXML_ALWAYS_INLINE int names_reserve(parser *ps, level *lv) {
    if (lv->names_top == lv->names_base) return lv->names_base + 2 <= ps->names_cap || names_room(ps, lv->names_base + 2);
    if (lv->names_size ? (lv->names_used + 1) * 2 <= lv->names_size
                       : lv->names_used < NAMES_LIST && lv->names_top + 2 <= ps->names_cap)
        return 1;
    return names_grow(ps, lv);
}

/* A bit for a name (its first byte) in a 64-bit filter of the names of a list: a child whose
 * bit is not set in it bears a new name, and the list is not searched (in
 * documents of short names that change with every child, most are new). */
EZXML_ALWAYS_INLINE uint64_t name_bit(const char *name) {
    return (uint64_t)1 << ((unsigned char)name[0] & 63);
}

/* The entry of name in the table of lv, or the free slot where it goes
 * (its last NULL, its hash set). In a list, hash holds the first byte. */
EZXML_ALWAYS_INLINE name_slot *names_find(parser *ps, level *lv, const char *name, size_t len) {
    name_slot *t = ps->names + lv->names_base;
    size_t i, h;
    if (lv->names_size) {
        h = ezxml_bytes_hash(name, len);
        t = hash_probe(t, lv->names_size, name, len, h);
        t->hash = h;
        return t;
    }
    h = (unsigned char)name[0];
    if (lv->names_seen & name_bit(name)) {
        for (i = 0; i < lv->names_used; ++i)
            if (t[i].hash == h && t[i].len == len && ezxml_bytes_equal(t[i].last->name, name, len)) return &t[i];
    } else {
        /* The caller enters the name. */
        i = lv->names_used;
        lv->names_seen |= name_bit(name);
    }
    t[i].last = NULL;
    t[i].hash = h;
    return &t[i];
}

/* Whether a child named name (len bytes) under lv follows a child of
 * another name, so that linking it needs the name table. */
EZXML_ALWAYS_INLINE int name_changes(const level *lv, const char *name, size_t len) {
    return lv->last && !(lv->last_len == len && lv->last_first == (unsigned char)name[0] &&
                         (len == 1 || ezxml_bytes_equal(lv->last->name + 1, name + 1, len - 1)));
}

/* Links node (its name len bytes) as the last child of the element of
 * level lv; changed is name_changes() (the name table then has room). The
 * result is that of ezxml_insert at an offset no smaller than any child's. */
EZXML_ALWAYS_INLINE void link_child(parser *ps, level *lv, ezxml_node *node, size_t len, int changed) {
    ezxml_node *parent = lv->node, *prev = lv->last, *x;
    name_slot *slot;
    node->parent = parent;
    node->offset = lv->text_len;
    if (!prev) {
        parent->child = node;
        lv->sib_tail = node;
    } else if (!changed) {
        prev->ordered = node;
        prev->next = node;
    } else {
        prev->ordered = node;
        if (lv->names_top == lv->names_base) {
            /* The children so far all bear the first child's name, so this
             * second name is new: the list gets both (names_reserve made
             * room for two). */
            slot = ps->names + lv->names_base;
            slot[0].last = prev;
            slot[0].len = lv->last_len;
            slot[0].hash = (unsigned char)prev->name[0];
            slot[1].last = node;
            slot[1].len = len;
            slot[1].hash = (unsigned char)node->name[0];
            lv->names_used = 2;
            lv->names_size = 0;
            lv->names_top = lv->names_base + 2;
            lv->names_seen = name_bit(prev->name) | name_bit(node->name);
            lv->sib_tail->sibling = node;
            lv->sib_tail = node;
            lv->last = node;
            lv->last_len = len;
            lv->last_first = (unsigned char)node->name[0];
            return;
        }
        slot = names_find(ps, lv, node->name, len);
        if ((x = slot->last) != NULL) {
            while (x->next) x = x->next;
            x->next = node;
        } else {
            slot->len = len;
            ++lv->names_used;
            /* A list grows by its new entry; a hash table keeps its size. */
            if (!lv->names_size) ++lv->names_top;
            lv->sib_tail->sibling = node;
            lv->sib_tail = node;
        }
        slot->last = node;
    }
    lv->last = node;
    lv->last_len = len;
    lv->last_first = (unsigned char)node->name[0];
}

/* --- elements and text --------------------------------------------------- */

/* Makes room for one more open element. */
static int reserve_level(parser *ps) {
    size_t cap;
    level *grown;
    if (ps->depth < ps->levels_cap) return 1;
    cap = ps->levels_cap * 2;
    if (cap > ((size_t)-1) / sizeof(level)) return 0;
    if (ps->levels == ps->inline_levels) {
        grown = (level *)ezxml_malloc(cap * sizeof(level));
        if (grown) memcpy(grown, ps->levels, ps->depth * sizeof(level));
    } else {
        grown = (level *)ezxml_realloc(ps->levels, cap * sizeof(level));
    }
    if (!grown) return 0;
    ps->levels = grown;
    ps->levels_cap = cap;
    return 1;
}

EZXML_ALWAYS_INLINE void push_level(parser *ps, ezxml_node *node, size_t name_len) {
    level *lv = &ps->levels[ps->depth++];
    lv->node = node;
    lv->name_len = name_len;
    lv->text_len = 0;
    lv->text_cap = 0; /* read only once the text is an own one, which sets it */
    lv->last = lv->sib_tail = NULL;
    lv->names_base = lv->names_top = ps->depth > 1 ? lv[-1].names_top : 0;
}

/* Releases the pairs of a start tag that will not become an element. */
static void drop_pairs(parser *ps) {
    size_t i;
    for (i = 0; i < ps->npairs; ++i)
        if ((unsigned char)ps->marks[i] & EZXML_ATTR_VALUE_OWNED) free(ps->pairs[2 * i + 1]);
    ps->npairs = 0;
}

/* Lays out the gathered pairs as an attribute list in mem, with the
 * ownership string right behind the pointers. */
static char **fill_attrs(parser *ps, void *mem) {
    const size_t n = ps->npairs;
    char **attrs = (char **)mem, *own = (char *)(attrs + 2 * n + 2);
    char *const *pairs = ps->pairs;
    const char *marks = ps->marks;
    size_t i;
    if (n <= 4)
        for (i = 0; i < 2 * n; ++i) attrs[i] = pairs[i];
    else
        memcpy(attrs, pairs, 2 * n * sizeof(char *));
    /* Markers in words: the marker buffer holds a multiple of 16 bytes, and
     * the list's room behind the pointers is padded to 8 bytes past the NUL. */
    for (i = 0; i < n; i += 8) memcpy(own + i, marks + i, 8);
    attrs[2 * n] = NULL;
    attrs[2 * n + 1] = own;
    own[n] = '\0';
    return attrs;
}


/* The gathered pairs as a list in heap blocks of its own (array and
 * ownership string), as ezxml_free_attrs releases them; NULL when out of
 * memory. */
static char **heap_attrs(parser *ps) {
    const size_t n = ps->npairs;
    char *own = (char *)ezxml_malloc(n + 1);
    char **attrs = own ? (char **)ezxml_malloc((2 * n + 2) * sizeof(char *)) : NULL;
    if (!attrs) {
        free(own);
        return NULL;
    }
    memcpy(attrs, ps->pairs, 2 * n * sizeof(char *));
    memcpy(own, ps->marks, n);
    own[n] = '\0';
    attrs[2 * n] = NULL;
    attrs[2 * n + 1] = own;
    return attrs;
}

/* Makes the element of the start tag just read (its name name_len bytes),
 * with the attributes gathered in ps->pairs; 0 when out of memory (the
 * pairs are dropped). */
static int begin_element(parser *ps, char *name, size_t name_len) {
    ezxml_root *root = ps->root;
    ezxml_node *cur = root->current, *node;
    char **attrs = (char **)EZXML_EMPTY_LIST;
    const size_t n = ps->npairs;
    const size_t list_size = n ? (2 * n + 2) * sizeof(char *) + n + 1 : 0;
    void *mem = NULL;

    /* Everything that can fail comes before the tree changes. */
    if (ps->depth == ps->levels_cap && !reserve_level(ps)) goto fail;
    if (!cur->name) {
        /* The root element: the document record itself takes the name; its
         * list goes beside it when there is room, else to the heap. */
        if (n) {
            mem = ezxml_pool_bytes_beside(&ps->pool, cur, list_size);
            attrs = mem ? fill_attrs(ps, mem) : heap_attrs(ps);
            if (!attrs) goto fail;
        }
        cur->name = name;
        node = cur;
    } else {
        level *lv = &ps->levels[ps->depth - 1];
        const int changed = name_changes(lv, name, name_len);
        /* A list too long for a node block gets its own heap blocks. */
        const int beside = list_size <= EZXML_LIST_BESIDE_MAX;
        if (changed && !names_reserve(ps, lv)) goto fail;
        if (n && !beside && !(attrs = heap_attrs(ps))) goto fail;
        node = ezxml_pool_take(&ps->pool, EZXML_NODE_SIZE + (beside ? (list_size + 7) & ~(size_t)7 : 0));
        if (!node) {
            if (!beside && n) {
                /* The values stay the pairs' own: drop_pairs releases them. */
                free(attrs[2 * n + 1]);
                free(attrs);
            }
            goto fail;
        }
        node->name = name;
        node->text = ezxml_empty_text;
        node->next = node->sibling = node->ordered = node->child = NULL;
        node->flags = EZXML_LIBRARY_RECORD;
        if (n && beside) attrs = fill_attrs(ps, (char *)node + EZXML_NODE_SIZE);
        link_child(ps, lv, node, name_len, changed);
        if (n && (!beside || ezxml_embedded_owns(ps->marks, n))) ezxml_pool_note_owner(&ps->pool, node);
    }
    push_level(ps, node, name_len);
    node->attrs = attrs;
    ps->npairs = 0;
    root->current = node;
    return 1;

fail:
    drop_pairs(ps);
    return 0;
}

/* A start tag without attributes, "<name>" or "<name/>", at m (the byte
 * behind "<"), its name ending at q (">", or "/" with ">" behind it), under
 * an open element: the element is made and linked as begin_element would,
 * an empty one without becoming current. The closing byte, or NULL when out
 * of memory. */
static char *plain_start_tag(parser *ps, char *m, char *q) {
    const size_t len = (size_t)(q - m);
    const int empty = *q == '/';
    level *lv;
    ezxml_node *node;
    int changed;
    if (!empty && ps->depth == ps->levels_cap && !reserve_level(ps)) return NULL;
    lv = &ps->levels[ps->depth - 1];
    changed = name_changes(lv, m, len);
    if (changed && !names_reserve(ps, lv)) return NULL;
    node = ezxml_pool_take(&ps->pool, EZXML_NODE_SIZE);
    if (!node) return NULL;
    node->name = m;
    node->attrs = (char **)EZXML_EMPTY_LIST;
    node->text = ezxml_empty_text;
    node->next = node->sibling = node->ordered = node->child = NULL;
    node->flags = EZXML_LIBRARY_RECORD;
    link_child(ps, lv, node, len, changed);
    *q = '\0';
    if (empty) return q + 1;
    push_level(ps, node, len);
    ps->root->current = node;
    return q;
}

/* Closes the current element (an open one, top of the level stack). */
static void end_element(parser *ps) {
    --ps->depth;
    ps->root->current = ps->root->current->parent;
}

/* The current element has just come to own its text: it joins the owners
 * (once more, if its list made it one; the release takes a node's strings
 * once). The document record is released on its own. */
static void note_text_owner(parser *ps) {
    if (ps->depth > 1) ezxml_pool_note_owner(&ps->pool, ps->root->current);
}

/* Decodes s for mode with the parse's tables and budget; *len receives the
 * result's length, *cap the size of its block when it is a new heap string.
 * NULL when decoding failed (the parse is then stopped at s). */
static char *decode(parser *ps, char *s, char *s_end, char mode, size_t *len, size_t *cap) {
    ezxml_decode_options opt;
    char *d;
    opt.entities = ps->root->entities;
    opt.index = &ps->entity_index;
    opt.budget = &ps->budget;
    /* The table's first pairs do not change while the content is read:
     * declarations go behind them. */
    opt.predefined_first = ps->predefined_first;
    opt.end = s_end;
    opt.readable_end = ps->end + 1; /* ps->end is the NUL in the buffer's last byte or before it */
    d = ezxml_decode(s, mode, &opt);
    ps->predefined_first = opt.predefined_first;
    if (!d) {
        if (opt.failure == EZXML_PARSE_EXPANSION_LIMIT)
            ezxml_note_stop(ps->root, EZXML_PARSE_EXPANSION_LIMIT, (size_t)(s - ps->root->work_start),
                            "entity expansion over its limit");
        else
            ezxml_note_stop(ps->root, EZXML_PARSE_OUT_OF_MEMORY, (size_t)(s - ps->root->work_start), "out of memory");
        return NULL;
    }
    *len = opt.length;
    *cap = opt.capacity;
    return d;
}

/* Appends start[0, length) to the current element's text; 0 when out of
 * memory or when decoding failed (the reason is recorded). */
static int append_text(parser *ps, char *start, size_t length, char mode, int plain) {
    ezxml_node *cur = ps->root->current;
    level *lv;
    char *d;
    size_t dlen, dcap = 0;
    if (!cur || !cur->name || !length) return 1;
    lv = &ps->levels[ps->depth - 1];
    start[length] = '\0';
    if (plain) {
        d = start;
        dlen = length;
    } else {
        d = decode(ps, start, start + length, mode, &dlen, &dcap);
        if (!d) return 0;
    }

    if (!cur->text[0]) {
        if (cur->flags & EZXML_TEXT_OWNED) free(cur->text);
        cur->text = d;
        lv->text_len = dlen;
        if (d != start) {
            /* The decoder's block has room to spare (the text shrank as
             * it was decoded): a CDATA section behind it often fits. */
            if (!(cur->flags & EZXML_TEXT_OWNED)) note_text_owner(ps);
            cur->flags |= EZXML_TEXT_OWNED;
            lv->text_cap = dcap;
        } else {
            cur->flags &= (short)~EZXML_TEXT_OWNED;
            lv->text_cap = 0;
        }
        return 1;
    }
    if (dlen) {
        const size_t need = lv->text_len + dlen + 1;
        if (need < dlen) goto fail;
        if (cur->flags & EZXML_TEXT_OWNED) {
            if (need > lv->text_cap) {
                size_t cap = lv->text_cap * 2 > need ? lv->text_cap * 2 : need;
                char *grown = (char *)ezxml_realloc(cur->text, cap);
                if (!grown) goto fail;
                cur->text = grown;
                lv->text_cap = cap;
            }
        } else {
            size_t cap = need < 64 ? 64 : need + need / 2;
            char *joined = (char *)ezxml_malloc(cap);
            if (!joined) goto fail;
            memcpy(joined, cur->text, lv->text_len);
            cur->text = joined;
            note_text_owner(ps);
            cur->flags |= EZXML_TEXT_OWNED;
            lv->text_cap = cap;
        }
        memcpy(cur->text + lv->text_len, d, dlen);
        lv->text_len += dlen;
        cur->text[lv->text_len] = '\0';
    }
    if (d != start) free(d);
    return 1;
fail:
    if (d != start) free(d);
    return 0;
}

/* --- markup -------------------------------------------------------------- */

/* Byte offset of p in the work text, for the parse status. */
static size_t offset_of(const parser *ps, const char *p) { return (size_t)(p - ps->root->work_start); }

/* How many bytes of a name of len bytes a stop text quotes. */
static int shown(size_t len) { return len > EZXML_NOTE_NAME ? EZXML_NOTE_NAME : (int)len; }

/* Records that the parse stops at p because it ran out of memory; NULL. */
static char *out_of_memory(parser *ps, const char *p) {
    ezxml_note_stop(ps->root, EZXML_PARSE_OUT_OF_MEMORY, offset_of(ps, p), "out of memory");
    return NULL;
}

/* Records that the input ended inside a construct opened at p; NULL. */
static char *unterminated(parser *ps, const char *p, const char *what) {
    ezxml_note_stop(ps->root, EZXML_PARSE_UNTERMINATED, offset_of(ps, p), "input ends inside %s", what);
    return NULL;
}

/* Records unreadable markup at p; NULL. */
static char *malformed(parser *ps, const char *p, const char *what) {
    ezxml_note_stop(ps->root, EZXML_PARSE_MALFORMED, offset_of(ps, p), "%s", what);
    return NULL;
}

/* At end of input: counts as a closing ">" only if the saved byte was one. */
static int closes(const parser *ps, const char *p) { return *p == '>' || (p == ps->end && ps->saved == '>'); }

/* Makes room for one more attribute pair of the start tag; 0 when out of memory. */
static int reserve_pair(parser *ps) {
    size_t cap = ps->pairs_cap * 2;
    char **pairs;
    char *marks;
    if (ps->npairs < ps->pairs_cap) return 1;
    if (cap > ((size_t)-1) / (2 * sizeof(char *))) return 0;
    pairs = (char **)ezxml_malloc(2 * cap * sizeof(char *));
    marks = pairs ? (char *)ezxml_malloc(cap) : NULL;
    if (!marks) {
        free(pairs);
        return 0;
    }
    memcpy(pairs, ps->pairs, 2 * ps->npairs * sizeof(char *));
    memcpy(marks, ps->marks, ps->npairs);
    if (ps->pairs != ps->inline_pairs) {
        free(ps->pairs);
        free(ps->marks);
    }
    ps->pairs = pairs;
    ps->marks = marks;
    ps->pairs_cap = cap;
    return 1;
}

/* The decoding mode of attribute name: its declared type, else attribute mode. */
static char attribute_mode(char **defaults, const char *name) {
    size_t i;
    if (defaults)
        for (i = 1; defaults[i]; i += 3)
            if (defaults[i][0] == name[0] && strcmp(defaults[i], name) == 0) return defaults[i + 2][0];
    return EZXML_MODE_ATTR;
}

/* The quoted value at q (on its quote) of the pair added last: stores it
 * decoded. Returns the byte behind the closing quote, or NULL to stop. */
static char *attribute_value(parser *ps, char *q, char **defaults) {
    const char quote = *q;
    const char mode = attribute_mode(defaults, ps->pairs[2 * ps->npairs - 2]);
    char *value = q + 1, *close, *d;
    /* Plain values (no reference, no white space to normalise) are final as
     * they stand. */
    close = scan_value(value, quote == '"' ? QD : QS);
    if (*close != quote || mode != EZXML_MODE_ATTR) {
        size_t dlen, dcap;
        close = (char *)memchr(close, quote, (size_t)(ps->end - close));
        if (!close) return unterminated(ps, q, "an attribute value");
        *close = '\0';
        d = decode(ps, value, close, mode, &dlen, &dcap);
        if (!d) return NULL;
    } else {
        *close = '\0';
        d = value;
    }
    ps->pairs[2 * ps->npairs - 1] = d;
    if (d != value) ps->marks[ps->npairs - 1] = (char)EZXML_ATTR_VALUE_OWNED;
    return close + 1;
}

/* Reads the attributes from p into ps->pairs, up to the end of the tag:
 * returns that byte ("/", ">" or the end of the input), or NULL to stop. */
static char *read_attributes(parser *ps, char *p, char **defaults, const char *tag) {
    while (*p && *p != '/' && *p != '>') {
        char *q;
        if (!reserve_pair(ps)) return out_of_memory(ps, tag);
        ps->pairs[2 * ps->npairs] = p;
        ps->pairs[2 * ps->npairs + 1] = (char *)"";
        ps->marks[ps->npairs] = (char)EZXML_ATTR_NOT_OWNED;
        ++ps->npairs;

        q = scan(p, C_ATTR_END);
        p = q;
        if (*q == '=' || (CLASS(*q) & C_CSPACE)) {
            *q++ = '\0';
            while ((CLASS(*q) & C_SPACE) || *q == '=') ++q;
            /* Without a quoted value a bare word is the next name. */
            p = *q == '"' || *q == '\'' ? attribute_value(ps, q, defaults) : q;
            if (!p) return NULL;
        }
        while (CLASS(*p) & C_CSPACE) ++p;
    }
    return p;
}

/* Start tag at m (the byte behind "<"), its name ending at name_end. Returns
 * the closing byte, or NULL to stop. */
static char *start_tag(parser *ps, char *m, char *name_end) {
    char *name = m, *p = name_end, **defaults = NULL;
    size_t name_len;
    name_len = (size_t)(p - name);
    if (!ps->root->current) {
        ezxml_note_stop(ps->root, EZXML_PARSE_MALFORMED, offset_of(ps, m - 1), "element <%.*s> behind the root element",
                        shown(name_len), name);
        return NULL;
    }
    while (CLASS(*p) & C_CSPACE) *p++ = '\0';
    if (*p && *p != '/' && *p != '>') {
        if (*ps->root->attr_defaults)
            defaults = ezxml_defaults_lookup(&ps->defaults, ps->root->attr_defaults, name, name_len);
        p = read_attributes(ps, p, defaults, m - 1);
        if (!p) goto drop;
    }

    if (*p == '/') {
        *p = '\0';
        if (!closes(ps, p + 1)) {
            if (p + 1 == ps->end)
                unterminated(ps, m - 1, "a start tag");
            else
                malformed(ps, p, "\"/\" not followed by \">\" in a start tag");
            goto drop;
        }
        if (!begin_element(ps, name, name_len)) return out_of_memory(ps, m - 1);
        end_element(ps);
        return p + 1;
    }
    if (closes(ps, p)) {
        const char c = *p;
        int ok;
        *p = '\0';
        ok = begin_element(ps, name, name_len);
        *p = c;
        return ok ? p : out_of_memory(ps, m - 1);
    }
    /* The attributes end only at "/", ">" or the end of the input. */
    unterminated(ps, m - 1, "a start tag");
drop:
    drop_pairs(ps);
    return NULL;
}

/* End tag at m (the "/"). Its name runs to white space or ">" and must be
 * that of the current element, whose length is known: compare, then check
 * that the name ends there. */
static char *end_tag(parser *ps, char *m) {
    char *name = m + 1, *p;
    const ezxml_node *cur = ps->root->current;
    if (cur && cur->name) {
        const size_t n = ps->levels[ps->depth - 1].name_len;
        if ((size_t)(ps->end - name) >= n && ezxml_bytes_equal(name, cur->name, n) && (CLASS(name[n]) & C_ETAG_END)) {
            p = name + n;
            if (p == ps->end && ps->saved != '>') return unterminated(ps, m - 1, "an end tag");
            end_element(ps);
            if (CLASS(*p) & C_CSPACE)
                while (CLASS(*p) & C_SPACE) ++p;
            return p;
        }
    }
    /* A mismatch stops the parse with the name cut off, as read. */
    p = scan(name, C_ETAG_END);
    if (p == ps->end && ps->saved != '>') return unterminated(ps, m - 1, "an end tag");
    if (cur && cur->name)
        ezxml_note_stop(ps->root, EZXML_PARSE_MISMATCHED_TAG, offset_of(ps, m - 1), "end tag </%.*s> does not close <%.*s>",
                        shown((size_t)(p - name)), name, shown(ps->levels[ps->depth - 1].name_len), cur->name);
    else
        ezxml_note_stop(ps->root, EZXML_PARSE_MISMATCHED_TAG, offset_of(ps, m - 1),
                        "end tag </%.*s> closes no open element", shown((size_t)(p - name)), name);
    *p = '\0';
    return NULL;
}

static char *find2(char *p, char *end, char a, char b) {
    while (p < end) {
        char *q = (char *)memchr(p, a, (size_t)(end - p));
        if (!q || q + 1 >= end) return NULL;
        if (q[1] == b) return q;
        p = q + 1;
    }
    return NULL;
}

/* DOCTYPE at m; returns the closing byte, ps->end to finish, or NULL to stop. */
static char *doctype(parser *ps, char *m) {
    char *p = m, *subset = NULL;
    for (;;) {
        char *q = p + 1;
        while (q < ps->end && *q != '[' && *q != ']' && *q != '>') ++q;
        if (q >= ps->end) {
            if (ps->saved != '>') return unterminated(ps, m - 1, "a DOCTYPE");
            ezxml_defaults_index_reset(&ps->defaults);
            ezxml_entity_index_reset(&ps->entity_index);
            if (subset && ezxml_read_dtd(ps->root, subset, (size_t)(ps->end - subset), &ps->budget)) return NULL;
            return ps->end;
        }
        p = q;
        if (!subset) {
            if (*p == '>') return p;
            if (*p == '[') subset = p + 1;
            continue;
        }
        if (*p == ']') {
            char *r = p + 1;
            while (CLASS(*r) & C_SPACE) ++r;
            if (closes(ps, r)) {
                ezxml_defaults_index_reset(&ps->defaults);
                ezxml_entity_index_reset(&ps->entity_index);
                if (ezxml_read_dtd(ps->root, subset, (size_t)(p - subset), &ps->budget)) return NULL;
                return p + 1;
            }
        }
    }
}

/* CDATA section at lt; returns its closing byte, or NULL to stop. At the end
 * of the input it closes as a comment does: when the saved byte was ">". */
static char *cdata(parser *ps, char *lt) {
    char *text = lt + 9, *q = text;
    for (;;) {
        q = find2(q, ps->end, ']', ']');
        if (!q) return unterminated(ps, lt, "a CDATA section");
        if (q[2] == '>' || closes(ps, q + 2)) break;
        ++q;
    }
    if (!append_text(ps, text, (size_t)(q - text), EZXML_MODE_CDATA, 0)) return out_of_memory(ps, text);
    return q + 2;
}

/* Markup at the "<" at lt: the closing byte, or NULL to stop. */
static char *markup(parser *ps, char *lt) {
    char *m = lt + 1;
    if (CLASS(*m) & C_NAME_START) {
        /* Most tags have no attributes and stand inside an open element. */
        char *q = scan(m + 1, C_TAG_END);
        const ezxml_node *cur = ps->root->current;
        if ((*q == '>' || (*q == '/' && q[1] == '>')) && cur && cur->name) {
            char *c = plain_start_tag(ps, m, q);
            return c ? c : out_of_memory(ps, lt);
        }
        return start_tag(ps, m, q);
    }
    if (*m == '/') return end_tag(ps, m);
    if (*m == '!') {
        if (m[1] == '-' && m[2] == '-') {
            char *q = find2(m + 3, ps->end, '-', '-');
            if (!q || (q + 2 == ps->end && !closes(ps, q + 2))) return unterminated(ps, lt, "a comment");
            if (!closes(ps, q + 2)) return malformed(ps, q, "\"--\" inside a comment");
            return q + 2;
        }
        if (strncmp(m + 1, "[CDATA[", 7) == 0) return cdata(ps, lt);
        if (strncmp(m + 1, "DOCTYPE", 7) == 0) return doctype(ps, m);
        return malformed(ps, lt, "unreadable markup \"<!\"");
    }
    if (*m == '?') {
        char *q = m + 1;
        for (;;) {
            q = (char *)memchr(q, '?', (size_t)(ps->end - q));
            if (!q) return unterminated(ps, lt, "a processing instruction");
            ++q;
            if (*q == '>' || q == ps->end) break;
        }
        if (q == ps->end && ps->saved != '>') return unterminated(ps, lt, "a processing instruction");
        if (!ezxml_record_pi(ps->root, m + 1, (size_t)(q - 1 - (m + 1)))) return out_of_memory(ps, lt);
        return q;
    }
    return malformed(ps, lt, "\"<\" that starts no markup");
}

/* --- UTF-16 input -------------------------------------------------------- */

char *ezxml_utf16_to_utf8(char **buffer, size_t *length) {
    const unsigned char *in = (const unsigned char *)*buffer;
    const size_t len = *length;
    int big_endian;
    size_t i, out_len = 0, cap;
    char *out, *shrunk;
    if (len == 0 || (in[0] != 0xFE && in[0] != 0xFF)) return NULL;
    big_endian = in[0] == 0xFE;
    /* Each 2-byte unit gives at most 3 bytes, a pair of units at most 4. */
    if (len / 2 > (((size_t)-1) - 8) / 3) {
        *length = 0;
        return NULL;
    }
    cap = (len / 2) * 3 + 8;
    out = (char *)ezxml_malloc(cap);
    if (!out) {
        *length = 0;
        return NULL;
    }
    for (i = 2; len > 0 && i < len - 1; i += 2) {
        unsigned long u = big_endian ? ((unsigned long)in[i] << 8 | in[i + 1]) : ((unsigned long)in[i + 1] << 8 | in[i]);
        if (u >= 0xD800 && u <= 0xDFFF && i + 2 < len - 1) {
            unsigned long w = big_endian ? ((unsigned long)in[i + 2] << 8 | in[i + 3])
                                         : ((unsigned long)in[i + 3] << 8 | in[i + 2]);
            u = (((u & 0x3FF) << 10) | (w & 0x3FF)) + 0x10000;
            i += 2;
        }
        out_len += ezxml_utf8_encode((uint32_t)u, out + out_len);
    }
    shrunk = (char *)realloc(out, out_len ? out_len : 1);
    if (shrunk) out = shrunk;
    *buffer = out;
    *length = out_len;
    return out;
}

/* --- the parse ----------------------------------------------------------- */

/* The most attributes a start tag may have for the fast lane. */
#define PLAIN_ATTRS_MAX 8

/* Where the attributes of a start tag lie, read without writing anything:
 * for each, its name, the "=" behind it, its value (behind the quote) and
 * the closing quote. */
typedef struct {
    char *at[PLAIN_ATTRS_MAX][4];
} plain_attrs;

/* Reads the attributes behind a start tag's name (p is the white space
 * behind it) when they are plain: up to PLAIN_ATTRS_MAX pairs name="value"
 * or name='value', "=" right behind the name and the quote behind it,
 * values without "&", NUL or white space other than the space (which
 * need decoding), and the tag closed by ">" or "/>". Returns the number of pairs and sets *close to
 * the ">" or "/", or returns 0 for anything else, which start_tag reads.
 * Spaces are plain in CDATA values only: see plain_tag_attrs(). */
EZXML_ALWAYS_INLINE size_t read_plain_attrs(char *p, plain_attrs *a, char **close, const char *readable_end) {
    size_t n = 0;
    for (;;) {
        char *eq, *value, *quote;
        while (CLASS(*p) & C_CSPACE) ++p;
        if (*p == '>' || (*p == '/' && p[1] == '>')) break;
        if (n == PLAIN_ATTRS_MAX) return 0;
        eq = scan(p, C_ATTR_END);
        if (*eq != '=' || eq == p || (eq[1] != '"' && eq[1] != '\'')) return 0;
        value = eq + 2;
        quote = scan_value_run(value, eq[1] == '"' ? QD : QS, readable_end);
        if (*quote != eq[1]) return 0;
        a->at[n][0] = p;
        a->at[n][1] = eq;
        a->at[n][2] = value;
        a->at[n][3] = quote;
        ++n;
        p = quote + 1;
    }
    *close = p;
    return n;
}

/* Whether the element name (len bytes) declares tokenised attributes; out
 * of line, as most documents declare none and the fast lane stays small. */
static EZXML_NOINLINE int tokens_declared(parser *ps, const char *name, size_t len) {
    return ezxml_defaults_tokenised(&ps->defaults, ps->root->attr_defaults, name, len);
}

/* Whether a value of the n plain attributes in *a holds a space. Values
 * without one read as tokens read as they stand (plain values hold no
 * other white space). */
static EZXML_NOINLINE int spaced_values(const plain_attrs *a, size_t n) {
    size_t i;
    for (i = 0; i < n; ++i)
        if (memchr(a->at[i][2], ' ', (size_t)(a->at[i][3] - a->at[i][2]))) return 1;
    return 0;
}

/* The attributes of the start tag of name (len bytes) behind it at q, when
 * the fast lane can take them (read_plain_attrs, and values without spaces
 * where the element declares tokenised attributes): their number, their
 * places in *a, the ">" or "/" that closes the tag in *close, and the white
 * space behind the name overwritten with NUL as start_tag does. 0 when
 * start_tag has to read them. */
EZXML_ALWAYS_INLINE size_t plain_tag_attrs(parser *ps, const char *name, size_t len, char *q, plain_attrs *a, char **close) {
    size_t n;
    if (!(CLASS(*q) & C_CSPACE)) return 0;
    n = read_plain_attrs(q, a, close, ps->end + 1);
    if (n && *ps->root->attr_defaults && tokens_declared(ps, name, len) && spaced_values(a, n)) return 0;
    if (n)
        while (CLASS(*q) & C_CSPACE) *q++ = '\0';
    return n;
}

/* Writes the NULs that end the names and values of the plain attributes
 * in *a and lays out their list in attrs, with the ownership string at own
 * (all markers "not owned"). */
EZXML_ALWAYS_INLINE char **lay_plain_attrs(const plain_attrs *a, size_t na, char **attrs, char *own) {
    size_t i;
    for (i = 0; i < na; ++i) {
        *a->at[i][1] = '\0';
        *a->at[i][3] = '\0';
        attrs[2 * i] = a->at[i][0];
        attrs[2 * i + 1] = a->at[i][2];
        own[i] = (char)EZXML_ATTR_NOT_OWNED;
    }
    attrs[2 * na] = NULL;
    attrs[2 * na + 1] = own;
    own[na] = '\0';
    return attrs;
}

/* The root element's start tag at p (its "<") when it is "<name>" or has
 * plain attributes (plain_tag_attrs): the document record takes the name
 * and the list, which goes beside it (a heap list when there is no room),
 * and its level is pushed. Returns the ">"; p when start_tag has to read
 * the tag (nothing is written then); NULL when memory ran out (the parse
 * status says so). Not inlined into the fast lane: it runs once. */
static char *plain_root_tag(parser *ps, char *p) {
    ezxml_node *root = &ps->root->node;
    char *m = p + 1, *q, **attrs = (char **)EZXML_EMPTY_LIST;
    size_t len, na = 0;
    plain_attrs pa;
    assert(ps->depth == 0 && !root->name);
    if (!(CLASS(*m) & C_NAME_START)) return p;
    q = scan(m + 1, C_TAG_END);
    len = (size_t)(q - m);
    if (*q != '>') {
        char *close = NULL;
        /* An empty root element is left to start_tag. */
        if (*q == '/' || !(na = plain_tag_attrs(ps, m, len, q, &pa, &close))) return p;
        /* plain_tag_attrs has written the NULs behind the name: from here
         * on the tag is read here, "/>" included. */
        q = close;
    }
    if (na) {
        /* At most PLAIN_ATTRS_MAX pairs: the size cannot overflow. */
        const size_t list_size = (2 * na + 2) * sizeof(char *) + na + 1;
        void *mem = ezxml_pool_bytes_beside(&ps->pool, root, list_size);
        char *own = NULL;
        if (mem) {
            attrs = (char **)mem;
            own = (char *)(attrs + 2 * na + 2);
        } else {
            own = (char *)ezxml_malloc(na + 1);
            attrs = own ? (char **)ezxml_malloc((2 * na + 2) * sizeof(char *)) : NULL;
            if (!attrs) {
                free(own);
                out_of_memory(ps, p);
                return NULL;
            }
        }
        attrs = lay_plain_attrs(&pa, na, attrs, own);
    }
    root->name = m;
    root->attrs = attrs;
    push_level(ps, root, len);
    if (*q == '/') {
        /* "<root a="v"/>": the document is complete. */
        q[0] = '\0';
        end_element(ps);
        return q + 1;
    }
    return q;
}

/* Start and end tags and plain text, read with the parser's state in
 * locals (every byte written into the text would otherwise make the
 * compiler load it again). Start tags without attributes under an open
 * element, end tags of the current element other than the root's, and an
 * element's first plain text are handled here; other start and end tags go
 * to start_tag and end_tag. p is the "<" of a markup (which may have been
 * overwritten with NUL already). Returns the markup or text it leaves to
 * the general path (*text tells which), or NULL when the parse ends. */
static EZXML_NOINLINE char *fast_lane(parser *ps, char *p, int *text) {
    char *const end = ps->end;
    ezxml_node *cur = ps->root->current;
    size_t depth = ps->depth;
    level *lv;
    *text = 0;
    assert(depth && cur && cur->name); /* parse() comes here inside an element only */
    lv = &ps->levels[depth - 1];
    for (;;) {
        char *m = p + 1;
        if (CLASS(*m) & C_NAME_START) {
            char *q = scan_run(m + 1, RUN_NAME, end + 1);
            const size_t len = (size_t)(q - m);
            ezxml_node *node;
            int changed;
            size_t na = 0;
            plain_attrs pa;
            if (*q != '>' && (*q != '/' || q[1] != '>')) {
                char *close = NULL;
                if (!(na = plain_tag_attrs(ps, m, len, q, &pa, &close))) {
                    /* Attributes that need more than the fast lane reads. */
                    char *c;
                    ps->depth = depth;
                    ps->root->current = cur;
                    c = start_tag(ps, m, q);
                    if (!c || c >= end) return NULL;
                    *c = '\0';
                    p = c + 1;
                    cur = ps->root->current;
                    depth = ps->depth;
                    lv = &ps->levels[depth - 1];
                    goto next;
                }
                q = close;
            }
            if (*q == '>' && depth == ps->levels_cap) {
                ps->depth = depth;
                if (!reserve_level(ps)) break;
                lv = &ps->levels[depth - 1];
            }
            changed = name_changes(lv, m, len);
            if (changed && !names_reserve(ps, lv)) break;
            /* An attribute list sits behind the node in its block, laid out
             * as fill_attrs() does: the pairs, NULL, the ownership string. */
            node = ezxml_pool_take(&ps->pool,
                                   EZXML_NODE_SIZE + (na ? ((2 * na + 2) * sizeof(char *) + na + 1 + 7) & ~(size_t)7 : 0));
            if (!node) break;
            node->name = m;
            if (na) {
                char **attrs = (char **)(void *)((char *)node + EZXML_NODE_SIZE);
                node->attrs = lay_plain_attrs(&pa, na, attrs, (char *)(attrs + 2 * na + 2));
            } else {
                node->attrs = (char **)EZXML_EMPTY_LIST;
            }
            node->text = ezxml_empty_text;
            node->next = node->sibling = node->ordered = node->child = NULL;
            node->flags = EZXML_LIBRARY_RECORD;
            link_child(ps, lv, node, len, changed);
            if (*q == '/') {
                q[0] = q[1] = '\0';
                p = q + 2;
            } else {
                *q = '\0';
                p = q + 1;
                ++lv;
                ++depth;
                /* As push_level: text_cap and sib_tail are read only once
                 * an own text or a first child has set them. */
                lv->node = node;
                lv->name_len = len;
                lv->text_len = 0;
                lv->last = NULL;
                lv->names_base = lv->names_top = lv[-1].names_top;
                cur = node;
            }
        } else if (*m == '/') {
            char *name = m + 1, *c;
            const size_t n = lv->name_len;
            /* The input's last byte, overwritten with NUL, may be the ">". */
            if ((size_t)(end - name) >= n && ezxml_bytes_equal(name, cur->name, n) &&
                (name[n] == '>' || (name + n == end && ps->saved == '>'))) {
                name[n] = '\0';
                p = name + n + 1;
                --lv;
                if (!--depth) goto closed;
                cur = cur->parent;
            } else {
                ps->depth = depth;
                ps->root->current = cur;
                c = end_tag(ps, m);
                if (!c || c >= end) return NULL;
                *c = '\0';
                p = c + 1;
                cur = ps->root->current;
                if (!cur) {
                    /* The root element is closed: what follows is the general path's. */
                    if (p >= end) return NULL;
                    *text = *p != '<';
                    return p;
                }
                depth = ps->depth;
                lv = &ps->levels[depth - 1];
            }
        } else {
            goto general;
        }
    next:
        if (p >= end) {
            ps->depth = depth;
            ps->root->current = cur;
            return NULL;
        }
        if (*p != '<') {
            char *t = scan_run(p, RUN_TEXT, end + 1);
            /* text_len is the length of the text read so far (no text holds a NUL). */
            if (*t == '<' && !lv->text_len && !(cur->flags & EZXML_TEXT_OWNED)) {
                *t = '\0';
                cur->text = p;
                lv->text_len = (size_t)(t - p);
                p = t;
            } else if (*t == '<' && lv->text_len && (cur->flags & EZXML_TEXT_OWNED) &&
                       (size_t)(t - p) < lv->text_cap - lv->text_len) {
                /* A plain piece that fits behind the element's own text (the
                 * white space between its children, mostly). */
                const size_t n = (size_t)(t - p);
                assert(lv->text_cap > lv->text_len);
                memcpy(cur->text + lv->text_len, p, n);
                lv->text_len += n;
                cur->text[lv->text_len] = '\0';
                *t = '\0';
                p = t;
            } else {
                /* Text to decode or to join to the element's earlier pieces. */
                char *lt = t;
                ps->depth = depth;
                ps->root->current = cur;
                if (*t != '<') {
                    if (!*t) return NULL; /* text behind the last markup is dropped */
                    lt = (char *)memchr(t, '<', (size_t)(end - t));
                    if (!lt) return NULL;
                }
                if (!append_text(ps, p, (size_t)(lt - p), EZXML_MODE_TEXT, *t == '<')) {
                    out_of_memory(ps, p);
                    return NULL;
                }
                p = lt;
            }
        }
    }
    /* Out of memory. */
    ps->depth = depth;
    ps->root->current = cur;
    out_of_memory(ps, p);
    return NULL;
general:
    ps->depth = depth;
    ps->root->current = cur;
    return p;
closed:
    /* The root element is closed (as end_element does): what follows is the
     * general path's. */
    ps->depth = 0;
    ps->root->current = NULL;
    if (p >= end) return NULL;
    *text = *p != '<';
    return p;
}

/* p: the "<" of a markup (perhaps overwritten with NUL already). */
static void parse(parser *ps, char *p) {
    for (;;) {
        int text = 0;
        /* The fast lane reads inside an open element only. */
        if (!ps->general && ps->depth) p = fast_lane(ps, p, &text);
        if (!p) return;
        if (!text) {
            char *c = ps->root->node.name || ps->general ? p : plain_root_tag(ps, p);
            if (c == p) c = markup(ps, p);
            if (!c || c >= ps->end) return;
            *c = '\0';
            p = c + 1;
            if (p >= ps->end) return;
        }
        if (*p != '<') {
            /* Character content; it needs decoding only if it holds "&" or CR. */
            char *t = ps->general ? scan(p, C_TEXT) : scan_run(p, RUN_TEXT, ps->end + 1), *lt = t;
            int plain = *t == '<';
            if (!plain) {
                if (!*t) return; /* text behind the last markup is dropped */
                lt = (char *)memchr(t, '<', (size_t)(ps->end - t));
                if (!lt) return;
            }
            if (plain) {
                /* The first piece of an element's text, as it stands. */
                ezxml_node *cur = ps->root->current;
                if (cur && cur->name && !cur->text[0] && !(cur->flags & EZXML_TEXT_OWNED)) {
                    level *lv = &ps->levels[ps->depth - 1];
                    *lt = '\0';
                    cur->text = p;
                    lv->text_len = (size_t)(lt - p);
                    lv->text_cap = 0;
                    p = lt;
                    continue;
                }
            }
            if (!append_text(ps, p, (size_t)(lt - p), EZXML_MODE_TEXT, plain)) {
                out_of_memory(ps, p);
                return;
            }
            p = lt;
        }
    }
}

/* The status of a parse that read to the end of its input of length bytes
 * (unless a reason to stop is recorded already). */
static void finish_status(parser *ps, size_t length) {
    ezxml_root *root = ps->root;
    const char *last = root->work_start + length - 1;
    if (root->status != EZXML_PARSE_COMPLETE) return;
    if (ps->end < last) {
        /* A NUL byte ended the text early; NULs that only pad the input are not text. */
        const char *p = ps->end;
        while (p < last && *p == '\0') ++p;
        if (p < last || ps->saved != '\0') {
            ezxml_note_stop(root, EZXML_PARSE_MALFORMED, offset_of(ps, ps->end), "a NUL byte inside the text");
            return;
        }
    }
    if (!root->node.name) {
        ezxml_note_stop(root, EZXML_PARSE_MALFORMED, length, "no root element");
    } else if (root->current) {
        const level *lv = &ps->levels[ps->depth - 1];
        ezxml_note_stop(root, EZXML_PARSE_UNCLOSED_ELEMENT, length, "unclosed element <%.*s>", shown(lv->name_len),
                        lv->node->name);
        return;
    }
    root->status_offset = length;
}

static ezxml_node *parse_document(char *buf, size_t length, int general) {
    parser ps;
    ezxml_root *root;
    char *work = buf, *lt;

    memset(&ps, 0, offsetof(parser, root));
    root = ezxml_alloc_root(&ps.pool);
    if (!root) return NULL;
    if (!ezxml_init_root(root, NULL)) {
        ezxml_pool_finish(&ps.pool);
        ezxml_release_node(&root->node);
        return NULL;
    }
    root->input = buf;
    ps.root = root;
    ps.general = general;
    ps.levels = ps.inline_levels;
    ps.levels_cap = sizeof ps.inline_levels / sizeof ps.inline_levels[0];
    ps.pairs = ps.inline_pairs;
    ps.marks = ps.inline_marks;
    ps.pairs_cap = sizeof ps.inline_marks;
    ps.names = ps.inline_names;
    ps.names_cap = sizeof ps.inline_names / sizeof ps.inline_names[0];

    if (buf && length > 0 && ((unsigned char)buf[0] == 0xFE || (unsigned char)buf[0] == 0xFF)) {
        size_t n = length;
        char *copy = ezxml_utf16_to_utf8(&work, &n);
        root->utf8_copy = copy;
        if (!copy) {
            ezxml_note_stop(root, EZXML_PARSE_OUT_OF_MEMORY, 0, "out of memory");
            length = 0; /* no element */
        } else {
            length = n;
        }
    }
    if (buf && length > 0) {
        root->work_start = work;
        root->work_end = work + length;
        ps.saved = work[length - 1];
        work[length - 1] = '\0';
        ps.end = (char *)memchr(work, '\0', length);
        ps.budget = ezxml_expansion_budget(length);
        /* Most documents start with their first markup. */
        lt = *work == '<' ? work : (char *)memchr(work, '<', (size_t)(ps.end - work));
        if (lt) parse(&ps, lt);
        finish_status(&ps, length);
    } else {
        ezxml_note_stop(root, EZXML_PARSE_MALFORMED, 0, "no root element");
    }

    drop_pairs(&ps);
    ezxml_pool_finish(&ps.pool);
    if (ps.levels != ps.inline_levels) free(ps.levels);
    if (ps.pairs != ps.inline_pairs) {
        free(ps.pairs);
        free(ps.marks);
    }
    if (ps.names != ps.inline_names) free(ps.names);
    if (ps.defaults.slots) ezxml_defaults_index_reset(&ps.defaults);
    if (ps.entity_index.slots) ezxml_entity_index_reset(&ps.entity_index);
    return &root->node;
}

ezxml_node *ezxml_parse_str(char *buf, size_t length) { return parse_document(buf, length, 0); }

ezxml_node *ezxml_parse_str_general(char *buf, size_t length) { return parse_document(buf, length, 1); }
