/* Node storage: single nodes and the blocks a parse takes its nodes from. */
#include "ezxml_internal.h"

#include <assert.h>
#include <stdlib.h>
#include <string.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

/* A block counts the nodes still living in it; it is released when that
 * count reaches 0 once the pool no longer hands out its space (the first
 * block of a document once the other blocks are gone too). */

#define HEADER_SIZE ((sizeof(struct ezxml_block) + 15) & ~(size_t)15)
#define NODE_SIZE EZXML_NODE_SIZE
/* The document record, then its own entity table (the five predefined
 * pairs and the terminator). */
#define RECORD_SIZE ((sizeof(ezxml_root) + 15) & ~(size_t)15)
#define ENTITIES_SIZE ((11 * sizeof(char *) + 15) & ~(size_t)15)
#define ROOT_SIZE (RECORD_SIZE + ENTITIES_SIZE)
/* The document record and its first block stay within the C heap's fast
 * small-block path (up to about 1 KB), which is what a small document needs. */
#define FIRST_BLOCK (1024 - HEADER_SIZE - ROOT_SIZE)
/* The first block must leave room for a few nodes. */
typedef char ezxml_first_block_has_room[(HEADER_SIZE + ROOT_SIZE + 4 * NODE_SIZE <= 1024) ? 1 : -1];
/* Blocks double up to MAX_BLOCK. Blocks of MAX_BLOCK ask the kernel for
 * huge pages where it can (Linux): a page fault per 2 MB instead of per
 * 4 KB. A parse of many small elements writes about 8 bytes of nodes per
 * input byte, and the faults of that fresh memory were a third of its
 * time. Smaller blocks do not ask: a document that ends in a block of
 * 2 MB would hold a huge page it uses only in part. */
#define MAX_BLOCK ((size_t)4 << 20)
#define HUGE_PAGE ((size_t)2 << 20)
/* The largest block holds MAX_BLOCK bytes, or a node with the longest list
 * beside it; a node's block_offset holds its distance from the start. */
#define LARGEST_BLOCK (MAX_BLOCK + NODE_SIZE + EZXML_LIST_BESIDE_MAX + 8)
typedef char ezxml_block_offsets_fit[(HEADER_SIZE + LARGEST_BLOCK <= 0xFFFFFFFFu) ? 1 : -1];
#define FIRST_BYTES (HEADER_SIZE + ROOT_SIZE + FIRST_BLOCK)

/* When a document is released, its first block is kept for the next parse
 * in the process (one block, 1 KB): small documents read one after another,
 * as settings and file references are, then cost no round trip through the
 * C heap. Documents are parsed and released in any thread, so the block is
 * swapped atomically; where that is not at hand, nothing is kept. While it
 * is kept, the address sanitizer reports any use of it as a use of freed
 * memory would be. */
#if defined(__SANITIZE_ADDRESS__)
#define KEEP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEEP_ASAN 1
#endif
#endif
#ifdef KEEP_ASAN
#include <sanitizer/asan_interface.h>
#define SPARE_HIDE(b) ASAN_POISON_MEMORY_REGION((b), FIRST_BYTES)
#define SPARE_SHOW(b) ASAN_UNPOISON_MEMORY_REGION((b), FIRST_BYTES)
#else
#define SPARE_HIDE(b) ((void)(b))
#define SPARE_SHOW(b) ((void)(b))
#endif

#if defined(__GNUC__)
static struct ezxml_block *spare_block;

static struct ezxml_block *take_spare(void) {
    struct ezxml_block *b = __atomic_exchange_n(&spare_block, (struct ezxml_block *)NULL, __ATOMIC_ACQUIRE);
    if (b) SPARE_SHOW(b);
    return b;
}

/* Keeps b as the spare unless one is kept already. Hidden before it is
 * published: from then on another thread may take it. */
static int keep_spare(struct ezxml_block *b) {
    struct ezxml_block *none = NULL;
    SPARE_HIDE(b);
    if (__atomic_compare_exchange_n(&spare_block, &none, b, 0, __ATOMIC_RELEASE, __ATOMIC_RELAXED)) return 1;
    SPARE_SHOW(b);
    return 0;
}
#else
static struct ezxml_block *take_spare(void) { return NULL; }
static int keep_spare(struct ezxml_block *b) {
    (void)b;
    return 0;
}
#endif

/* The first block goes back last: the other blocks' nodes may mark it. */
static void release_head(struct ezxml_block *head) {
    assert(head->head == head && !head->next && head->live == 0 && !head->open);
    free(head->owners);
    if (keep_spare(head)) return;
    free(head);
}

void ezxml_block_release(struct ezxml_block *b) {
    struct ezxml_block *head = b->head;
    assert(b->live == 0 && !b->open);
    if (b == head) {
        if (!b->next) release_head(b);
        return;
    }
    b->prev->next = b->next;
    if (b->next) b->next->prev = b->prev;
    free(b);
    if (head->live == 0 && !head->open && !head->next) release_head(head);
}

