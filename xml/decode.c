/* Text decoding: line ends, character and entity references, white space.
 *
 * The decoder reads the string once. An entity reference is replaced by its
 * value, which is then read in turn (so references inside it expand); the
 * values being read form a small stack of segments above the string itself.
 * Output is written in place while it cannot overtake the reading, which
 * holds as long as no replacement was longer than its reference; the first
 * longer one moves the result to a heap block, as the caller expects. */
#include "ezxml_internal.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum { D_NUL = 1, D_AMP = 2, D_PCT = 4, D_CR = 8, D_WS = 16 };

/* D_WS: the C white-space bytes that attribute modes turn into spaces. */
static const unsigned char dclass[256] = {
    [0] = D_NUL, ['&'] = D_AMP, ['%'] = D_PCT, ['\r'] = D_CR | D_WS,
    ['\t'] = D_WS, ['\n'] = D_WS, [0x0B] = D_WS, [0x0C] = D_WS,
};

/* The first byte at or after p whose class is in mask; every mask holds
 * D_NUL, so the scan stops at the terminator and reads nothing past it. */
static const char *find_class(const char *p, unsigned mask) {
    for (;; p += 4) {
        if (dclass[(unsigned char)p[0]] & mask) return p;
        if (dclass[(unsigned char)p[1]] & mask) return p + 1;
        if (dclass[(unsigned char)p[2]] & mask) return p + 2;
        if (dclass[(unsigned char)p[3]] & mask) return p + 3;
    }
}

/* Entity values nest at most this deep; a deeper reference stops the decoding. */
#define MAX_NESTING 64

/* The highest code point a character reference may name. */
#define MAX_CODE_POINT 0x10FFFFu

static inline size_t utf8_encode(uint32_t v, char *out) {
    unsigned bits = 0, k, i;
    if (v < 128 || (v & 0x80000000u)) {
        /* Below 128 as a signed 32-bit number: one byte, its low 8 bits. */
        out[0] = (char)(v & 0xFF);
        return 1;
    }
#if defined(__GNUC__)
    bits = 32u - (unsigned)__builtin_clz(v);
#else
    for (uint32_t t = v; t; t >>= 1) ++bits;
#endif
    k = (bits - 2) / 5;
    out[0] = (char)(((0xFFu << (7 - k)) | (v >> (6 * k))) & 0xFF);
    for (i = 0; i < k; ++i) out[1 + i] = (char)(0x80 | ((v >> (6 * (k - 1 - i))) & 0x3F));
    return k + 1;
}

size_t ezxml_utf8_encode(uint32_t v, char *out) { return utf8_encode(v, out); }

/* Reads a number as strtol does in the C locale (leading white space, a
 * sign, an optional 0x for base 16), from a NUL-ended text, into 64 bits
 * whatever the width of long, saturating at the 64-bit limits. */
static int64_t read_number(const char *p, int base, const char **end) {
    int negative = 0, any = 0;
    uint64_t acc = 0;
    const uint64_t limit = (uint64_t)INT64_MAX;
    const char *start = p;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        const char c = p[2];
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) p += 2;
    }
    for (;; ++p) {
        unsigned d;
        if (*p >= '0' && *p <= '9')
            d = (unsigned)(*p - '0');
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            d = (unsigned)(*p - 'a' + 10);
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            d = (unsigned)(*p - 'A' + 10);
        else
            break;
        any = 1;
        if (acc > (limit - d) / (unsigned)base)
            acc = limit; /* saturate, keep consuming digits */
        else
            acc = acc * (unsigned)base + d;
    }
    if (!any) {
        *end = start;
        return 0;
    }
    *end = p;
    return negative ? -(int64_t)acc : (int64_t)acc;
}

/* The common form of a character reference: up to 7 plain digits and the
 * ";". -1 for anything else (read_number then reads it as strtol would). */
static inline int32_t read_plain_number(const char *p, int base, const char **end) {
    int32_t v = 0;
    int i;
    for (i = 0; i < 7; ++i) {
        const unsigned char c = (unsigned char)p[i];
        int32_t d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            d = (c | 0x20) - 'a' + 10;
        else if (c == ';' && i > 0) {
            *end = p + i;
            return v;
        } else
            return -1;
        v = v * base + d;
    }
    return -1;
}

typedef struct {
    char *s;      /* the caller's string, written in place while possible */
    char *heap;   /* the heap result once the text grew */
    size_t len;   /* output bytes so far */
    size_t cap;   /* heap capacity */
} output;

/* Moves the output to the heap, with room for extra bytes and for the rest
 * of the caller's string at main_read (which decodes to no more bytes than
 * it has, unless an entity value is inserted). */
