/* Documents and elements: creation, linking, lookup and release. */
#include "ezxml_internal.h"

#include <assert.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* Shared constants: the predefined entities and the empty text. */
static char pre_lt[] = "lt;", pre_gt[] = "gt;", pre_quot[] = "quot;", pre_apos[] = "apos;", pre_amp[] = "amp;";
static char val_lt[] = "&#60;", val_gt[] = "&#62;", val_quot[] = "&#34;", val_apos[] = "&#39;", val_amp[] = "&#38;";
char *const ezxml_predefined_entities[10] = {pre_lt, val_lt, pre_gt,   val_gt,  pre_quot,
                                             val_quot, pre_apos, val_apos, pre_amp, val_amp};
char ezxml_empty_text[1] = "";

void ezxml_init_node(ezxml_node *n, const char *name) {
    n->name = (char *)name;
    n->attrs = (char **)EZXML_EMPTY_LIST;
    n->text = ezxml_empty_text;
    n->offset = 0;
    n->next = n->sibling = n->ordered = n->child = n->parent = NULL;
    n->flags = EZXML_LIBRARY_RECORD;
}

/* --- documents ----------------------------------------------------------- */

/* Fills a fresh document record (from ezxml_alloc_root); 1. */
int ezxml_init_root(ezxml_root *root, const char *name) {
    char **entities = ezxml_inline_entities(root);
    ezxml_init_node(&root->node, name);
    root->current = &root->node;
    root->input = NULL;
    root->input_release = 0;
    root->utf8_copy = root->work_start = root->work_end = NULL;
    memcpy(entities, ezxml_predefined_entities, sizeof ezxml_predefined_entities);
    entities[10] = NULL;
    root->entities = entities;
    root->attr_defaults = (char ***)EZXML_EMPTY_LIST;
    root->instructions = (char ***)EZXML_EMPTY_LIST;
    root->standalone = 0;
    root->error[0] = '\0';
    root->status = EZXML_PARSE_COMPLETE;
    root->status_offset = 0;
    return 1;
}

ezxml_node *ezxml_new(const char *name) {
    ezxml_root *root = ezxml_alloc_root(NULL);
    if (!root) return NULL;
    if (!ezxml_init_root(root, name)) {
        ezxml_release_node(&root->node);
        return NULL;
    }
    return &root->node;
}

static ezxml_root *root_of(ezxml_node *node) {
    while (node->parent) node = node->parent;
    return (ezxml_root *)(void *)node;
}

/* --- linking ------------------------------------------------------------- */

static int same_name(const ezxml_node *a, const ezxml_node *b) {
    return strcmp(a->name ? a->name : "", b->name ? b->name : "") == 0;
}

static ezxml_node *link_node(ezxml_node *node, ezxml_node *dest, size_t offset);

ezxml_node *ezxml_insert(ezxml_node *node, ezxml_node *dest, size_t offset) {
    ezxml_node *cur;
    /* Only records the library made can be released by it; a node under
     * itself would make the tree a loop. The walk goes up from dest even when
     * node has no children now: a cut subtree keeps its parent, so a node
     * whose children were cut can still be above dest. */
    if (!node || !dest || !(node->flags & EZXML_LIBRARY_RECORD)) return NULL;
    for (cur = dest; cur; cur = cur->parent)
        if (cur == node) return NULL;
    ezxml_touch(node);
    ezxml_touch(dest);
    return link_node(node, dest, offset);
}