void ezxml_release_document_blocks(struct ezxml_block *head) {
    struct ezxml_block *b = head->next, *next;
    assert(head->head == head && !head->open);
    for (; b; b = next) {
        next = b->next;
        free(b);
    }
    head->next = NULL;
    head->live = 0;
    release_head(head);
}

void ezxml_pool_note_owner(ezxml_pool *pool, ezxml_node *node) {
    struct ezxml_block *head = pool->block->head;
    if (head->touched) return;
    if (head->owner_count == head->owner_cap) {
        const size_t cap = head->owner_cap ? 2 * head->owner_cap : 16;
        ezxml_node **grown;
        if (cap > ((size_t)-1) / sizeof *grown ||
            !(grown = (ezxml_node **)ezxml_realloc(head->owners, cap * sizeof *grown))) {
            /* Without the list, the release visits every node instead. */
            head->touched = 1;
            return;
        }
        head->owners = grown;
        head->owner_cap = cap;
    }
    head->owners[head->owner_count++] = node;
}

char **ezxml_inline_entities(ezxml_root *root) { return (char **)(void *)((char *)root + RECORD_SIZE); }

ezxml_node *ezxml_alloc_node(const char *name) {
    ezxml_node *node = (ezxml_node *)ezxml_malloc(sizeof *node);
    if (!node) return NULL;
    node->block_offset = 0;
    ezxml_init_node(node, name);
    return node;
}

ezxml_root *ezxml_alloc_root(ezxml_pool *pool) {
    ezxml_root *root;
    if (!pool) {
        root = (ezxml_root *)ezxml_malloc(ROOT_SIZE);
        if (!root) return NULL;
        root->node.block_offset = 0;
    } else {
        /* The document record and the first nodes share one block; the
         * kept one counts as an allocation for the test hook. */
        struct ezxml_block *b;
        if (!ezxml_may_allocate()) return NULL;
        b = take_spare();
        if (!b && !(b = (struct ezxml_block *)malloc(FIRST_BYTES))) return NULL;
        b->live = 1;
        b->head = b;
        b->prev = b->next = NULL;
        b->open = 1;
        b->touched = 0;
        b->owners = NULL;
        b->owner_count = b->owner_cap = 0;
        root = (ezxml_root *)(void *)((char *)b + HEADER_SIZE);
        root->node.block_offset = HEADER_SIZE;
        pool->block = b;
        pool->pos = (char *)root + ROOT_SIZE;
        pool->end = pool->pos + FIRST_BLOCK;
        pool->next_size = 2048;
    }
    return root;
}

static void close_block(struct ezxml_block *b) {
    if (!b) return;
    assert(b->open);
    b->open = 0;
    if (b->live == 0) ezxml_block_release(b);
}

/* The whole huge pages inside the n bytes at p may be backed by huge
 * pages. Advice only: the memory stays the C heap's, and a kernel that
 * says no changes nothing. */
static void advise_huge_pages(void *p, size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t start = ((uintptr_t)p + HUGE_PAGE - 1) & ~(uintptr_t)(HUGE_PAGE - 1);
    const uintptr_t end = ((uintptr_t)p + n) & ~(uintptr_t)(HUGE_PAGE - 1);
    if (end > start) (void)madvise((void *)start, end - start, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

ezxml_node *ezxml_pool_grow(ezxml_pool *pool, size_t need) {
    size_t size = pool->next_size;
    struct ezxml_block *b;
    ezxml_node *node;
    assert(need >= NODE_SIZE && need % 8 == 0);
    if (size < need) size = need;
    /* Offsets in a larger block would not fit a node's block_offset. */
    assert(size <= LARGEST_BLOCK);
    b = (struct ezxml_block *)ezxml_malloc(HEADER_SIZE + size);
    if (!b) return NULL;
    if (size >= MAX_BLOCK) advise_huge_pages(b, HEADER_SIZE + size);
    b->live = 1;
    b->open = 1;
    /* Behind the first block in its list of the document's other blocks. */
    b->head = pool->block->head;
    b->prev = b->head;
    b->next = b->head->next;
    if (b->next) b->next->prev = b;
    b->head->next = b;
    close_block(pool->block);
    pool->block = b;
    pool->pos = (char *)b + HEADER_SIZE + need;
    pool->end = (char *)b + HEADER_SIZE + size;
    pool->next_size = size < MAX_BLOCK / 2 ? 2 * size : MAX_BLOCK;
    node = (ezxml_node *)(void *)((char *)b + HEADER_SIZE);
    node->block_offset = HEADER_SIZE;
    return node;
}

void *ezxml_pool_bytes_beside(ezxml_pool *pool, const ezxml_node *owner, size_t size) {
    void *p;
    size = (size + 7) & ~(size_t)7;
    if (!pool->block || ezxml_block_of(owner) != pool->block || (size_t)(pool->end - pool->pos) < size)
        return NULL;
    p = pool->pos;
    pool->pos += size;
    assert(pool->pos <= pool->end);
    return p;
}

void ezxml_pool_finish(ezxml_pool *pool) {
    close_block(pool->block);
    pool->block = NULL;
    pool->pos = pool->end = NULL;
}