static int to_heap(output *o, size_t extra, const char *main_read) {
    const size_t rest = strlen(main_read);
    size_t cap = o->len + extra;
    if (cap < o->len || cap + rest < cap || cap + rest + 64 < cap + rest) return 0;
    cap += rest + 64;
    o->heap = (char *)ezxml_malloc(cap);
    if (!o->heap) return 0;
    memcpy(o->heap, o->s, o->len);
    o->cap = cap;
    return 1;
}

static int heap_room(output *o, size_t n) {
    size_t need = o->len + n + 1, cap;
    char *grown;
    if (need < o->len) return 0;
    if (need <= o->cap) return 1;
    cap = o->cap * 2;
    if (cap < need) cap = need;
    grown = (char *)ezxml_realloc(o->heap, cap);
    if (!grown) return 0;
    o->heap = grown;
    o->cap = cap;
    return 1;
}

/* Appends n bytes; main_read is where the caller's string is still unread. */
static int emit_slow(output *o, const char *src, size_t n, const char *main_read) {
    if (!o->heap) {
        char *dst = o->s + o->len;
        if (dst + n <= main_read) {
            if (dst != src) memmove(dst, src, n);
            o->len += n;
            return 1;
        }
        if (!to_heap(o, n, main_read)) return 0;
    }
    if (!heap_room(o, n)) return 0;
    memcpy(o->heap + o->len, src, n);
    o->len += n;
    return 1;
}

/* Copies n bytes forward (dst may overlap src from below); most pieces are short. */
EZXML_ALWAYS_INLINE void copy_forward(char *dst, const char *src, size_t n) {
    if (n > 32) {
        memmove(dst, src, n);
        return;
    }
    /* Each word is read before the store that could reach bytes not yet read. */
    for (; n >= 8; n -= 8, dst += 8, src += 8) {
        uint64_t w;
        memcpy(&w, src, 8);
        memcpy(dst, &w, 8);
    }
    while (n--) *dst++ = *src++;
}

