/* The serializer: an element and its subtree as XML text in one heap block.
 *
 * The walk keeps its own stack of open elements, so neither depth nor a long
 * run of siblings uses the C stack, and the tree is never modified. */
#include "ezxml_internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    char *buf;
    char *w;   /* write position */
    char *lim; /* end of the block less one byte for the final NUL */
    int failed;
    ezxml_defaults_index defaults;
} sbuf;

/* Makes room for n more bytes; 0 (and failed set) when the block cannot grow. */
static int grow(sbuf *o, size_t n) {
    const size_t len = (size_t)(o->w - o->buf), cap = (size_t)(o->lim - o->buf) + 1;
    size_t need = len + n + 1, bigger = cap;
    char *grown;
    if (o->failed) return 0;
    if (need < len) goto fail;
    while (bigger < need) {
        if (bigger > ((size_t)-1) / 2) {
            bigger = need;
            break;
        }
        bigger *= 2;
    }
    grown = (char *)ezxml_realloc(o->buf, bigger);
    if (!grown) goto fail;
    o->buf = grown;
    o->w = grown + len;
    o->lim = grown + bigger - 1;
    return 1;
fail:
    o->failed = 1;
    return 0;
}

EZXML_ALWAYS_INLINE int room(sbuf *o, size_t n) { return (size_t)(o->lim - o->w) >= n || grow(o, n); }

/* Copies n bytes to the write position (room already made). */
EZXML_ALWAYS_INLINE void copy_out(char *dst, const char *src, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t a, b;
        memcpy(&a, src, 8);
        memcpy(&b, src + n - 8, 8);
        memcpy(dst, &a, 8);
        memcpy(dst + n - 8, &b, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t a, b;
        memcpy(&a, src, 4);
        memcpy(&b, src + n - 4, 4);
        memcpy(dst, &a, 4);
        memcpy(dst + n - 4, &b, 4);
    } else if (n < 4) {
        while (n--) *dst++ = *src++;
    } else {
        memcpy(dst, src, n);
    }
}

static void put(sbuf *o, const char *s, size_t n) {
    if (!room(o, n)) return;
    copy_out(o->w, s, n);
    o->w += n;
}

static void puts_(sbuf *o, const char *s) { put(o, s, strlen(s)); }

/* Bytes escaped in text (1) and in attribute values (2); NUL ends both. */
static const unsigned char esc_class[256] = {
    [0] = 3, ['&'] = 3, ['<'] = 3, ['>'] = 3, ['\r'] = 3, ['"'] = 2, ['\n'] = 2, ['\t'] = 2,
};

/* Appends up to count bytes of text (stopping at its NUL; bounded says
 * whether count applies at all), escaped; returns the bytes of text
 * consumed. Plain runs are found first and copied whole. */
EZXML_ALWAYS_INLINE size_t escape_in(sbuf *o, const char *text, size_t count, unsigned char mask, int bounded) {
    size_t i = 0;
    for (;;) {
        /* Replacements padded to 8 bytes, so that each is copied as one word. */
        static const char reps[7][8] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#xA;", "&#x9;", "&#xD;"};
        static const unsigned char rep_len[7] = {5, 4, 4, 6, 5, 5, 5};
        const size_t run = i;
        int k;
        if (bounded) {
            while (i < count && !(esc_class[(unsigned char)text[i]] & mask)) ++i;
        } else {
            for (;; i += 4) {
                if (esc_class[(unsigned char)text[i]] & mask) break;
                if (esc_class[(unsigned char)text[i + 1]] & mask) {
                    i += 1;
                    break;
                }
                if (esc_class[(unsigned char)text[i + 2]] & mask) {
                    i += 2;
                    break;
                }
                if (esc_class[(unsigned char)text[i + 3]] & mask) {
                    i += 3;
                    break;
                }
            }
        }
        if (i != run) {
            if (!room(o, i - run)) return run;
            copy_out(o->w, text + run, i - run);
            o->w += i - run;
        }
        if (bounded && i >= count) return i;
        switch (text[i]) {
        case 0: return i;
        case '&': k = 0; break;
        case '<': k = 1; break;
        case '>': k = 2; break;
        case '"': k = 3; break;
        case '\n': k = 4; break;
        case '\t': k = 5; break;
        default: k = 6; break;
        }
        if (!room(o, 8)) return i;
        memcpy(o->w, reps[k], 8);
        o->w += rep_len[k];
        ++i;
    }
}

