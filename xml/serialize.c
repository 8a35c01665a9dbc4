/* The serializer: an element and its subtree as XML text in one heap block.
 *
 * The walk keeps its own stack of open elements, so neither depth nor a long
 * run of siblings uses the C stack, and the tree is never modified. */
#include "ezxml_internal.h"
#include "ezxml_writer.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    const char *name;
    uint32_t hash;  /* low bits of the name's hash, compared first */
    uint32_t stamp; /* the element it was added for; others read as free */
} name_slot;

/* The attribute names met so far in one start tag, for tags with many
 * attributes: comparing each name with every earlier one would make a tag
 * of n attributes cost n * n. Slots carry the stamp of their element, so
 * moving on to the next element clears the set in constant time. */
typedef struct {
    name_slot *slots;
    size_t mask, entries; /* the set holds up to entries names */
    uint32_t stamp;
} name_set;

typedef struct {
    ezxml_writer out;
    ezxml_defaults_index defaults;
    name_set names;
} sbuf;

/* Tags with more names than this (own attributes and defaults) use the set. */
#define FEW_NAMES 16

/* An empty set for up to entries names; 0 when out of memory. */
static int names_start(name_set *s, size_t entries) {
    if (!s->slots || entries > s->entries) {
        size_t mask;
        name_slot *slots = (name_slot *)ezxml_hash_slots(entries, sizeof *slots, &mask);
        if (!slots) return 0;
        free(s->slots);
        s->slots = slots;
        s->mask = mask;
        s->entries = (mask + 1) / 2 - 1;
        s->stamp = 0;
    }
    if (++s->stamp == 0) {
        /* The stamp went round: clear for real once. */
        memset(s->slots, 0, (s->mask + 1) * sizeof *s->slots);
        s->stamp = 1;
    }
    return 1;
}

/* Adds name; 1 when it was not in the set yet, 0 when it was. */
static int names_add(name_set *s, const char *name) {
    const size_t h = ezxml_bytes_hash(name, strlen(name));
    size_t i = h & s->mask;
    name_slot *slot;
    /* The set has more than twice the slots it holds names, so a probe
     * always meets a free one. */
    for (;; i = (i + 1) & s->mask) {
        slot = &s->slots[i];
        if (slot->stamp != s->stamp) break;
        if (slot->hash == (uint32_t)h && strcmp(slot->name, name) == 0) return 0;
    }
    slot->name = name;
    slot->hash = (uint32_t)h;
    slot->stamp = s->stamp;
    return 1;
}

static void put(sbuf *o, const char *s, size_t n) { ezxml_writer_put(&o->out, s, n); }

static void puts_(sbuf *o, const char *s) { put(o, s, strlen(s)); }

/* The writer's escaping, specialised here for the serializer's loops. */
static size_t escape_text_n(sbuf *o, const char *text, size_t count) {
    return ezxml_writer_escape(&o->out, text, count, EZXML_ESCAPE_TEXT, 1);
}
static void escape_text(sbuf *o, const char *text) { ezxml_writer_escape(&o->out, text, 0, EZXML_ESCAPE_TEXT, 0); }
static void write_attr(sbuf *o, const char *name, const char *value) {
    ezxml_writer_put_attribute(&o->out, name, value);
}

static int earlier_name(char **list, size_t stride, size_t upto, const char *name) {
    size_t i;
    for (i = 0; i < upto; i += stride)
        if (list[i][0] == name[0] && strcmp(list[i], name) == 0) return 1;
    return 0;
}

static uint64_t first_byte_bit(const char *name) { return (uint64_t)1 << ((unsigned char)name[0] & 63); }

/* The attributes of a tag with own attributes and nd defaults d, when
 * there are too many names to compare each with the earlier ones. */
static void write_many(sbuf *o, char **a, char **d, size_t names) {
    size_t i;
    if (!names_start(&o->names, names)) {
        o->out.failed = 1;
        return;
    }
    for (i = 0; a[i]; i += 2)
        if (names_add(&o->names, a[i])) write_attr(o, a[i], a[i + 1] ? a[i + 1] : "");
    if (d)
        for (i = 1; d[i]; i += 3)
            if (names_add(&o->names, d[i]) && d[i + 1]) write_attr(o, d[i], d[i + 1]);
}

