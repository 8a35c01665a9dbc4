/* A hash index over a document's default-attribute lists by element name,
 * so that a start tag or a serialized element finds its list without
 * comparing its name with every declared element name. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

/* Only its address matters (see ezxml_bytes_hash). */
const char ezxml_hash_anchor = 0;

static size_t hash_name(const char *name, size_t len) { return ezxml_bytes_hash(name, len); }

void ezxml_defaults_index_reset(ezxml_defaults_index *ix) {
    free(ix->slots);
    ix->slots = NULL;
    ix->mask = 0;
    ix->state = 0;
    ix->last_name = NULL;
    ix->last_len = 0;
    ix->last_tokenised = 0;
}

/* Whether list declares an attribute of a type other than CDATA. */
static int tokenised(char **list) {
    size_t i;
    if (list)
        for (i = 1; list[i]; i += 3)
            if (list[i + 2][0] != EZXML_MODE_ATTR) return 1;
    return 0;
}

static char **remember(ezxml_defaults_index *ix, const char *name, size_t len, char **list, int tokens) {
    ix->last_name = name;
    ix->last_len = len;
    ix->last_tokenised = tokens;
    return list;
}

/* Fills the index from the lists; 0 when out of memory. The first list of
 * a name is the one lookups give, as a search in list order would. */
static int build(ezxml_defaults_index *ix, char ***defaults) {
    size_t n = 0, i;
    while (defaults[n]) ++n;
    ix->slots = (ezxml_defaults_slot *)ezxml_hash_slots(n, sizeof(ezxml_defaults_slot), &ix->mask);
    if (!ix->slots) return 0;
    for (i = 0; i < n; ++i) {
        const char *name = defaults[i][0];
        const size_t len = strlen(name);
        size_t j = hash_name(name, len) & ix->mask;
        for (;; j = (j + 1) & ix->mask) {
            ezxml_defaults_slot *s = &ix->slots[j];
            if (!s->list) {
                s->name = name;
                s->len = len;
                s->list = defaults[i];
                s->tokenised = (char)tokenised(defaults[i]);
                break;
            }
            if (s->len == len && memcmp(s->name, name, len) == 0) break;
        }
    }
    return 1;
}

char **ezxml_defaults_lookup(ezxml_defaults_index *ix, char ***defaults, const char *name, size_t len) {
    size_t j;
    if (!name) {
        ix->last_tokenised = 0;
        return NULL;
    }
    if (!*defaults) return remember(ix, name, len, NULL, 0);
    if (ix->state == 0) ix->state = build(ix, defaults) ? 1 : 2;
    if (ix->state == 2) {
        /* Without an index (out of memory): the lists in order. */
        char **list = ezxml_find_defaults_of(defaults, name, len);
        return remember(ix, name, len, list, tokenised(list));
    }
    for (j = hash_name(name, len) & ix->mask;; j = (j + 1) & ix->mask) {
        const ezxml_defaults_slot *s = &ix->slots[j];
        if (!s->list || (s->len == len && ezxml_bytes_equal(s->name, name, len)))
            return remember(ix, name, len, s->list, s->list ? s->tokenised : 0);
    }
}