/* Text mode, up to count bytes. */
static size_t escape_text_n(sbuf *o, const char *text, size_t count) { return escape_in(o, text, count, 1, 1); }
/* Text mode, to the NUL. */
static void escape_text(sbuf *o, const char *text) { escape_in(o, text, 0, 1, 0); }
/* Attribute mode, to the NUL. */
static void escape_attr(sbuf *o, const char *text) { escape_in(o, text, 0, 2, 0); }

/* Appends lead (1 or 2 bytes), name and tail (0 to 2 bytes). */
static void put_name(sbuf *o, const char *lead, size_t lead_len, const char *name, const char *tail, size_t tail_len) {
    const size_t n = strlen(name);
    if (!room(o, lead_len + n + tail_len)) return;
    o->w[0] = lead[0];
    if (lead_len > 1) o->w[1] = lead[1];
    o->w += lead_len;
    copy_out(o->w, name, n);
    o->w += n;
    if (tail_len > 0) o->w[0] = tail[0];
    if (tail_len > 1) o->w[1] = tail[1];
    o->w += tail_len;
}

static void write_attr(sbuf *o, const char *name, const char *value) {
    put_name(o, " ", 1, name, "=\"", 2);
    if (*value) escape_attr(o, value);
    if (room(o, 1)) *o->w++ = '"';
}

static int earlier_name(char **list, size_t stride, size_t upto, const char *name) {
    size_t i;
    for (i = 0; i < upto; i += stride)
        if (list[i][0] == name[0] && strcmp(list[i], name) == 0) return 1;
    return 0;
}

/* Copies a name of n bytes behind lead (1 or 2 bytes), and ">" if close. */
EZXML_ALWAYS_INLINE void put_tag(sbuf *o, const char *lead, size_t lead_len, const char *name, size_t n, int close) {
    char *w;
    if (!room(o, n + 3)) return;
    w = o->w;
    w[0] = lead[0];
    w[1] = lead[1];
    w += lead_len;
    if (n >= 4) {
        copy_out(w, name, n);
    } else if (n > 0) {
        /* 1 to 3 bytes: first, middle and last cover them all. */
        w[0] = name[0];
        w[n / 2] = name[n / 2];
        w[n - 1] = name[n - 1];
    }
    w += n;
    if (close) *w++ = '>';
    o->w = w;
}

/* The start tag of x, whose name has n bytes. */
static uint64_t first_byte_bit(const char *name) { return (uint64_t)1 << ((unsigned char)name[0] & 63); }

static void open_tag(sbuf *o, const ezxml_node *x, size_t n, char ***defaults) {
    char **a = x->attrs, **d;
    uint64_t own_names = 0;
    size_t i;
    if (!a[0] && !*defaults) {
        put_tag(o, "<", 1, x->name, n, 1);
        return;
    }
    put_tag(o, "<", 1, x->name, n, 0);
    /* Names are compared with the earlier ones only when one of those began
     * with a byte of the same bit in this 64-bit set. */
    for (i = 0; a[i]; i += 2) {
        const uint64_t bit = first_byte_bit(a[i]);
        if (!(own_names & bit) || !earlier_name(a, 2, i, a[i])) write_attr(o, a[i], a[i + 1] ? a[i + 1] : "");
        own_names |= bit;
    }
    d = *defaults ? ezxml_defaults_lookup(&o->defaults, defaults, x->name, n) : NULL;
    if (d) {
        uint64_t default_names = 0;
        for (i = 1; d[i]; i += 3) {
            const uint64_t bit = first_byte_bit(d[i]);
            const int skip = !d[i + 1] || ((own_names & bit) && earlier_name(a, 2, 2 * ezxml_attr_count(a), d[i])) ||
                             ((default_names & bit) && earlier_name(d + 1, 3, i - 1, d[i]));
            default_names |= bit;
            if (!skip) write_attr(o, d[i], d[i + 1]);
        }
    }
    if (room(o, 1)) *o->w++ = '>';
}

