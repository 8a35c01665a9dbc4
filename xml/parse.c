/* The in-place parser: one forward pass over the caller's buffer.
 *
 * Bounds: the last byte of the input is replaced by NUL, and the input is
 * taken to end at its first NUL byte, so every scan either compares against
 * `end` or stops at a NUL that lies inside the buffer. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

enum {
    C_NAME_START = 0x01, /* letter, "_", ":", 0x80 and above */
    C_TAG_END = 0x02,    /* ends an element name: white space, "/", ">", NUL */
    C_ATTR_END = 0x04,   /* ends an attribute name: white space, "=", "/", ">", NUL */
    C_ETAG_END = 0x08,   /* ends an end-tag name: white space, ">", NUL */
    C_CSPACE = 0x10,     /* white space plus VT and FF */
    C_SPACE = 0x20       /* tab, CR, LF, space */
};

#define WS (C_TAG_END | C_ATTR_END | C_ETAG_END | C_CSPACE | C_SPACE)
#define L8(x) x, x, x, x, x, x, x, x
#define L16(x) L8(x), L8(x)
#define L32(x) L16(x), L16(x)
#define L64(x) L32(x), L32(x)
#define N C_NAME_START
const unsigned char ezxml_byte_class[256] = {
    /* 0x00 */ C_TAG_END | C_ATTR_END | C_ETAG_END, 0, 0, 0, 0, 0, 0, 0, 0, WS, WS, C_CSPACE, C_CSPACE, WS, 0, 0,
    /* 0x10 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    /* 0x20 */ WS, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, C_TAG_END | C_ATTR_END,
    /* 0x30 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, N, 0, 0, C_ATTR_END, C_TAG_END | C_ATTR_END | C_ETAG_END, 0,
    /* 0x40 */ 0, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,
    /* 0x50 */ N, N, N, N, N, N, N, N, N, N, N, 0, 0, 0, 0, N,
    /* 0x60 */ 0, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,
    /* 0x70 */ N, N, N, N, N, N, N, N, N, N, N, 0, 0, 0, 0, 0,
    /* 0x80 */ L64(N), L64(N)};
#undef N

#define CLASS(c) ezxml_byte_class[(unsigned char)(c)]

/* One open element. */
typedef struct {
    ezxml_node *node;
    size_t text_len;     /* bytes of node->text */
    size_t text_cap;     /* capacity of an own text */
    ezxml_node *last;    /* last child in document order */
    ezxml_node *sib_tail; /* last member of the sibling chain */
} level;

/* (parent, name) -> last child of that name, for parents whose children
 * change names; keeps linking a child O(1) however many siblings there are. */
typedef struct {
    const ezxml_node *parent;
    const char *name;
    size_t hash;
    ezxml_node *last;
} name_slot;

typedef struct {
    ezxml_root *root;
    char *end;   /* the first NUL: end of input */
    char saved;  /* the input's original last byte */
    level *levels;
    size_t depth, levels_cap;
    ezxml_pool pool;
    char **pairs; /* attributes of the start tag being read */
    char *marks;
    size_t npairs, pairs_cap;
    name_slot *names;
    size_t names_used, names_cap;
    size_t budget; /* bytes entity expansion may still add */
} parser;

/* --- linking children ---------------------------------------------------- */

static size_t name_hash(const ezxml_node *parent, const char *name) {
    size_t h = (size_t)parent * 0x9E3779B97F4A7C15ull;
    for (; *name; ++name) h = (h ^ (unsigned char)*name) * 0x100000001B3ull;
    return h ^ (h >> 29);
}

static name_slot *names_find(parser *ps, const ezxml_node *parent, const char *name, size_t h) {
    size_t mask, i;
    if (!ps->names_cap) return NULL;
    mask = ps->names_cap - 1;
    for (i = h & mask;; i = (i + 1) & mask) {
        name_slot *s = &ps->names[i];
        if (!s->parent) return s;
        if (s->parent == parent && s->hash == h && strcmp(s->name, name) == 0) return s;
    }
}

/* Makes room for one more entry, so that names_put cannot fail. */
static int names_reserve(parser *ps) {
    size_t cap, i;
    name_slot *old = ps->names, *fresh;
    if (ps->names_used + 1 <= ps->names_cap / 2) return 1;
    cap = ps->names_cap ? ps->names_cap * 2 : 64;
    if (cap > ((size_t)-1) / sizeof(name_slot)) return 0;
    fresh = (name_slot *)ezxml_malloc(cap * sizeof(name_slot));
    if (!fresh) return 0;
    memset(fresh, 0, cap * sizeof(name_slot));
    ps->names = fresh;
    i = ps->names_cap;
    ps->names_cap = cap;
    while (i--)
        if (old[i].parent) *names_find(ps, old[i].parent, old[i].name, old[i].hash) = old[i];
    free(old);
    return 1;
}

