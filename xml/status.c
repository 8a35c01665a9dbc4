/* The status a parse leaves in its document: why and where it stopped. */
#include "ezxml_internal.h"

#include <stdarg.h>
#include <stdio.h>

void ezxml_note_stop(ezxml_root *root, int code, size_t offset, const char *format, ...) {
    va_list args;
    /* The first reason is the one that counts: later exits only follow from it. */
    if (root->status != EZXML_PARSE_COMPLETE) return;
    root->status = code;
    root->status_offset = offset;
    va_start(args, format);
    vsnprintf(root->error, sizeof root->error, format, args);
    va_end(args);
}

int ezxml_parse_status(ezxml_node *node, size_t *offset) {
    const ezxml_root *root;
    if (offset) *offset = 0;
    if (!node) return EZXML_PARSE_NO_DOCUMENT;
    while (node->parent) node = node->parent;
    /* Only a record the library made is a document record. */
    if (!(node->flags & EZXML_LIBRARY_RECORD)) return EZXML_PARSE_NO_DOCUMENT;
    root = (const ezxml_root *)(const void *)node;
    if (offset) *offset = root->status_offset;
    return root->status;
}
