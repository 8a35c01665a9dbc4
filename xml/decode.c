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

/* Entity values nest at most this deep; a reference below that stays as written. */
#define MAX_NESTING 64

static inline size_t utf8_encode(long number, char *out) {
    uint32_t v = (uint32_t)(unsigned long)number;
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

size_t ezxml_utf8_encode(long number, char *out) { return utf8_encode(number, out); }

/* Reads a number as strtol does in the C locale (leading white space, a
 * sign, an optional 0x for base 16, saturation), from a NUL-ended text. */
static long read_number(const char *p, int base, const char **end) {
    int negative = 0, any = 0;
    unsigned long acc = 0, limit;
    const char *start = p;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        const char c = p[2];
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) p += 2;
    }
    limit = negative ? (unsigned long)LONG_MAX + 1ul : (unsigned long)LONG_MAX;
    for (;; ++p) {
        int d;
        if (*p >= '0' && *p <= '9')
            d = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            d = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            d = *p - 'A' + 10;
        else
            break;
        any = 1;
        if (acc > (limit - (unsigned long)d) / (unsigned long)base)
            acc = limit; /* saturate, keep consuming digits */
        else
            acc = acc * (unsigned long)base + (unsigned long)d;
    }
    if (!any) {
        *end = start;
        return 0;
    }
    *end = p;
    if (negative) return acc == (unsigned long)LONG_MAX + 1ul ? LONG_MIN : -(long)acc;
    return (long)acc;
}

/* The common form of a character reference: up to 7 plain digits and the
 * ";". -1 for anything else (read_number then reads it as strtol would). */