static void names_put(parser *ps, const ezxml_node *parent, const char *name, size_t h, ezxml_node *last) {
    name_slot *s = names_find(ps, parent, name, h);
    if (!s->parent) ++ps->names_used;
    s->parent = parent;
    s->name = name;
    s->hash = h;
    s->last = last;
}

/* Whether linking a child named name under lv needs the name table. */
static int needs_names(const level *lv, const char *name) {
    return lv->last && strcmp(lv->last->name, name) != 0;
}

/* Links node as the last child of the element of level lv (the name table
 * has room, see needs_names). The result is that of ezxml_insert at an
 * offset no smaller than any child's. */
static void link_child(parser *ps, level *lv, ezxml_node *node) {
    ezxml_node *parent = lv->node, *prev = lv->last, *x;
    name_slot *slot;
    size_t h;
    node->parent = parent;
    node->offset = lv->text_len;
    if (!prev) {
        parent->child = node;
        lv->last = lv->sib_tail = node;
        return;
    }
    prev->ordered = node;
    lv->last = node;
    if (strcmp(prev->name, node->name) == 0) {
        prev->next = node;
        return;
    }
    h = name_hash(parent, node->name);
    slot = names_find(ps, parent, node->name, h);
    x = slot && slot->parent ? slot->last : NULL;
    if (!x && strcmp(parent->child->name, node->name) == 0) x = parent->child;
    if (x) {
        while (x->next) x = x->next;
        x->next = node;
    } else {
        lv->sib_tail->sibling = node;
        lv->sib_tail = node;
    }
    names_put(ps, parent, node->name, h, node);
}

/* --- elements and text --------------------------------------------------- */

/* Makes room for one more open element. */
static int reserve_level(parser *ps) {
    size_t cap;
    level *grown;
    if (ps->depth < ps->levels_cap) return 1;
    cap = ps->levels_cap ? ps->levels_cap * 2 : 32;
    if (cap > ((size_t)-1) / sizeof(level)) return 0;
    grown = (level *)ezxml_realloc(ps->levels, cap * sizeof(level));
    if (!grown) return 0;
    ps->levels = grown;
    ps->levels_cap = cap;
    return 1;
}

static void push_level(parser *ps, ezxml_node *node) {
    level *lv = &ps->levels[ps->depth++];
    lv->node = node;
    lv->text_len = 0;
    lv->text_cap = 0;
    lv->last = lv->sib_tail = NULL;
}

/* Releases the pairs of a start tag that will not become an element. */
static void drop_pairs(parser *ps) {
    size_t i;
    for (i = 0; i < ps->npairs; ++i)
        if ((unsigned char)ps->marks[i] & EZXML_ATTR_VALUE_OWNED) free(ps->pairs[2 * i + 1]);
    ps->npairs = 0;
}

/* Makes the element of the start tag just read, with the attributes
 * gathered in ps->pairs; 0 when out of memory (the pairs are dropped). */
static int begin_element(parser *ps, char *name) {
    ezxml_root *root = ps->root;
    ezxml_node *cur = root->current, *node;
    char **attrs = (char **)EZXML_EMPTY_LIST;

    if (ps->npairs) {
        const size_t n = ps->npairs;
        char *own = (char *)ezxml_malloc(n + 1);
        attrs = own ? (char **)ezxml_malloc((2 * n + 2) * sizeof(char *)) : NULL;
        if (!attrs) {
            free(own);
            drop_pairs(ps);
            return 0;
        }
        memcpy(attrs, ps->pairs, 2 * n * sizeof(char *));
        memcpy(own, ps->marks, n);
        own[n] = '\0';
        attrs[2 * n] = NULL;
        attrs[2 * n + 1] = own;
    }

    /* Everything that can fail comes before the tree changes. */
    if (!reserve_level(ps)) goto fail;
    if (!cur->name) {
        /* The root element: the document record itself takes the name. */
        cur->name = name;
        node = cur;
    } else {
        level *lv = &ps->levels[ps->depth - 1];
        if (needs_names(lv, name) && !names_reserve(ps)) goto fail;
        node = ezxml_node_from_pool(&ps->pool, name);
        if (!node) goto fail;
        link_child(ps, lv, node);
    }
    push_level(ps, node);
    node->attrs = attrs;
    ps->npairs = 0;
    root->current = node;
    return 1;

fail:
    if (attrs != (char **)EZXML_EMPTY_LIST) ezxml_free_attrs(attrs);
    ps->npairs = 0;
    return 0;
}

