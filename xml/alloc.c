/* The one door to the C heap for the XML library, with the test hook that
 * makes a chosen allocation fail. */
#include "ezxml_internal.h"
#include "ezxml_fault.h"

#include <stdlib.h>
#include <string.h>

char *const ezxml_empty_list[1] = {NULL};

static __thread long fail_at;    /* 0: never fail */
static __thread long alloc_count; /* allocations since the last ezxml_fail_allocation */

void ezxml_fail_allocation(long n) {
    fail_at = n < 0 ? 0 : n;
    alloc_count = 0;
}

long ezxml_allocation_count(void) { return alloc_count; }

static int should_fail(void) {
    /* The count is at least 1 here, so a fail_at of 0 never matches. */
    return ++alloc_count == fail_at;
}

int ezxml_may_allocate(void) { return !should_fail(); }

void *ezxml_malloc(size_t size) {
    if (should_fail()) return NULL;
    return malloc(size ? size : 1);
}

void *ezxml_realloc(void *block, size_t size) {
    if (should_fail()) return NULL;
    return realloc(block, size ? size : 1);
}

char *ezxml_strndup(const char *s, size_t n) {
    char *copy;
    if (n == (size_t)-1) return NULL;
    copy = (char *)ezxml_malloc(n + 1);
    if (!copy) return NULL;
    memcpy(copy, s, n);
    copy[n] = '\0';
    return copy;
}

void *ezxml_hash_slots(size_t entries, size_t slot_size, size_t *mask) {
    size_t count = 16;
    void *slots;
    while (count < 2 * entries + 2) {
        if (count > ((size_t)-1) / (4 * slot_size)) return NULL;
        count *= 2;
    }
    slots = ezxml_malloc(count * slot_size);
    if (!slots) return NULL;
    memset(slots, 0, count * slot_size);
    *mask = count - 1;
    return slots;
}
