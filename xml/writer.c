/* The one writer of XML text (see ezxml_writer.h). */
#include "ezxml_writer.h"

#include "ezxml_internal.h"

#include <assert.h>
#include <stdlib.h>
#include <string.h>

static void set_block(ezxml_writer *o, char *block, size_t size, size_t len, int borrowed) {
    o->buf = block;
    o->w = block + len;
    o->lim = block + size - 1;
    o->borrowed = borrowed;
}

int ezxml_writer_init(ezxml_writer *o, size_t size) {
    char *block;
    if (size < 1) size = 1;
    o->failed = 0;
    block = (char *)ezxml_malloc(size);
    if (!block) {
        o->buf = o->w = o->lim = NULL;
        o->borrowed = 0;
        o->failed = 1;
        return 0;
    }
    set_block(o, block, size, 0, 0);
    return 1;
}

void ezxml_writer_init_on(ezxml_writer *o, char *first, size_t size) {
    assert(first && size >= 1);
    o->failed = 0;
    set_block(o, first, size, 0, 1);
}

int ezxml_writer_grow(ezxml_writer *o, size_t n) {
    const size_t len = ezxml_writer_length(o), cap = (size_t)(o->lim - o->buf) + 1;
    size_t need = len + n + 1, bigger = cap;
    char *grown;
    if (o->failed) return 0;
    if (need < len) goto fail; /* overflow */
    while (bigger < need) {
        if (bigger > ((size_t)-1) / 2) {
            bigger = need;
            break;
        }
        bigger *= 2;
    }
    if (o->borrowed) {
        grown = (char *)ezxml_malloc(bigger);
        if (grown && len) memcpy(grown, o->buf, len);
    } else {
        grown = (char *)ezxml_realloc(o->buf, bigger);
    }
    if (!grown) goto fail;
    o->buf = grown;
    o->w = grown + len;
    o->lim = grown + bigger - 1;
    o->borrowed = 0;
    return 1;
fail:
    o->failed = 1;
    return 0;
}

const char *ezxml_writer_text(ezxml_writer *o) {
    if (o->failed) return NULL;
    assert(o->w <= o->lim);
    *o->w = '\0'; /* the byte behind lim is kept for this */
    return o->buf;
}

char *ezxml_writer_take(ezxml_writer *o) {
    const size_t len = o->failed ? 0 : ezxml_writer_length(o);
    char *out;
    if (o->failed) {
        ezxml_writer_release(o);
        return NULL;
    }
    *o->w = '\0';
    if (o->borrowed) {
        out = ezxml_strndup(o->buf, len);
    } else {
        /* Shrinking cannot fail for want of memory in any C heap we know;
         * if it does, the larger block serves as well. */
        out = (char *)realloc(o->buf, len + 1);
        if (!out) out = o->buf;
        o->buf = NULL;
    }
    ezxml_writer_release(o);
    return out;
}

void ezxml_writer_release(ezxml_writer *o) {
    if (!o->borrowed) free(o->buf);
    o->buf = o->w = o->lim = NULL;
    o->borrowed = 0;
}

/* Bytes escaped in text (1) and in attribute values (2); NUL ends both. */
const unsigned char ezxml_escape_class[256] = {
    [0] = 3, ['&'] = 3, ['<'] = 3, ['>'] = 3, ['\r'] = 3, ['"'] = 2, ['\n'] = 2, ['\t'] = 2,
};

size_t ezxml_writer_text_n(ezxml_writer *o, const char *text, size_t count) {
    return ezxml_writer_escape(o, text, count, EZXML_ESCAPE_TEXT, 1);
}

void ezxml_writer_escaped_text(ezxml_writer *o, const char *text) { ezxml_writer_escape(o, text, 0, EZXML_ESCAPE_TEXT, 0); }

void ezxml_writer_escaped_value(ezxml_writer *o, const char *value) {
    ezxml_writer_escape(o, value, 0, EZXML_ESCAPE_VALUE, 0);
}

void ezxml_writer_attribute(ezxml_writer *o, const char *name, const char *value) {
    ezxml_writer_put_attribute(o, name, value);
}