/* 1 when the current element was named name and is now closed. */
static int end_element(parser *ps, const char *name) {
    ezxml_node *cur = ps->root->current;
    if (!cur || !cur->name || strcmp(cur->name, name) != 0) return 0;
    --ps->depth;
    ps->root->current = cur->parent;
    return 1;
}

/* Appends start[0, length) to the current element's text; 0 when out of memory. */
static int append_text(parser *ps, char *start, size_t length, char mode) {
    ezxml_node *cur = ps->root->current;
    level *lv;
    char *d;
    size_t dlen;
    if (!cur || !cur->name || !length) return 1;
    lv = &ps->levels[ps->depth - 1];
    start[length] = '\0';
    d = ezxml_decode_n(start, ps->root->entities, mode, &ps->budget, &dlen);
    if (!d) return 0;

    if (!cur->text[0]) {
        if (cur->flags & EZXML_TEXT_OWNED) free(cur->text);
        cur->text = d;
        lv->text_len = dlen;
        if (d != start) {
            cur->flags |= EZXML_TEXT_OWNED;
            lv->text_cap = dlen + 1;
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

/* At end of input: counts as a closing ">" only if the saved byte was one. */
static int closes(const parser *ps, const char *p) { return *p == '>' || (p == ps->end && ps->saved == '>'); }

/* Start tag at m (the byte behind "<"). Returns the closing byte, or NULL to stop. */
static char *start_tag(parser *ps, char *m) {
    char *name = m, *p = m, **defaults = NULL;
    if (!ps->root->current) return NULL; /* a second root element */
    while (!(CLASS(*p) & C_TAG_END)) ++p;
    while (CLASS(*p) & C_CSPACE) *p++ = '\0';
    if (*p && *p != '/' && *p != '>') defaults = ezxml_find_defaults(ps->root->attr_defaults, name);

    while (*p && *p != '/' && *p != '>') {
        char *q;
        if (ps->npairs == ps->pairs_cap) {
            size_t cap = ps->pairs_cap ? ps->pairs_cap * 2 : 16;
            char **pairs;
            char *marks;
            if (cap > ((size_t)-1) / (2 * sizeof(char *))) goto drop;
            pairs = (char **)ezxml_realloc(ps->pairs, 2 * cap * sizeof(char *));
            if (!pairs) goto drop;
            ps->pairs = pairs;
            marks = (char *)ezxml_realloc(ps->marks, cap);
            if (!marks) goto drop;
            ps->marks = marks;
            ps->pairs_cap = cap;
        }
        ps->pairs[2 * ps->npairs] = p;
        ps->pairs[2 * ps->npairs + 1] = (char *)"";
        ps->marks[ps->npairs] = (char)EZXML_ATTR_NOT_OWNED;
        ++ps->npairs;

        q = p;
        while (!(CLASS(*q) & C_ATTR_END)) ++q;
        if (*q == '=' || (CLASS(*q) & C_CSPACE)) {
            *q++ = '\0';
            while ((CLASS(*q) & C_SPACE) || *q == '=') ++q;
            if (*q == '"' || *q == '\'') {
                const char quote = *q;
                char *value = q + 1, *close, *d, mode = EZXML_MODE_ATTR;
                close = (char *)memchr(value, quote, (size_t)(ps->end - value));
                if (!close) goto drop;
                *close = '\0';
                p = close + 1;
                if (defaults) {
                    size_t i;
                    const char *aname = ps->pairs[2 * ps->npairs - 2];
                    for (i = 1; defaults[i]; i += 3)
                        if (strcmp(defaults[i], aname) == 0) {
                            mode = defaults[i + 2][0];
                            break;
                        }
                }
                d = ezxml_decode_n(value, ps->root->entities, mode, &ps->budget, NULL);
                if (!d) goto drop;
                ps->pairs[2 * ps->npairs - 1] = d;
                if (d != value) ps->marks[ps->npairs - 1] = (char)EZXML_ATTR_VALUE_OWNED;
            } else {
                p = q; /* no quoted value: a bare word is the next name */
            }
        } else {
            p = q;
        }
        while (CLASS(*p) & C_CSPACE) ++p;
    }

    if (*p == '/') {
        *p = '\0';
        if (!closes(ps, p + 1)) goto drop;
        if (!begin_element(ps, name)) return NULL;
        end_element(ps, name);
        return p + 1;
    }
    if (closes(ps, p)) {
        const char c = *p;
        int ok;
        *p = '\0';
        ok = begin_element(ps, name);
        *p = c;
        return ok ? p : NULL;
    }
drop:
    drop_pairs(ps);
    return NULL;
}

/* End tag at m (the "/"). */
static char *end_tag(parser *ps, char *m) {
    char *name = m + 1, *p = name, c;
    while (!(CLASS(*p) & C_ETAG_END)) ++p;
    if (p == ps->end && ps->saved != '>') return NULL;
    c = *p;
    *p = '\0';
    if (!end_element(ps, name)) return NULL;
    *p = c;
    if (CLASS(c) & C_CSPACE)
        while (CLASS(*p) & C_SPACE) ++p;
    return p;
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
            if (ps->saved != '>') return NULL;
            if (subset && !ezxml_read_dtd_budget(ps->root, subset, (size_t)(ps->end - subset), &ps->budget))
                return NULL;
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
                if (!ezxml_read_dtd_budget(ps->root, subset, (size_t)(p - subset), &ps->budget)) return NULL;
                return p + 1;
            }
        }
    }
}

