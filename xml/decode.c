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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const char *s_end; /* its NUL */
    char *heap;   /* the heap result once the text grew */
    size_t len;   /* output bytes so far */
    size_t cap;   /* heap capacity */
} output;

/* Moves the output to the heap, with room for extra bytes and for the rest
 * of the caller's string at main_read (which decodes to no more bytes than
 * it has, unless an entity value is inserted). */
static int to_heap(output *o, size_t extra, const char *main_read) {
    const size_t rest = (size_t)(o->s_end - main_read);
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
EZXML_ALWAYS_INLINE int match_predefined(const char *t) {
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
    d->opt->capacity = o->heap ? o->cap : 0;
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

/* The first byte at or after p of the caller's string whose class is in
 * mask (which holds D_NUL and D_CR; D_AMP, D_PCT, D_WS as the mode says).
 * Where the buffer is known to be readable up to readable_end, 16 bytes are
 * tested at a time; the last ones, or all of them without readable_end, one
 * by one. Most runs between references are a word or two long, so one wide
 * test usually finds the end. */
typedef struct {
#if defined(__SSE2__)
    /* The bytes a wide test looks for: NUL and CR always, one byte each
     * for "&" and "%" and a range from lo to lo + span for white space;
     * a byte or range not looked for is set to stand for NUL again. */
    __m128i amp, pct, ws_lo, ws_span;
#endif
    const char *readable_end;
    unsigned mask;
    int text; /* the mask of text: NUL, CR and "&" only */
} main_scanner;

static main_scanner main_scanner_of(unsigned mask, const char *readable_end) {
    main_scanner m;
#if defined(__SSE2__)
    m.amp = _mm_set1_epi8(mask & D_AMP ? '&' : 0);
    m.pct = _mm_set1_epi8(mask & D_PCT ? '%' : 0);
    /* Tab to CR: the byte minus 9 is at most 4; without D_WS, the byte minus 0 at most 0. */
    m.ws_lo = _mm_set1_epi8(mask & D_WS ? 9 : 0);
    m.ws_span = _mm_set1_epi8(mask & D_WS ? 4 : 0);
#endif
    m.readable_end = readable_end;
    m.mask = mask;
    m.text = mask == (D_NUL | D_CR | D_AMP);
    return m;
}

EZXML_ALWAYS_INLINE const char *scan_main(const char *p, const main_scanner *m) {
#if defined(__SSE2__)
    if (m->readable_end) {
        while (m->readable_end - p >= 16) {
            const __m128i v = _mm_loadu_si128((const __m128i *)(const void *)p);
            __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                                                    _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))),
                                       _mm_cmpeq_epi8(v, m->amp));
            unsigned bits;
            if (!m->text) {
                const __m128i t = _mm_sub_epi8(v, m->ws_lo);
                hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, m->pct),
                                                     _mm_cmpeq_epi8(_mm_min_epu8(t, m->ws_span), t)));
            }
            bits = (unsigned)_mm_movemask_epi8(hit);
            if (bits) return p + __builtin_ctz(bits);
            p += 16;
        }
    }
#endif
    return find_class(p, m->mask);
}

/* The value of a hexadecimal digit; 16 for any other byte. */
static const unsigned char digit_value[256] = {
#define X16 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16
    X16, X16, X16,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 16, 16, 16, 16, 16,
    16, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, X16,
    16, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, X16,
    X16, X16, X16, X16, X16, X16, X16, X16,
#undef X16
};

/* A plain character reference "&#digits;" or "&#xhex;" (at most 7 digits)
 * at r: its code point, 1 to U+10FFFF, and *end at the ";"; 0 for any
 * other form, which char_reference then reads as strtol would. */
EZXML_ALWAYS_INLINE uint32_t plain_char_reference(const char *r, const char **end) {
    const char *p = r + 2;
    unsigned base = 10;
    uint32_t v = 0;
    int i;
    if (*p == 'x') {
        base = 16;
        ++p;
    }
    for (i = 0; i < 7; ++i) {
        const unsigned digit = digit_value[(unsigned char)p[i]];
        if (digit >= base) break;
        v = v * base + digit;
    }
    if (i == 0 || p[i] != ';' || v - 1 >= MAX_CODE_POINT) return 0;
    *end = p + i;
    return v;
}

