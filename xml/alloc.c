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
    ++alloc_count;
    return fail_at != 0 && alloc_count == fail_at;
}

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