/* Markup at the "<" at lt: the closing byte, or NULL to stop. */
static char *markup(parser *ps, char *lt) {
    char *m = lt + 1;
    if (CLASS(*m) & C_NAME_START) return start_tag(ps, m);
    if (*m == '/') return end_tag(ps, m);
    if (*m == '!') {
        if (m[1] == '-' && m[2] == '-') {
            char *q = find2(m + 3, ps->end, '-', '-');
            if (!q || !closes(ps, q + 2)) return NULL;
            return q + 2;
        }
        if (strncmp(m + 1, "[CDATA[", 7) == 0) {
            char *text = m + 8, *q = text;
            for (;;) {
                q = find2(q, ps->end, ']', ']');
                if (!q || q + 2 >= ps->end) return NULL;
                if (q[2] == '>') break;
                ++q;
            }
            if (!append_text(ps, text, (size_t)(q - text), EZXML_MODE_CDATA)) return NULL;
            return q + 2;
        }
        if (strncmp(m + 1, "DOCTYPE", 7) == 0) return doctype(ps, m);
        return NULL;
    }
    if (*m == '?') {
        char *q = m + 1;
        for (;;) {
            q = (char *)memchr(q, '?', (size_t)(ps->end - q));
            if (!q) return NULL;
            ++q;
            if (*q == '>' || q == ps->end) break;
        }
        if (q == ps->end && ps->saved != '>') return NULL;
        if (!ezxml_record_pi_checked(ps->root, m + 1, (size_t)(q - 1 - (m + 1)))) return NULL;
        return q;
    }
    return NULL;
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
        out_len += ezxml_utf8_encode((long)u, out + out_len);
    }
    shrunk = (char *)realloc(out, out_len ? out_len : 1);
    if (shrunk) out = shrunk;
    *buffer = out;
    *length = out_len;
    return out;
}

/* --- the parse ----------------------------------------------------------- */

static void parse(parser *ps, char *p) {
    for (;;) {
        char *c = markup(ps, p);
        if (!c || c >= ps->end) return;
        *c = '\0';
        p = c + 1;
        if (p >= ps->end) return;
        if (*p != '<') {
            char *lt = (char *)memchr(p, '<', (size_t)(ps->end - p));
            if (!lt) return; /* text behind the last markup is dropped */
            if (!append_text(ps, p, (size_t)(lt - p), EZXML_MODE_TEXT)) return;
            p = lt;
        }
    }
}

ezxml_node *ezxml_parse_str(char *buf, size_t length) {
    parser ps;
    ezxml_root *root;
    char *work = buf, *lt;
    ezxml_node *top = ezxml_new(NULL);
    if (!top) return NULL;
    root = (ezxml_root *)(void *)top;
    root->input = buf;
    if (!buf || length == 0) return top;

    if ((unsigned char)buf[0] == 0xFE || (unsigned char)buf[0] == 0xFF) {
        size_t n = length;
        char *copy = ezxml_utf16_to_utf8(&work, &n);
        if (!copy) return top; /* out of memory */
        root->utf8_copy = copy;
        length = n;
        if (length == 0) return top;
    }
    root->work_start = work;
    root->work_end = work + length;

    memset(&ps, 0, sizeof ps);
    ps.root = root;
    ps.saved = work[length - 1];
    work[length - 1] = '\0';
    ps.end = (char *)memchr(work, '\0', length);
    ps.budget = ezxml_default_budget(length);

    lt = (char *)memchr(work, '<', (size_t)(ps.end - work));
    if (lt) parse(&ps, lt);

    drop_pairs(&ps);
    ezxml_pool_finish(&ps.pool);
    free(ps.levels);
    free(ps.pairs);
    free(ps.marks);
    free(ps.names);
    return top;
}
