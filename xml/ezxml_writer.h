/* The XML library's one writer of XML text: a growing block with text and
 * attribute escaping, used by ezxml_toxml and by the file-reference code that
 * writes reference documents. Internal to the library (not installed); C and
 * C++ include it alike. */
#ifndef PAVORM_XML_EZXML_WRITER_H
#define PAVORM_XML_EZXML_WRITER_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define EZXML_WRITER_INLINE static inline __attribute__((always_inline))
#else
#define EZXML_WRITER_INLINE static inline
#endif

/* The block grows by doubling; one byte behind lim is always kept for the
 * final NUL. After a failed growth `failed` is set and every later append
 * does nothing, so a caller checks once at the end. */
typedef struct ezxml_writer {
    char *buf;    /* the block */
    char *w;      /* write position */
    char *lim;    /* end of the block less the byte kept for the NUL */
    int failed;   /* growing failed: the text is incomplete */
    int borrowed; /* buf is the caller's first buffer, not a heap block */
} ezxml_writer;

/* Starts on a heap block of size bytes (at least 1); 0 when out of memory. */
int ezxml_writer_init(ezxml_writer *o, size_t size);
/* Starts on the caller's buffer of size bytes (at least 1, e.g. on the
 * stack); the text moves to the heap when it outgrows it. */
void ezxml_writer_init_on(ezxml_writer *o, char *first, size_t size);
/* The text so far, terminated, still owned by the writer; NULL when failed. */
const char *ezxml_writer_text(ezxml_writer *o);
/* The text as a heap block of exactly its size that the caller frees; the
 * writer is left released. NULL (and everything released) when failed. */
char *ezxml_writer_take(ezxml_writer *o);
/* Releases the block (a writer may be released twice). */
void ezxml_writer_release(ezxml_writer *o);

/* Bytes written so far. */
EZXML_WRITER_INLINE size_t ezxml_writer_length(const ezxml_writer *o) { return (size_t)(o->w - o->buf); }

/* Makes room for n more bytes; 0 (and failed set) when the block cannot grow. */
int ezxml_writer_grow(ezxml_writer *o, size_t n);

EZXML_WRITER_INLINE int ezxml_writer_room(ezxml_writer *o, size_t n) {
    return (size_t)(o->lim - o->w) >= n || ezxml_writer_grow(o, n);
}

/* Copies n bytes (room already made); names and values are mostly short,
 * so two overlapping words beat a call to memcpy. */