/* The UTF-8 form of v (at most U+10FFFF) at w; its length. */
EZXML_ALWAYS_INLINE size_t put_utf8(char *w, uint32_t v) {
    if (v < 0x80) {
        w[0] = (char)v;
        return 1;
    }
    if (v < 0x800) {
        w[0] = (char)(0xC0 | (v >> 6));
        w[1] = (char)(0x80 | (v & 0x3F));
        return 2;
    }
    if (v < 0x10000) {
        w[0] = (char)(0xE0 | (v >> 12));
        w[1] = (char)(0x80 | ((v >> 6) & 0x3F));
        w[2] = (char)(0x80 | (v & 0x3F));
        return 3;
    }
    w[0] = (char)(0xF0 | (v >> 18));
    w[1] = (char)(0x80 | ((v >> 12) & 0x3F));
    w[2] = (char)(0x80 | ((v >> 6) & 0x3F));
    w[3] = (char)(0x80 | (v & 0x3F));
    return 4;
}

/* Reads the entity values being expanded (d->depth above 0) on to where
 * the caller's string goes on: 1, or 0 when decoding must stop. Values
 * keep their line ends; white space in them counts as it does in the mode
 * (value_mask). */
static int read_values(decoder *d, unsigned value_mask, char ref_byte) {
    while (d->depth) {
        const char *run = d->cur;
        unsigned char c;
        int done;
        d->cur = find_class(d->cur, value_mask);
        if (d->cur != run && !emit(&d->o, run, (size_t)(d->cur - run), d->stack[0])) return 0;
        c = (unsigned char)*d->cur;
        if (c == 0) {
            d->cur = d->stack[--d->depth];
            continue;
        }
        if (dclass[c] & D_WS) {
            ++d->cur;
            if (!emit_short(&d->o, " ", 1, d->stack[0])) return 0;
            continue;
        }
        if (c == '&' && d->cur[1] == '#') {
            done = char_reference(d);
            if (done < 0) return 0;
            if (done) continue;
        } else if (c == (unsigned char)ref_byte) {
            done = entity_reference(d);
            if (done < 0) return 0;
            if (done) continue;
        }
        /* Not a reference: keep the byte. */
        ++d->cur;
        if (!emit_short(&d->o, d->cur - 1, 1, d->stack[0])) return 0;
    }
    return 1;
}

