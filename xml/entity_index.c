/* A hash index over a document's entity table by name, so that a reference
 * in the content finds its entity without comparing with every declared
 * name. The table's layout (name/value pairs in declaration order, the
 * first of equal names winning) stays what readers of the tree see. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

/* Small tables are scanned: building would cost more than it saves. */
#define SCAN_BELOW 16

void ezxml_entity_index_reset(ezxml_entity_index *ix) {
    free(ix->slots);
    ix->slots = NULL;
    ix->mask = 0;
    ix->longest = 0;
    ix->state = 0;
}

/* Whether ';' ends name and stands nowhere else in it. Then a name that
 * begins a text is exactly the text up to its first ';', so one lookup
 * finds what a scan in table order would. */
static int plain_name(const char *name, size_t len) {
    return len > 0 && name[len - 1] == ';' && memchr(name, ';', len - 1) == NULL;
}

/* Enters pair i of table; an earlier entry of the same name stays. */
static void insert(ezxml_entity_index *ix, char **table, size_t i) {
    const char *name = table[2 * i];
    const size_t len = strlen(name);
    size_t j = ezxml_bytes_hash(name, len) & ix->mask;
    if (len > ix->longest) ix->longest = len;
    for (;; j = (j + 1) & ix->mask) {
        ezxml_entity_slot *s = &ix->slots[j];
        if (!s->pos) {
            s->name = name;
            s->len = len;
            s->pos = i + 1;
            return;
        }
        if (s->len == len && memcmp(s->name, name, len) == 0) return;
    }
}

/* Fills the index: 1 when built, 2 when the table is small or memory ran
 * out, 3 when it holds a name the lookup could not find by its first ';'. */
static int build(ezxml_entity_index *ix, char **table) {
    size_t n = 0, i;
    while (table[2 * n]) ++n;
    for (i = 0; i < n; ++i)
        if (!plain_name(table[2 * i], strlen(table[2 * i]))) return 3;
    if (n < SCAN_BELOW) return 2;
    ix->slots = (ezxml_entity_slot *)ezxml_hash_slots(n, sizeof(ezxml_entity_slot), &ix->mask);
    if (!ix->slots) return 2;
    ix->longest = 0;
    for (i = 0; i < n; ++i) insert(ix, table, i);
    return 1;
}

void ezxml_entity_index_appended(ezxml_entity_index *ix, char **table, size_t pairs) {
    const char *name = table[2 * (pairs - 1)];
    if (ix->state == 3) return;
    if (!plain_name(name, strlen(name))) {
        ezxml_entity_index_reset(ix);
        ix->state = 3;
    } else if (ix->state != 1 || 2 * pairs + 2 > ix->mask + 1) {
        /* Built again, with room to spare, at the next lookup. */
        ezxml_entity_index_reset(ix);
    } else {
        insert(ix, table, pairs - 1);
    }
}

char **ezxml_entity_index_match(ezxml_entity_index *ix, char **table, const char *text) {
    const char *semi;
    size_t len, j;
    if (!table) return NULL;
    if (ix->state == 0) ix->state = build(ix, table);
    if (ix->state != 1) return ezxml_match_entity(table, text);
    /* text is terminated, so the search stops at its end or past the longest name. */
    for (semi = text; *semi && *semi != ';' && (size_t)(semi - text) < ix->longest; ++semi) {
    }
    if (*semi != ';') return NULL;
    len = (size_t)(semi - text) + 1;
    for (j = ezxml_bytes_hash(text, len) & ix->mask;; j = (j + 1) & ix->mask) {
        const ezxml_entity_slot *s = &ix->slots[j];
        if (!s->pos) return NULL;
        if (s->len == len && ezxml_bytes_equal(s->name, text, len)) return table + 2 * (s->pos - 1);
    }
}