static void close_tag(sbuf *o, const ezxml_node *x, size_t n) { put_tag(o, "</", 2, x->name, n, 1); }

static void write_instructions(sbuf *o, ezxml_root *root, char skip, int before) {
    char ***t;
    size_t i;
    for (t = root->instructions; *t; ++t) {
        const char *target = (*t)[0], *pos;
        for (i = 1; (*t)[i]; ++i) {
        }
        pos = (*t)[i + 1];
        for (i = 1; (*t)[i]; ++i) {
            const char *text = (*t)[i];
            if (pos[i - 1] == skip) continue;
            if (!before) put(o, "\n", 1);
            put(o, "<?", 2);
            puts_(o, target);
            if (*text) put(o, " ", 1);
            puts_(o, text);
            put(o, "?>", 2);
            if (before) put(o, "\n", 1);
        }
    }
}

typedef struct {
    const ezxml_node *node; /* the open element */
    size_t name_len;        /* bytes of its name */
    size_t written;         /* bytes of its parent's text written so far */
} open_element;

static void write_tree(sbuf *o, const ezxml_node *top, char ***defaults) {
    open_element local[64], *stack = local, *grown;
    size_t depth = 0, cap = 64;
    const ezxml_node *x = top;
    /* The element whose text surrounds x, and how much of it is written. */
    const char *ptext = "";
    size_t written = 0, n;

    for (;;) {
        /* Enter x: the parent text in front of it, its start tag. */
        if (x != top && x->offset > written) written += escape_text_n(o, ptext + written, x->offset - written);
        n = strlen(x->name);
        open_tag(o, x, n, defaults);
        if (x->child) {
            if (depth == cap) {
                if (cap > ((size_t)-1) / (2 * sizeof *stack)) goto fail;
                grown = (open_element *)ezxml_malloc(2 * cap * sizeof *stack);
                if (!grown) goto fail;
                memcpy(grown, stack, depth * sizeof *stack);
                if (stack != local) free(stack);
                stack = grown;
                cap *= 2;
            }
            stack[depth].node = x;
            stack[depth].name_len = n;
            stack[depth].written = written;
            ++depth;
            ptext = x->text;
            written = 0;
            x = x->child;
            continue;
        }
        if (*x->text) escape_text(o, x->text);

        /* Leave x, and every parent whose last child x was. */
        for (;;) {
            close_tag(o, x, n);
            if (x == top) goto done;
            if (x->ordered) break;
            escape_text(o, ptext + written);
            --depth;
            x = stack[depth].node;
            n = stack[depth].name_len;
            written = stack[depth].written;
            ptext = x == top || !depth ? "" : stack[depth - 1].node->text;
        }
        x = x->ordered;
    }
done:
    if (stack != local) free(stack);
    return;
fail:
    o->failed = 1;
    if (stack != local) free(stack);
}

char *ezxml_toxml(ezxml_node *node) {
    sbuf o;
    ezxml_root *root;
    ezxml_node *r;
    o.buf = (char *)ezxml_malloc(1024);
    if (!o.buf) return NULL;
    o.w = o.buf;
    o.lim = o.buf + 1023;
    o.failed = 0;
    o.buf[0] = '\0';
    if (!node || !node->name) return o.buf;
    memset(&o.defaults, 0, sizeof o.defaults);

    for (r = node; r->parent; r = r->parent) {
    }
    root = (ezxml_root *)(void *)r;
    if (!node->parent) write_instructions(&o, root, '>', 1);
    write_tree(&o, node, root->attr_defaults);
    if (!node->parent) write_instructions(&o, root, '<', 0);
    ezxml_defaults_index_reset(&o.defaults);
    if (o.failed) {
        free(o.buf);
        return NULL;
    }
    *o.w = '\0';
    {
        char *shrunk = (char *)realloc(o.buf, (size_t)(o.w - o.buf) + 1);
        return shrunk ? shrunk : o.buf;
    }
}