/* Copies n bytes between blocks that do not overlap. */
EZXML_ALWAYS_INLINE void copy_apart(char *dst, const char *src, size_t n) {
    if (n >= 8) {
        uint64_t a, b;
        if (n > 16) {
            memcpy(dst, src, n);
            return;
        }
        memcpy(&a, src, 8);
        memcpy(&b, src + n - 8, 8);
        memcpy(dst, &a, 8);
        memcpy(dst + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        memcpy(&a, src, 4);
        memcpy(&b, src + n - 4, 4);
        memcpy(dst, &a, 4);
        memcpy(dst + n - 4, &b, 4);
    } else {
        while (n--) *dst++ = *src++;
    }
}

/* emit() with the common cases inline: room on the heap, or in place
 * behind the unread text. */
EZXML_ALWAYS_INLINE int emit(output *o, const char *src, size_t n, const char *main_read) {
    if (o->heap) {
        if (o->len + n < o->cap) {
            copy_apart(o->heap + o->len, src, n);
            o->len += n;
            return 1;
        }
    } else if (o->s + o->len + n <= main_read) {
        if (o->s + o->len != src) copy_forward(o->s + o->len, src, n);
        o->len += n;
        return 1;
    }
    return emit_slow(o, src, n, main_read);
}

/* emit() of at most 8 bytes (a character, a UTF-8 sequence). */
EZXML_ALWAYS_INLINE int emit_short(output *o, const char *src, size_t n, const char *main_read) {
    char *dst;
    size_t i;
    if (o->heap) {
        if (o->len + n >= o->cap) return emit_slow(o, src, n, main_read);
        dst = o->heap + o->len;
    } else {
        if (o->s + o->len + n > main_read) return emit_slow(o, src, n, main_read);
        dst = o->s + o->len;
    }
    for (i = 0; i < n; ++i) dst[i] = src[i];
    o->len += n;
    return 1;
}

/* Which predefined entity (0 to 4, in table order) text behind "&" begins
 * with, or -1. */
static int match_predefined(const char *t) {
    int k;
    switch (t[0]) {
    case 'l': k = t[1] == 't' && t[2] == ';' ? 0 : -1; break;
    case 'g': k = t[1] == 't' && t[2] == ';' ? 1 : -1; break;
    case 'q': k = t[1] == 'u' && t[2] == 'o' && t[3] == 't' && t[4] == ';' ? 2 : -1; break;
    case 'a':
        if (t[1] == 'p')
            k = t[2] == 'o' && t[3] == 's' && t[4] == ';' ? 3 : -1;
        else
            k = t[1] == 'm' && t[2] == 'p' && t[3] == ';' ? 4 : -1;
        break;
    default: return -1;
    }
    return k;
}

static int starts_predefined(char **table) {
    int i;
    if (!table) return 0;
    for (i = 0; i < 10; ++i)
        if (table[i] != ezxml_predefined_entities[i]) return 0;
    return 1;
}

/* The predefined entities expand to their character directly. */
static int predefined_char(const char *value) {
    const char *const *pre = (const char *const *)ezxml_predefined_entities;
    if (value == pre[1]) return '<';
    if (value == pre[3]) return '>';
    if (value == pre[5]) return '"';
    if (value == pre[7]) return '\'';
    if (value == pre[9]) return '&';
    return 0;
}

char **ezxml_match_entity(char **table, const char *text) {
    if (!table) return NULL;
    for (; *table; table += 2) {
        const char *n = *table, *t = text;
        if (*n != *t) continue;
        while (*n && *n == *t) ++n, ++t;
        if (!*n) return table;
    }
    return NULL;
}

static void collapse_tokens(char *out, size_t *len) {
    size_t r = 0, w = 0, n = *len;
    while (r < n && out[r] == ' ') ++r;
    for (; r < n; ++r) {
        if (out[r] == ' ' && w > 0 && out[w - 1] == ' ') continue;
        out[w++] = out[r];
    }
    if (w > 0 && out[w - 1] == ' ') --w;
    *len = w;
}

/* One decoding under way: the output, the read position, and the entity
 * values being read (stack[0] is where the caller's string goes on). */
typedef struct {
    output o;
    const char *cur;
    const char *stack[MAX_NESTING];
    size_t depth;
    ezxml_decode_options *opt;
    size_t *budget;
    int predefined_first; /* whether the table starts with the predefined pairs; -1: not looked yet */
    int failure;          /* why decoding stopped: an EZXML_PARSE_ code */
} decoder;

/* Where the caller's string is still unread. */
EZXML_ALWAYS_INLINE const char *main_read(const decoder *d) { return d->depth ? d->stack[0] : d->cur; }

/* A character reference at d->cur ("&#"): 1 when it was written, 0 when it
 * is not one (the byte is then kept), -1 when out of memory. Numbers
 * outside 1 to U+10FFFF stay as written: 0 would end the text early. */
EZXML_ALWAYS_INLINE int char_reference(decoder *d) {
    const char *digits = d->cur + 2, *end;
    int base = 10;
    int64_t number;
    char utf8[8];
    if (*digits == 'x') {
        base = 16;
        ++digits;
    }
    number = read_plain_number(digits, base, &end);
    if (number < 0) number = read_number(digits, base, &end);
    if (number <= 0 || number > (int64_t)MAX_CODE_POINT || end == digits || *end != ';') return 0;
    d->cur = end + 1;
    return emit_short(&d->o, utf8, utf8_encode((uint32_t)number, utf8), main_read(d)) ? 1 : -1;
}

/* One predefined entity, ch, replacing a reference of ref_len bytes. */
EZXML_ALWAYS_INLINE int predefined_reference(decoder *d, char ch, size_t ref_len) {
    d->cur += ref_len;
    /* Its value (5 bytes) would replace the reference: the text may grow. */
    if (!d->o.heap && 5 > ref_len && !to_heap(&d->o, 1, main_read(d))) return -1;
    return emit_short(&d->o, &ch, 1, main_read(d)) ? 1 : -1;
}

/* An entity reference at d->cur: 1 when it was replaced (its value is read
 * next), 0 when it names no entity, -1 when decoding must stop (failure set). */
static int entity_reference(decoder *d) {
    char **table = d->opt->entities, **entry;
    const char *value;
    size_t name_len, value_len;
    if (*d->cur == '&') {
        /* The predefined pairs come first in the table, so when one of
         * them matches no other entry can match before it. */
        int k;
        if (d->predefined_first < 0) d->predefined_first = starts_predefined(table);
        k = d->predefined_first ? match_predefined(d->cur + 1) : -1;
        if (k >= 0) {
            static const char chars[5] = {'<', '>', '"', '\'', '&'};
            static const unsigned char name_lens[5] = {3, 3, 5, 5, 4};
            if (predefined_reference(d, chars[k], 1 + (size_t)name_lens[k]) < 0) goto no_memory;
            return 1;
        }
    }
    entry = d->opt->index ? ezxml_entity_index_match(d->opt->index, table, d->cur + 1)
                          : ezxml_match_entity(table, d->cur + 1);
    if (!entry) return 0;
    name_len = strlen(entry[0]);
    value = entry[1] ? entry[1] : "";
    {
        const int pre = predefined_char(value);
        if (pre) {
            if (predefined_reference(d, (char)pre, 1 + name_len) < 0) goto no_memory;
            return 1;
        }
    }
    value_len = strlen(value);
    /* Every expansion costs its value's bytes and one more, so that empty
     * values cost too; too deep a nesting is an expansion out of bounds. */
    if (d->depth == MAX_NESTING || value_len >= *d->budget) {
        d->failure = EZXML_PARSE_EXPANSION_LIMIT;
        return -1;
    }
    *d->budget -= value_len + 1;
    d->cur += 1 + name_len;
    if (!d->o.heap && value_len > 1 + name_len && !to_heap(&d->o, value_len, main_read(d))) goto no_memory;
    d->stack[d->depth++] = d->cur;
    d->cur = value;
    return 1;
no_memory:
    d->failure = EZXML_PARSE_OUT_OF_MEMORY;
    return -1;
}

/* The result: token mode's collapse, the terminator. NULL when out of memory. */
static char *finish(decoder *d, char mode) {
    output *o = &d->o;
    char *out = o->heap ? o->heap : o->s;
    if (mode == EZXML_MODE_TOKEN) collapse_tokens(out, &o->len);
    if (o->heap && !heap_room(o, 0)) return NULL;
    out = o->heap ? o->heap : o->s;
    out[o->len] = '\0';
    d->opt->length = o->len;
    return out;
}

static unsigned main_mask_of(char mode) {
    switch (mode) {
    case EZXML_MODE_CDATA: return D_NUL | D_CR;
    case EZXML_MODE_ENTITY: return D_NUL | D_CR | D_AMP | D_PCT;
    case EZXML_MODE_ATTR:
    case EZXML_MODE_TOKEN: return D_NUL | D_CR | D_AMP | D_WS;
    default: return D_NUL | D_CR | D_AMP;
    }
}

char *ezxml_decode(char *s, char mode, ezxml_decode_options *opt) {
    decoder d;
    size_t own_budget;
    const unsigned main_mask = main_mask_of(mode);
    const int attr_mode = mode == EZXML_MODE_ATTR || mode == EZXML_MODE_TOKEN;
    const char ref_byte = mode == EZXML_MODE_ENTITY ? '%' : '&';
    const int expand_entities = mode != EZXML_MODE_CDATA;
    /* Line ends are normalised in the caller's text only, not in values. */
    const unsigned value_mask = (main_mask & ~(unsigned)D_CR) | (attr_mode ? (unsigned)D_WS : 0u);

    opt->failure = 0;
    /* Most texts hold nothing to decode: find the first byte that matters. */
    d.cur = find_class(s, main_mask);
    if (!*d.cur && mode != EZXML_MODE_TOKEN) {
        opt->length = (size_t)(d.cur - s);
        return s;
    }
    if (!opt->budget) {
        own_budget = ezxml_expansion_budget(strlen(s));
        d.budget = &own_budget;
    } else {
        d.budget = opt->budget;
    }
    d.opt = opt;
    d.depth = 0;
    d.predefined_first = -1;
    d.failure = EZXML_PARSE_OUT_OF_MEMORY;
    d.o.s = s;
    d.o.heap = NULL;
    d.o.len = (size_t)(d.cur - s);
    d.o.cap = 0;

    for (;;) {
        const char *run = d.cur;
        unsigned char c;
        d.cur = find_class(d.cur, d.depth ? value_mask : main_mask);
        if (d.cur != run && !emit(&d.o, run, (size_t)(d.cur - run), main_read(&d))) goto fail;
        c = (unsigned char)*d.cur;
        if (c == 0) {
            if (!d.depth) break;
            d.cur = d.stack[--d.depth];
            continue;
        }
        if (c == '\r' && !d.depth) {
            /* CR LF becomes LF, a lone CR becomes LF (a space in attributes). */
            ++d.cur;
            if (*d.cur == '\n') continue;
            if (!emit_short(&d.o, attr_mode ? " " : "\n", 1, main_read(&d))) goto fail;
            continue;
        }
        if (dclass[c] & D_WS) {
            ++d.cur;
            if (!emit_short(&d.o, " ", 1, main_read(&d))) goto fail;
            continue;
        }
        /* "&" or "%". */
        if (c == '&' && d.cur[1] == '#') {
            const int done = char_reference(&d);
            if (done < 0) goto fail;
            if (done) continue;
        } else if (c == (unsigned char)ref_byte && expand_entities) {
            const int done = entity_reference(&d);
            if (done < 0) goto fail;
            if (done) continue;
        }
        /* Not a reference: keep the byte. */
        ++d.cur;
        if (!emit_short(&d.o, d.cur - 1, 1, main_read(&d))) goto fail;
    }
    {
        char *out = finish(&d, mode);
        if (out) return out;
    }
fail:
    free(d.o.heap);
    opt->failure = d.failure;
    return NULL;
}

size_t ezxml_expansion_budget(size_t input_length) {
    const size_t threshold = (size_t)EZXML_EXPANSION_THRESHOLD;
    if (input_length > ((size_t)-1) / EZXML_EXPANSION_FACTOR) return (size_t)-1;
    return input_length * EZXML_EXPANSION_FACTOR > threshold ? input_length * EZXML_EXPANSION_FACTOR : threshold;
}