/* The attributes of a tag with few names: each is compared with the earlier
 * ones only when one of those began with a byte of the same bit in a
 * 64-bit set. */
static void write_few(sbuf *o, char **a, size_t own, char **d) {
    uint64_t own_names = 0, default_names = 0;
    size_t i;
    for (i = 0; a[i]; i += 2) {
        const uint64_t bit = first_byte_bit(a[i]);
        if (!(own_names & bit) || !earlier_name(a, 2, i, a[i])) write_attr(o, a[i], a[i + 1] ? a[i + 1] : "");
        own_names |= bit;
    }
    if (!d) return;
    for (i = 1; d[i]; i += 3) {
        const uint64_t bit = first_byte_bit(d[i]);
        const int skip = !d[i + 1] || ((own_names & bit) && earlier_name(a, 2, 2 * own, d[i])) ||
                         ((default_names & bit) && earlier_name(d + 1, 3, i - 1, d[i]));
        default_names |= bit;
        if (!skip) write_attr(o, d[i], d[i + 1]);
    }
}

/* The start tag of x, whose name has n bytes. Each attribute name is
 * written the first time it comes, own attributes before the defaults the
 * DTD gives x's name; a default is skipped when it has no value, when x sets
 * the attribute itself or when an earlier default named it. */
#if defined(__GNUC__)
__attribute__((noinline))
#endif
static void open_tag_with_attrs(sbuf *o, const ezxml_node *x, size_t n, char ***defaults) {
    char **a = x->attrs, **d = *defaults ? ezxml_defaults_lookup(&o->defaults, defaults, x->name, n) : NULL;
    const size_t own = ezxml_attr_count(a);
    size_t names = own, i;
    if (d)
        for (i = 1; d[i]; i += 3) ++names;
    ezxml_writer_start_tag(&o->out, x->name, n, 0);
    if (names > FEW_NAMES)
        write_many(o, a, d, names);
    else
        write_few(o, a, own, d);
    ezxml_writer_byte(&o->out, '>');
}

/* The common cases inline, kept small so that the walk around them keeps
 * its state in registers: no attributes, or a few and no DTD defaults
 * (write_few's rule, written out here: as a call it costs more). */
EZXML_ALWAYS_INLINE void open_tag(sbuf *o, const ezxml_node *x, size_t n, char ***defaults) {
    char **a = x->attrs;
    uint64_t own_names = 0;
    size_t i;
    if (*defaults) {
        open_tag_with_attrs(o, x, n, defaults);
        return;
    }
    if (!a[0]) {
        ezxml_writer_start_tag(&o->out, x->name, n, 1);
        return;
    }
    for (i = 0; a[i]; i += 2)
        if (i == 2 * FEW_NAMES) {
            open_tag_with_attrs(o, x, n, defaults);
            return;
        }
    ezxml_writer_start_tag(&o->out, x->name, n, 0);
    for (i = 0; a[i]; i += 2) {
        const uint64_t bit = first_byte_bit(a[i]);
        if (!(own_names & bit) || !earlier_name(a, 2, i, a[i])) write_attr(o, a[i], a[i + 1] ? a[i + 1] : "");
        own_names |= bit;
    }
    ezxml_writer_byte(&o->out, '>');
}

static void close_tag(sbuf *o, const ezxml_node *x, size_t n) { ezxml_writer_end_tag(&o->out, x->name, n); }

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
    o->out.failed = 1;
    if (stack != local) free(stack);
}

char *ezxml_toxml(ezxml_node *node) {
    sbuf o;
    ezxml_root *root;
    ezxml_node *r;
    if (!ezxml_writer_init(&o.out, 1024)) return NULL;
    if (!node || !node->name) return ezxml_writer_take(&o.out);
    memset(&o.defaults, 0, sizeof o.defaults);
    memset(&o.names, 0, sizeof o.names);

    for (r = node; r->parent; r = r->parent) {
    }
    root = (ezxml_root *)(void *)r;
    if (!node->parent) write_instructions(&o, root, '>', 1);
    write_tree(&o, node, root->attr_defaults);
    if (!node->parent) write_instructions(&o, root, '<', 0);
    ezxml_defaults_index_reset(&o.defaults);
    free(o.names.slots);
    return ezxml_writer_take(&o.out);
}