EZXML_WRITER_INLINE void ezxml_writer_copy(char *dst, const char *src, size_t n) {
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

/* Appends n bytes as they are. */
EZXML_WRITER_INLINE void ezxml_writer_put(ezxml_writer *o, const char *s, size_t n) {
    if (!ezxml_writer_room(o, n)) return;
    ezxml_writer_copy(o->w, s, n);
    o->w += n;
}

EZXML_WRITER_INLINE void ezxml_writer_byte(ezxml_writer *o, char c) {
    if (ezxml_writer_room(o, 1)) *o->w++ = c;
}

/* Appends lead ("<" or "</", lead_len 1 or 2), the name of n bytes and, if
 * close, ">". */
EZXML_WRITER_INLINE void ezxml_writer_tag(ezxml_writer *o, const char *lead, size_t lead_len, const char *name,
                                          size_t n, int close) {
    char *w;
    if (!ezxml_writer_room(o, n + 3)) return;
    w = o->w;
    w[0] = lead[0];
    w[1] = lead[1]; /* overwritten by the name when lead_len is 1 */
    w += lead_len;
    if (n >= 4) {
        ezxml_writer_copy(w, name, n);
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

/* "<name" (and ">" if close) and "</name>". */
EZXML_WRITER_INLINE void ezxml_writer_start_tag(ezxml_writer *o, const char *name, size_t n, int close) {
    ezxml_writer_tag(o, "<", 1, name, n, close);
}
EZXML_WRITER_INLINE void ezxml_writer_end_tag(ezxml_writer *o, const char *name, size_t n) {
    ezxml_writer_tag(o, "</", 2, name, n, 1);
}

/* Escaping. Text mode: "&", "<", ">" become entities, CR "&#xD;"; the
 * double quote, LF and tab stay. Attribute mode escapes those three too
 * ("&quot;", "&#xA;", "&#x9;"), so a parser reads back the same value. A
 * NUL ends the text in both modes; every other byte is copied. */
#define EZXML_ESCAPE_TEXT 1
#define EZXML_ESCAPE_VALUE 2
/* Per byte: the modes (bits above) that escape it; NUL has both. */
extern const unsigned char ezxml_escape_class[256];

/* Appends up to count bytes of text (stopping at its NUL; bounded says
 * whether count applies at all), escaped for mode; returns the bytes of
 * text consumed. Plain runs are found first and copied whole. Inline so
 * that the serializer's loops get it specialised for each mode. */
EZXML_WRITER_INLINE size_t ezxml_writer_escape(ezxml_writer *o, const char *text, size_t count, unsigned char mode,
                                               int bounded) {
    const unsigned char *cls = ezxml_escape_class;
    size_t i = 0;
    for (;;) {
        /* Replacements padded to 8 bytes, so that each is copied as one word. */
        static const char reps[7][8] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#xA;", "&#x9;", "&#xD;"};
        static const unsigned char rep_len[7] = {5, 4, 4, 6, 5, 5, 5};
        const size_t run = i;
        int k;
        if (bounded) {
            while (i < count && !(cls[(unsigned char)text[i]] & mode)) ++i;
        } else {
            /* NUL is in the class of both modes, so the scan stops there. */
            for (;; i += 4) {
                if (cls[(unsigned char)text[i]] & mode) break;
                if (cls[(unsigned char)text[i + 1]] & mode) {
                    i += 1;
                    break;
                }
                if (cls[(unsigned char)text[i + 2]] & mode) {
                    i += 2;
                    break;
                }
                if (cls[(unsigned char)text[i + 3]] & mode) {
                    i += 3;
                    break;
                }
            }
        }
        if (i != run) {
            if (!ezxml_writer_room(o, i - run)) return run;
            ezxml_writer_copy(o->w, text + run, i - run);
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
        if (!ezxml_writer_room(o, 8)) return i;
        memcpy(o->w, reps[k], 8);
        o->w += rep_len[k];
        ++i;
    }
}

/* ' name="value"' with the value in attribute mode. */
EZXML_WRITER_INLINE void ezxml_writer_put_attribute(ezxml_writer *o, const char *name, const char *value) {
    const size_t n = strlen(name);
    char *w;
    if (!ezxml_writer_room(o, n + 3)) return;
    w = o->w;
    *w++ = ' ';
    ezxml_writer_copy(w, name, n);
    w += n;
    w[0] = '=';
    w[1] = '"';
    o->w = w + 2;
    if (*value) ezxml_writer_escape(o, value, 0, EZXML_ESCAPE_VALUE, 0);
    if (ezxml_writer_room(o, 1)) *o->w++ = '"';
}

/* The same, out of line, for callers outside the serializer's loops. */
/* Up to count bytes of text (less when a NUL comes first), text mode;
 * returns the bytes of text consumed. */
size_t ezxml_writer_text_n(ezxml_writer *o, const char *text, size_t count);
/* The text to its NUL, text mode. */
void ezxml_writer_escaped_text(ezxml_writer *o, const char *text);
/* The text to its NUL, attribute mode. */
void ezxml_writer_escaped_value(ezxml_writer *o, const char *value);
/* ' name="value"' with the value in attribute mode. */
void ezxml_writer_attribute(ezxml_writer *o, const char *name, const char *value);

#ifdef __cplusplus
}
#endif

#endif /* PAVORM_XML_EZXML_WRITER_H */