char *ezxml_decode(char *s, char mode, ezxml_decode_options *opt) {
    decoder d;
    size_t own_budget;
    const unsigned main_mask = main_mask_of(mode);
    const int attr_mode = mode == EZXML_MODE_ATTR || mode == EZXML_MODE_TOKEN;
    const char ref_byte = mode == EZXML_MODE_ENTITY ? '%' : '&';
    /* "&name;" is expanded in text and attribute values; entity values expand "%name;". */
    const int named_references = mode != EZXML_MODE_CDATA && mode != EZXML_MODE_ENTITY;
    /* Line ends are normalised in the caller's text only, not in values. */
    const unsigned value_mask = (main_mask & ~(unsigned)D_CR) | (attr_mode ? (unsigned)D_WS : 0u);
    const main_scanner scanner = main_scanner_of(main_mask, opt->readable_end);
    /* The loop keeps the read position, the output position and the end of
     * the heap block (NULL while in place) in locals: the output is written
     * with char stores, after which the compiler would reload every field
     * of d, whose address the slower helpers take. SAVE hands them to d
     * before such a helper, LOAD takes them back. */
    const char *r, *s_end;
    char *w, *heap_end;
    /* Runs starting at or before this address may be read 16 bytes at a time (0: none). */
    const uintptr_t wide_limit =
        opt->readable_end && opt->readable_end - s >= 16 ? (uintptr_t)(opt->readable_end - 16) : 0;
#define SAVE() (d.cur = r, d.o.len = (size_t)(w - (d.o.heap ? d.o.heap : s)))
#define LOAD() (r = d.cur, w = (d.o.heap ? d.o.heap : s) + d.o.len, heap_end = d.o.heap ? d.o.heap + d.o.cap : NULL)

    opt->failure = 0;
    /* Most texts hold nothing to decode: find the first byte that matters. */
    d.cur = scan_main(s, &scanner);
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
    d.predefined_first = opt->predefined_first ? opt->predefined_first > 0 : -1;
    d.failure = EZXML_PARSE_OUT_OF_MEMORY;
    s_end = opt->end ? opt->end : d.cur + strlen(d.cur);
    d.o.s = s;
    d.o.s_end = s_end;
    d.o.heap = NULL;
    d.o.len = (size_t)(d.cur - s);
    d.o.cap = 0;
    LOAD();

    for (;;) {
        const char *run;
        unsigned char c;
        size_t n;
        /* Room: every step below writes no more than it reads, except that
         * a run of up to 16 bytes may be moved as 16. So in place the output
         * stays behind the unread text, and a heap block with room for the
         * unread text and 16 bytes more keeps it to the end. to_heap() makes
         * the block so; entity values, which may use that room up, give it
         * back when they are read (below, at "reference"). */
        assert(heap_end ? (size_t)(heap_end - w) > (size_t)(s_end - r) + 16 : w <= r);
        run = r;
        r = scan_main(r, &scanner);
        n = (size_t)(r - run);
        if (w != run) {
            if (n <= 16 && (uintptr_t)run <= wide_limit && (heap_end || r - w >= 16)) {
                /* A short run as one 16-byte move; the bytes past it land
                 * in the block's free room, or in place on bytes read already. */
                char piece[16];
                memcpy(piece, run, 16);
                memcpy(w, piece, 16);
            } else if (heap_end) {
                copy_apart(w, run, n);
            } else {
                copy_forward(w, run, n);
            }
        }
        /* In place and not moved yet, the run is where it belongs already. */
        w += n;
        c = (unsigned char)*r;
        if (c == '&') {
            const char *end;
            uint32_t v;
            int k;
            if (r[1] == '#') {
                /* At most 4 bytes for a reference of at least 4. */
                v = plain_char_reference(r, &end);
                if (v) {
                    w += put_utf8(w, v);
                    r = end + 1;
                    continue;
                }
                SAVE();
                k = char_reference(&d);
                if (k < 0) goto fail;
                LOAD();
                if (k) continue;
            } else if (named_references) {
                /* The predefined pairs come first in the table (checked once),
                 * so when one of them matches no other entry can match before it. */
                if (d.predefined_first < 0) {
                    d.predefined_first = starts_predefined(opt->entities);
                    opt->predefined_first = d.predefined_first ? 1 : -1;
                }
                k = d.predefined_first ? match_predefined(r + 1) : -1;
                if (k >= 0) {
                    static const char chars[5] = {'<', '>', '"', '\'', '&'};
                    static const unsigned char ref_lens[5] = {4, 4, 6, 6, 5};
                    r += ref_lens[k];
                    /* Its value (5 bytes) would replace the reference: the
                     * text grows, and so moves to the heap. */
                    if (!heap_end && 5 > ref_lens[k]) {
                        SAVE();
                        if (!to_heap(&d.o, 1, r)) goto fail;
                        LOAD();
                    }
                    *w++ = chars[k];
                    continue;
                }
                goto reference;
            }
            /* Not a reference: keep the byte. */
        } else if (c == 0) {
            break;
        } else if (c == '\r') {
            /* CR LF becomes LF, a lone CR becomes LF (a space in attributes). */
            if (r[1] == '\n') {
                ++r;
                continue;
            }
            c = attr_mode ? ' ' : '\n';
        } else if (dclass[c] & D_WS) {
            c = ' ';
        } else if (c == (unsigned char)ref_byte) {
            /* "%" in entity values. */
            int k;
        reference:
            SAVE();
            k = entity_reference(&d);
            if (k < 0 || (d.depth && !read_values(&d, value_mask, ref_byte))) goto fail;
            if (d.o.heap && !heap_room(&d.o, (size_t)(s_end - d.cur) + 16)) goto fail;
            LOAD();
            if (k) continue;
        }
        /* Keep one byte, c, for the one at r. */
        ++r;
        *w++ = (char)c;
    }
#undef SAVE
#undef LOAD
    d.o.len = (size_t)(w - (d.o.heap ? d.o.heap : s));
    {
        char *out = finish(&d, mode);
        if (out) return out;
    }
fail:
    free(d.o.heap);
    opt->failure = d.failure;
    return NULL;
}
