/* Attribute lists: name, value pairs, a NULL, then the ownership string
 * with one marker per attribute (0x80 name owned, 0x40 value owned, a space
 * for neither, so that no marker is ever NUL). */
#include "ezxml_internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

size_t ezxml_attr_count(char **attrs) {
    size_t n = 0;
    while (attrs[2 * n]) ++n;
    return n;
}

int ezxml_attrs_embedded(char **attrs) {
    size_t n = ezxml_attr_count(attrs);
    return attrs[2 * n + 1] == (char *)(attrs + 2 * n + 2);
}

void ezxml_free_attrs(char **attrs) {
    size_t i, n;
    const char *own;
    if (!attrs || attrs == (char **)EZXML_EMPTY_LIST) return;
    n = ezxml_attr_count(attrs);
    own = attrs[2 * n + 1];
    if (own == (const char *)(attrs + 2 * n + 2) && !ezxml_embedded_owns(own, n)) return;
    if (own) {
        /* The ownership string may be shorter than the list: its NUL ends it. */
        for (i = 0; i < n; ++i) {
            const unsigned char m = (unsigned char)own[i];
            if (!(m & (EZXML_ATTR_NAME_OWNED | EZXML_ATTR_VALUE_OWNED))) {
                if (!m) break;
                continue;
            }
            if (m & EZXML_ATTR_NAME_OWNED) free(attrs[2 * i]);
            if (m & EZXML_ATTR_VALUE_OWNED) free(attrs[2 * i + 1]);
        }
    }
    if (own == (const char *)(attrs + 2 * n + 2)) return; /* lives in its node's block */
    free(attrs[2 * n + 1]);
    free(attrs);
}

/* Gives a list that lives in a node block its own heap array and ownership
 * string (the old ones stay in the block); 0 when out of memory. */
static int own_list(ezxml_node *node) {
    char **attrs = node->attrs, **copy, *own;
    size_t n;
    if (attrs == (char **)EZXML_EMPTY_LIST || !ezxml_attrs_embedded(attrs)) return 1;
    n = ezxml_attr_count(attrs);
    own = (char *)ezxml_malloc(n + 1);
    copy = own ? (char **)ezxml_malloc((2 * n + 2) * sizeof(char *)) : NULL;
    if (!copy) {
        free(own);
        return 0;
    }
    memcpy(copy, attrs, 2 * n * sizeof(char *));
    memcpy(own, attrs[2 * n + 1], n + 1);
    copy[2 * n] = NULL;
    copy[2 * n + 1] = own;
    node->attrs = copy;
    return 1;
}

static char marker(unsigned bits) { return bits ? (char)bits : (char)EZXML_ATTR_NOT_OWNED; }

/* Appends a pair; 0 when the list could not grow (nothing changed then). */
static int append_pair(ezxml_node *node, char *name, char *value, char mark) {
    char **attrs, **grown, *own, *own_grown;
    size_t n = 0, own_len = 0;
    if (!own_list(node)) return 0;
    attrs = node->attrs;
    if (attrs != (char **)EZXML_EMPTY_LIST) {
        n = ezxml_attr_count(attrs);
        own = attrs[2 * n + 1];
        own_len = strlen(own);
    } else {
        own = NULL;
        attrs = NULL;
    }
    if (n > ((size_t)-1) / (2 * sizeof(char *)) - 2) return 0;
    own_grown = (char *)ezxml_realloc(own, own_len + 2);
    if (!own_grown) return 0;
    own_grown[own_len] = mark;
    own_grown[own_len + 1] = '\0';
    grown = (char **)ezxml_realloc(attrs, (2 * n + 4) * sizeof(char *));
    if (!grown) {
        /* Keep the list as it was: the ownership string only got longer. */
        own_grown[own_len] = '\0';
        if (attrs)
            attrs[2 * n + 1] = own_grown;
        else
            free(own_grown);
        return 0;
    }
    grown[2 * n] = name;
    grown[2 * n + 1] = value;
    grown[2 * n + 2] = NULL;
    grown[2 * n + 3] = own_grown;
    node->attrs = grown;
    return 1;
}

ezxml_node *ezxml_set_attr(ezxml_node *node, const char *name, const char *value) {
    char **attrs, *own;
    size_t i, n;
    int adopt;
    if (!node) return NULL;
    ezxml_touch(node);
    adopt = (node->flags & EZXML_ADOPT_ATTR) != 0;
    node->flags &= (short)~EZXML_ADOPT_ATTR;
    if (!name) {
        if (adopt) free((char *)value);
        return node;
    }
    attrs = node->attrs;
    for (i = 0; attrs[2 * i] && strcmp(attrs[2 * i], name) != 0; ++i) {
    }

    if (!attrs[2 * i]) {
        if (!value) {
            if (adopt) free((char *)name);
            return node;
        }
        if (!append_pair(node, (char *)name, (char *)value,
                         adopt ? (char)(EZXML_ATTR_NAME_OWNED | EZXML_ATTR_VALUE_OWNED) : (char)EZXML_ATTR_NOT_OWNED)) {
            /* Out of memory: strings handed over are not leaked. */
            if (adopt) {
                free((char *)name);
                free((char *)value);
            }
            return NULL;
        }
        return node;
    }

    /* Present: the stored name stays. A removal needs a list of its own
     * first, before anything changes. */
    if (!value) {
        if (!own_list(node)) {
            if (adopt && name != attrs[2 * i]) free((char *)name);
            return NULL;
        }
        attrs = node->attrs;
    }
    n = ezxml_attr_count(attrs);
    own = attrs[2 * n + 1];
    if (adopt && name != attrs[2 * i]) free((char *)name);
    {
        unsigned m = (unsigned char)own[i];
        unsigned bits = m & (EZXML_ATTR_NAME_OWNED | EZXML_ATTR_VALUE_OWNED);
        if ((m & EZXML_ATTR_VALUE_OWNED) && attrs[2 * i + 1] != value) free(attrs[2 * i + 1]);
        bits = (bits & EZXML_ATTR_NAME_OWNED) | (adopt ? EZXML_ATTR_VALUE_OWNED : 0);
        own[i] = marker(bits);
    }
    if (value) {
        attrs[2 * i + 1] = (char *)value;
        return node;
    }

    /* Remove the pair: later pairs, the terminator and the ownership
     * pointer move up by one pair; the marker leaves the string. */
    if ((unsigned char)own[i] & EZXML_ATTR_NAME_OWNED) free(attrs[2 * i]);
    memmove(attrs + 2 * i, attrs + 2 * i + 2, (2 * (n - i) - 2 + 2) * sizeof(char *));
    memmove(own + i, own + i + 1, strlen(own + i + 1) + 1);
    {
        char **shrunk = (char **)realloc(attrs, (2 * n) * sizeof(char *));
        if (shrunk) node->attrs = shrunk;
    }
    return node;
}