/* Links node under dest; the caller has made sure that it may. */
static ezxml_node *link_node(ezxml_node *node, ezxml_node *dest, size_t offset) {
    ezxml_node *head, *cur, *first, *prev, *sib_head;
    /* A node still linked would stay reachable from its old chains too. */
    assert(!node->ordered);
    node->next = node->sibling = NULL;
    node->offset = offset;
    node->parent = dest;
    head = dest->child;
    if (!head) {
        node->ordered = NULL;
        dest->child = node;
        return node;
    }

    /* Document order: behind every element whose offset is <= offset. */
    if (offset < head->offset) {
        node->ordered = head;
        dest->child = node;
    } else {
        cur = head;
        while (cur->ordered && cur->ordered->offset <= offset) cur = cur->ordered;
        node->ordered = cur->ordered;
        cur->ordered = node;
    }

    /* Name chain: the first element of this name, if any. */
    prev = NULL;
    for (first = head; first && !same_name(first, node); first = first->sibling) prev = first;
    if (first && first->offset <= offset) {
        cur = first;
        while (cur->next && cur->next->offset <= offset) cur = cur->next;
        node->next = cur->next;
        cur->next = node;
        return node;
    }

    /* The node becomes the first of its name; the former first leaves the
     * sibling chain. */
    node->next = first;
    sib_head = head;
    if (first) {
        if (prev)
            prev->sibling = first->sibling;
        else
            sib_head = first->sibling;
        first->sibling = NULL;
    }
    prev = NULL;
    for (cur = sib_head; cur && cur->offset <= offset; cur = cur->sibling) prev = cur;
    node->sibling = cur;
    if (prev) prev->sibling = node;
    /* Otherwise the node heads the sibling chain and is dest->child already. */
    return node;
}

ezxml_node *ezxml_add_child(ezxml_node *parent, const char *name, size_t offset) {
    ezxml_node *child;
    if (!parent) return NULL;
    ezxml_touch(parent);
    child = ezxml_alloc_node(name);
    if (!child) return NULL;
    /* A new node is above nothing: no walk up a deep tree. */
    return link_node(child, parent, offset);
}

ezxml_node *ezxml_cut(ezxml_node *node) {
    ezxml_node *parent, *cur, *prev, *first;
    if (!node) return NULL;
    ezxml_touch(node);
    parent = node->parent;
    if (parent && parent->child) {
        prev = NULL;
        for (first = parent->child; first && !same_name(first, node); first = first->sibling) prev = first;

        /* Document order. */
        if (parent->child == node) {
            parent->child = node->ordered;
        } else {
            /* Not found: the node was cut before (its parent stays set). */
            for (cur = parent->child; cur->ordered && cur->ordered != node; cur = cur->ordered) {
            }
            if (cur->ordered == node) cur->ordered = node->ordered;
        }

        if (first == node) {
            /* The node leaves the sibling chain; its same-name successor, now
             * the first of the name, enters it where document order puts it
             * (offsets alone cannot tell between equal ones). */
            ezxml_node *succ = node->next, *head, *last = NULL, *member, *x;
            if (prev) prev->sibling = node->sibling;
            head = prev ? parent->child : node->sibling;
            if (succ) {
                member = head;
                for (x = parent->child; x && x != succ; x = x->ordered) {
                    if (x == member) {
                        last = member;
                        member = member->sibling;
                    }
                }
                /* Every element of a name chain is in document order too. */
                assert(x == succ && succ->parent == parent);
                if (last) {
                    succ->sibling = last->sibling;
                    last->sibling = succ;
                } else {
                    succ->sibling = head;
                }
            }
        } else if (first) {
            for (cur = first; cur->next && cur->next != node; cur = cur->next) {
            }
            if (cur->next == node) cur->next = node->next;
        }
    }
    node->next = node->sibling = node->ordered = NULL;
    return node;
}

/* --- simple accessors ---------------------------------------------------- */

ezxml_node *ezxml_set_txt(ezxml_node *node, const char *text) {
    if (!node) return NULL;
    ezxml_touch(node);
    if (node->flags & EZXML_TEXT_OWNED) free(node->text);
    node->flags &= (short)~EZXML_TEXT_OWNED;
    node->text = (char *)text;
    return node;
}

ezxml_node *ezxml_set_flag(ezxml_node *node, short flag) {
    if (!node) return NULL;
    ezxml_touch(node);
    node->flags |= (short)(flag & ~EZXML_LIBRARY_RECORD);
    return node;
}

