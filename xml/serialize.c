/* The serializer: an element and its subtree as XML text in one heap block.
 *
 * The walk keeps its own stack of open elements, so neither depth nor a long
 * run of siblings uses the C stack, and the tree is never modified. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

typedef struct {
    char *buf;
    size_t len, cap;
    int failed;
} sbuf;

static int room(sbuf *o, size_t n) {
    size_t need = o->len + n + 1, cap;
    char *grown;
    if (o->failed) return 0;
    if (need <= o->cap) return 1;
    if (need < o->len) goto fail;
    cap = o->cap;
    while (cap < need) {
        if (cap > ((size_t)-1) / 2) {
            cap = need;
            break;
        }
        cap *= 2;
    }
    grown = (char *)ezxml_realloc(o->buf, cap);
    if (!grown) goto fail;
    o->buf = grown;
    o->cap = cap;
    return 1;
fail:
    o->failed = 1;
    return 0;
}

static void put(sbuf *o, const char *s, size_t n) {
    if (!room(o, n)) return;
    memcpy(o->buf + o->len, s, n);
    o->len += n;
}

static void puts_(sbuf *o, const char *s) { put(o, s, strlen(s)); }

/* Bytes escaped in text (1) and in attribute values (2); NUL ends both. */
static const unsigned char esc_class[256] = {
    [0] = 3, ['&'] = 3, ['<'] = 3, ['>'] = 3, ['\r'] = 3, ['"'] = 2, ['\n'] = 2, ['\t'] = 2,
};

/* Appends up to count bytes of text (stopping at its NUL), escaped; returns
 * the number of bytes of text consumed. Works in chunks that have room for
 * the longest escape of every byte, so the inner loop writes unchecked. */
#define CHUNK 256
static size_t escape(sbuf *o, const char *text, size_t count, int attribute) {
    const unsigned char mask = attribute ? 2 : 1;
    size_t i = 0;
    while (i < count) {
        char *w;
        size_t stop = count - i < CHUNK ? count : i + CHUNK;
        if (!room(o, 6 * CHUNK)) return i;
        w = o->buf + o->len;
        for (; i < stop; ++i) {
            const unsigned char c = (unsigned char)text[i];
            const char *rep;
            size_t n;
            if (!(esc_class[c] & mask)) {
                *w++ = (char)c;
                continue;
            }
            switch (c) {
            case 0: o->len = (size_t)(w - o->buf); return i;
            case '&': rep = "&amp;", n = 5; break;
            case '<': rep = "&lt;", n = 4; break;
            case '>': rep = "&gt;", n = 4; break;
            case '"': rep = "&quot;", n = 6; break;
            case '\n': rep = "&#xA;", n = 5; break;
            case '\t': rep = "&#x9;", n = 5; break;
            default: rep = "&#xD;", n = 5; break;
            }
            memcpy(w, rep, n);
            w += n;
        }
        o->len = (size_t)(w - o->buf);
    }
    return i;
}

/* Appends lead, name and tail (tail at most 2 bytes); short names are
 * copied while they are measured. */
static void put_name(sbuf *o, const char *lead, size_t lead_len, const char *name, const char *tail, size_t tail_len) {
    size_t i;
    char *w;
    if (!room(o, lead_len + 64 + tail_len)) return;
    w = o->buf + o->len;
    memcpy(w, lead, lead_len);
    w += lead_len;
    for (i = 0; i < 64 && name[i]; ++i) w[i] = name[i];
    if (name[i]) {
        o->len = (size_t)(w - o->buf);
        puts_(o, name);
        put(o, tail, tail_len);
        return;
    }
    w += i;
    memcpy(w, tail, tail_len);
    o->len = (size_t)(w + tail_len - o->buf);
}

static void write_attr(sbuf *o, const char *name, const char *value) {
    put_name(o, " ", 1, name, "=\"", 2);
    if (*value) escape(o, value, (size_t)-1, 1);
    put(o, "\"", 1);
}

static int earlier_name(char **list, size_t stride, size_t upto, const char *name) {
    size_t i;
    for (i = 0; i < upto; i += stride)
        if (list[i][0] == name[0] && strcmp(list[i], name) == 0) return 1;
    return 0;
}

static void open_tag(sbuf *o, const ezxml_node *x, char ***defaults) {
    char **a = x->attrs, **d;
    size_t i;
    put_name(o, "<", 1, x->name, "", 0);
    for (i = 0; a[i]; i += 2)
        if (!earlier_name(a, 2, i, a[i])) write_attr(o, a[i], a[i + 1] ? a[i + 1] : "");
    d = *defaults ? ezxml_find_defaults(defaults, x->name) : NULL;
    if (d) {
        for (i = 1; d[i]; i += 3) {
            if (!d[i + 1] || earlier_name(a, 2, 2 * ezxml_attr_count(a), d[i]) ||
                earlier_name(d + 1, 3, i - 1, d[i]))
                continue;
            write_attr(o, d[i], d[i + 1]);
        }
    }
    put(o, ">", 1);
}

static void close_tag(sbuf *o, const ezxml_node *x) { put_name(o, "</", 2, x->name, ">", 1); }

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
    size_t written;         /* bytes of its text written so far */
} open_element;

static void write_tree(sbuf *o, const ezxml_node *top, char ***defaults) {
    open_element local[64], *stack = local, *grown;
    size_t depth = 0, cap = 64;
    const ezxml_node *x = top;
    /* The element whose text surrounds x, and how much of it is written. */
    const char *ptext = "";
    size_t written = 0;

    for (;;) {
        /* Enter x: the parent text in front of it, its start tag. */
        if (x != top && x->offset > written) written += escape(o, ptext + written, x->offset - written, 0);
        open_tag(o, x, defaults);
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
            stack[depth].written = written;
            ++depth;
            ptext = x->text;
            written = 0;
            x = x->child;
            continue;
        }
        if (*x->text) escape(o, x->text, (size_t)-1, 0);

        /* Leave x, and every parent whose last child x was. */
        for (;;) {
            close_tag(o, x);
            if (x == top) goto done;
            if (x->ordered) break;
            escape(o, ptext + written, (size_t)-1, 0);
            --depth;
            x = stack[depth].node;
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
    o.len = 0;
    o.cap = 1024;
    o.failed = 0;
    o.buf[0] = '\0';
    if (!node || !node->name) return o.buf;

    for (r = node; r->parent; r = r->parent) {
    }
    root = (ezxml_root *)(void *)r;
    if (!node->parent) write_instructions(&o, root, '>', 1);
    write_tree(&o, node, root->attr_defaults);
    if (!node->parent) write_instructions(&o, root, '<', 0);
    if (o.failed) {
        free(o.buf);
        return NULL;
    }
    o.buf[o.len] = '\0';
    {
        char *shrunk = (char *)realloc(o.buf, o.len + 1);
        return shrunk ? shrunk : o.buf;
    }
}