static inline long read_plain_number(const char *p, int base, const char **end) {
    long v = 0;
    int i;
    for (i = 0; i < 7; ++i) {
        const unsigned char c = (unsigned char)p[i];
        long d;
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

char *ezxml_decode_n(char *s, char **table, char mode, size_t *budget, size_t *out_len) {
    return ezxml_decode_ix(s, table, NULL, mode, budget, out_len);
}

char *ezxml_decode_ix(char *s, char **table, ezxml_entity_index *ix, char mode, size_t *budget,
                      size_t *out_len) {
    output o;
    const char *stack[MAX_NESTING]; /* read positions of the outer segments */
    const char *cur = s;
    size_t depth = 0;
    unsigned main_mask, value_mask;
    const int attr_mode = mode == EZXML_MODE_ATTR || mode == EZXML_MODE_TOKEN;
    const char ref_byte = mode == EZXML_MODE_ENTITY ? '%' : '&';
    const int expand_entities = mode != EZXML_MODE_CDATA;
    int predefined_first = -1; /* whether table starts with the predefined pairs; -1: not looked yet */

    switch (mode) {
    case EZXML_MODE_CDATA: main_mask = D_NUL | D_CR; break;
    case EZXML_MODE_ENTITY: main_mask = D_NUL | D_CR | D_AMP | D_PCT; break;
    case EZXML_MODE_ATTR:
    case EZXML_MODE_TOKEN: main_mask = D_NUL | D_CR | D_AMP | D_WS; break;
    default: main_mask = D_NUL | D_CR | D_AMP; break;
    }
    /* Line ends are normalised in the caller's text only, not in values. */
    value_mask = main_mask & ~(unsigned)D_CR;
    if (attr_mode) value_mask |= D_WS;

    /* Most texts hold nothing to decode: find the first byte that matters. */
    cur = find_class(cur, main_mask);
    if (!*cur && mode != EZXML_MODE_TOKEN) {
        if (out_len) *out_len = (size_t)(cur - s);
        return s;
    }

    o.s = s;
    o.heap = NULL;
    o.len = (size_t)(cur - s);
    o.cap = 0;

    for (;;) {
        const unsigned mask = depth ? value_mask : main_mask;
        const char *run = cur, *main_read;
        unsigned char c;
        cur = find_class(cur, mask);
        main_read = depth ? stack[0] : cur;
        if (cur != run && !emit(&o, run, (size_t)(cur - run), main_read)) goto fail;
        c = (unsigned char)*cur;
        if (c == 0) {
            if (!depth) break;
            cur = stack[--depth];
            continue;
        }
        if (c == '\r' && !depth) {
            /* CR LF becomes LF, a lone CR becomes LF (a space in attributes). */
            ++cur;
            if (*cur == '\n') continue;
            if (!emit_short(&o, attr_mode ? " " : "\n", 1, depth ? stack[0] : cur)) goto fail;
            continue;
        }
        if (dclass[c] & D_WS) {
            ++cur;
            if (!emit_short(&o, " ", 1, depth ? stack[0] : cur)) goto fail;
            continue;
        }

        /* "&" or "%". */
        if (c == '&' && cur[1] == '#') {
            const char *digits = cur + 2, *end;
            int base = 10;
            long number;
            if (*digits == 'x') {
                base = 16;
                ++digits;
            }
            number = read_plain_number(digits, base, &end);
            if (number < 0) number = read_number(digits, base, &end);
            /* 0, or a number whose 32-bit form is 0, would end the text early. */
            if (number != 0 && (uint32_t)(unsigned long)number != 0 && end != digits && *end == ';') {
                char utf8[8];
                size_t n = utf8_encode(number, utf8);
                cur = end + 1;
                if (!emit_short(&o, utf8, n, depth ? stack[0] : cur)) goto fail;
                continue;
            }
        } else if (c == (unsigned char)ref_byte && expand_entities) {
            char **entry;
            if (c == '&') {
                /* The predefined pairs come first in the table, so when
                 * one of them matches no other entry can match before it. */
                int k;
                if (predefined_first < 0) predefined_first = starts_predefined(table);
                k = predefined_first ? match_predefined(cur + 1) : -1;
                if (k >= 0) {
                    static const char chars[5] = {'<', '>', '"', '\'', '&'};
                    static const unsigned char name_lens[5] = {3, 3, 5, 5, 4};
                    const char ch = chars[k];
                    cur += 1 + name_lens[k];
                    /* The value (5 bytes) replaces a reference of 1 + name length. */
                    if (!o.heap && 5 > 1 + name_lens[k] && !to_heap(&o, 1, depth ? stack[0] : cur)) goto fail;
                    if (!emit_short(&o, &ch, 1, depth ? stack[0] : cur)) goto fail;
                    continue;
                }
            }
            entry = ix ? ezxml_entity_index_match(ix, table, cur + 1) : ezxml_match_entity(table, cur + 1);
            if (entry) {
                const size_t name_len = strlen(entry[0]);
                const char *value = entry[1] ? entry[1] : "";
                const int pre = predefined_char(value);
                if (pre) {
                    const char ch = (char)pre;
                    cur += 1 + name_len;
                    /* The value (5 bytes) replaces a reference of 1 + name_len. */
                    if (!o.heap && 5 > 1 + name_len && !to_heap(&o, 1, depth ? stack[0] : cur)) goto fail;
                    if (!emit_short(&o, &ch, 1, depth ? stack[0] : cur)) goto fail;
                    continue;
                }
                {
                    const size_t value_len = strlen(value);
                    if (depth < MAX_NESTING && value_len < *budget) {
                        *budget -= value_len + 1;
                        cur += 1 + name_len;
                        if (!o.heap && value_len > 1 + name_len && !to_heap(&o, value_len, depth ? stack[0] : cur)) goto fail;
                        stack[depth++] = cur;
                        cur = value;
                        continue;
                    }
                    /* Over the budget or too deep: the reference stays as written. */
                }
            }
        }
        /* Not a reference: keep the byte. */
        ++cur;
        if (!emit_short(&o, cur - 1, 1, depth ? stack[0] : cur)) goto fail;
    }

    {
        char *out = o.heap ? o.heap : o.s;
        if (mode == EZXML_MODE_TOKEN) collapse_tokens(out, &o.len);
        if (o.heap && !heap_room(&o, 0)) goto fail;
        out = o.heap ? o.heap : o.s;
        out[o.len] = '\0';
        if (out_len) *out_len = o.len;
        return out;
    }

fail:
    free(o.heap);
    return NULL;
}

size_t ezxml_default_budget(size_t input_length) {
    const size_t base = (size_t)1 << 20;
    if (input_length > (((size_t)-1) - base) / 16) return (size_t)-1;
    return base + 16 * input_length;
}

char *ezxml_decode_budget(char *s, char **entities, char mode, size_t *budget) {
    return ezxml_decode_n(s, entities, mode, budget, NULL);
}

char *ezxml_decode(char *s, char **entities, char mode) {
    size_t budget;
    if (!s) return NULL;
    budget = ezxml_default_budget(strlen(s));
    return ezxml_decode_n(s, entities, mode, &budget, NULL);
}