/* The bodies of ezxml_child and ezxml_idx, which ezxml_get calls directly
 * (exported functions are not inlined into each other). */
EZXML_ALWAYS_INLINE ezxml_node *child_named(ezxml_node *node, const char *name) {
    ezxml_node *c;
    if (!node || !name) return NULL;
    for (c = node->child; c; c = c->sibling)
        if (c->name && c->name[0] == name[0] && strcmp(c->name, name) == 0) return c;
    return NULL;
}

static ezxml_node *nth_of_name(ezxml_node *node, int index) {
    if (index < 0) return NULL;
    for (; node && index; --index) node = node->next;
    return node;
}

ezxml_node *ezxml_child(ezxml_node *node, const char *name) { return child_named(node, name); }

ezxml_node *ezxml_idx(ezxml_node *node, int index) { return nth_of_name(node, index); }

ezxml_node *ezxml_get(ezxml_node *node, ...) {
    va_list ap;
    const char *name;
    int index;
    va_start(ap, node);
    for (;;) {
        name = va_arg(ap, const char *);
        if (!name || name == (const char *)(~(uintptr_t)0) || !*name) break;
        index = va_arg(ap, int);
        node = child_named(node, name);
        if (index < 0) break;
        node = nth_of_name(node, index);
    }
    va_end(ap);
    return node;
}

const char **ezxml_pi(ezxml_node *node, const char *target) {
    ezxml_root *root;
    char ***lists;
    if (!node || !target) return (const char **)EZXML_EMPTY_LIST;
    root = root_of(node);
    for (lists = root->instructions; *lists; ++lists)
        if (strcmp((*lists)[0], target) == 0) return (const char **)(*lists + 1);
    return (const char **)EZXML_EMPTY_LIST;
}

const char *ezxml_error(ezxml_node *node) {
    if (!node) return "";
    return root_of(node)->error;
}

char **ezxml_find_defaults(char ***defaults, const char *name) {
    return name ? ezxml_find_defaults_of(defaults, name, strlen(name)) : NULL;
}

char **ezxml_find_defaults_of(char ***defaults, const char *name, size_t len) {
    for (; *defaults; ++defaults)
        if (strlen((*defaults)[0]) == len && memcmp((*defaults)[0], name, len) == 0) return *defaults;
    return NULL;
}

const char *ezxml_attr(ezxml_node *node, const char *name) {
    char **a, **d;
    size_t i;
    if (!node || !name) return NULL;
    for (a = node->attrs; *a; a += 2)
        if (strcmp(*a, name) == 0) return a[1];
    d = ezxml_find_defaults(root_of(node)->attr_defaults, node->name);
    if (!d) return NULL;
    for (i = 1; d[i]; i += 3)
        if (strcmp(d[i], name) == 0) return d[i + 1];
    return NULL;
}

/* --- release --------------------------------------------------------------
 * Walks the subtree and the document-order successors without recursion:
 * descend through child, release a node once it has no child left, and go
 * on with its ordered successor or back to its parent. */

static int outside(const char *p, const ezxml_root *root) {
    return !(root->work_start && p >= root->work_start && p < root->work_end);
}

static void free_tables(ezxml_root *root) {
    char **e;
    char ***t;
    size_t i;
    if (root->entities) {
        for (e = root->entities + 10; *e; e += 2)
            if (e[1] && outside(e[1], root)) free(e[1]);
        if (root->entities != ezxml_inline_entities(root)) free(root->entities);
    }
    if (root->attr_defaults != (char ***)EZXML_EMPTY_LIST) {
        for (t = root->attr_defaults; *t; ++t) {
            for (i = 1; (*t)[i]; i += 3)
                if ((*t)[i + 1] && outside((*t)[i + 1], root)) free((*t)[i + 1]);
            free(*t);
        }
        free(root->attr_defaults);
    }
    if (root->instructions != (char ***)EZXML_EMPTY_LIST) {
        for (t = root->instructions; *t; ++t) {
            for (i = 1; (*t)[i]; ++i) {
            }
            free((*t)[i + 1]);
            free(*t);
        }
        free(root->instructions);
    }
    if (root->input_release == (size_t)-1) free(root->input);
    if (root->utf8_copy) free(root->utf8_copy);
}

/* Releases what a node owns, not the node. */
EZXML_ALWAYS_INLINE void release_strings(ezxml_node *n) {
    if (n->attrs != (char **)EZXML_EMPTY_LIST && ezxml_attrs_own_strings(n->attrs)) ezxml_free_attrs(n->attrs);
    if (n->flags & (EZXML_TEXT_OWNED | EZXML_NAME_OWNED)) {
        if (n->flags & EZXML_TEXT_OWNED) free(n->text);
        if (n->flags & EZXML_NAME_OWNED) free(n->name);
    }
}

/* release_strings for a node that may be listed twice among its
 * document's owners: what it owned is marked as gone. */
EZXML_ALWAYS_INLINE void release_owned_once(ezxml_node *n) {
    release_strings(n);
    n->attrs = (char **)EZXML_EMPTY_LIST;
    n->flags &= (short)~(EZXML_TEXT_OWNED | EZXML_NAME_OWNED);
}

EZXML_ALWAYS_INLINE void release_one(ezxml_node *n) {
    release_strings(n);
    /* A record the host made is the host's to release (ezxml_insert refuses
     * such records; only a hand-made link gets one here). */
    if (n->flags & EZXML_LIBRARY_RECORD) ezxml_release_node(n);
}

void ezxml_free(ezxml_node *node) {
    ezxml_node *top, *n, *up;
    if (!node || !(node->flags & EZXML_LIBRARY_RECORD)) return;
    if (!node->parent && !node->ordered) {
        /* A parsed document that no function has changed: its owners
         * release their strings, and its blocks go back without a visit
         * to each node. */
        struct ezxml_block *head = ezxml_untouched_document(node);
        if (head) {
            size_t i;
            ezxml_node **owners = head->owners;
            const size_t count = head->owner_count;
            for (i = 0; i < count; ++i) {
#if defined(__GNUC__)
                /* The nodes and the heap headers of their strings are long
                 * out of the caches: fetch them a few owners ahead. */
                if (i + 16 < count) __builtin_prefetch(owners[i + 16]);
                if (i + 8 < count) __builtin_prefetch((const void *)((uintptr_t)owners[i + 8]->text - 16));
#endif
                release_owned_once(owners[i]);
            }
            free_tables((ezxml_root *)(void *)node);
            release_strings(node);
            ezxml_release_document_blocks(head);
            return;
        }
    }
    /* Nodes of this document are released one by one from here on. */
    ezxml_touch(node);
    top = node;
    n = node->child;
    assert(!n || n->parent == top);
    /* Release the subtree below top (children and everything behind them),
     * then top's ordered successors with their subtrees, then top. A node
     * is released once its children are: the walk goes down child links
     * and comes back up through parent from a last child, when the parent
     * is taken as a leaf at once (its child link, which names a released
     * node, is not read again). */
    while (n) {
        if (n->child) {
            /* The walk comes back up through parent: a child that names
             * another parent would release nodes of another tree. */
            assert(n->child->parent == n);
            n = n->child;
            continue;
        }
        for (;;) {
            ezxml_node *next = n->ordered;
            up = n->parent;
            assert(up);
            release_one(n);
            if (next) {
                /* On to the next child of the same parent. */
                n = next;
                break;
            }
            if (!up || up == top) {
                n = NULL;
                break;
            }
            n = up;
        }
    }
    /* top's own successors in document order, each with its subtree. */
    {
        ezxml_node *succ = top->ordered;
        while (succ) {
            ezxml_node *after = succ->ordered;
            succ->ordered = NULL;
            ezxml_free(succ);
            succ = after;
        }
    }
    if (!top->parent) free_tables((ezxml_root *)(void *)top);
    release_one(top);
}
