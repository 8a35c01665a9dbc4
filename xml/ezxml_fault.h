/* Allocation-failure hook of the XML library, for tests. Every heap block the
 * library takes goes through one wrapper that honours this (per thread). */
#ifndef PAVORM_XML_EZXML_FAULT_H
#define PAVORM_XML_EZXML_FAULT_H

#include "ezxml.h"

#ifdef __cplusplus
extern "C" {
#endif

/* From now on the n-th allocation (1 = the next one), and only that one,
 * fails; 0 turns failing off. Either way the allocation count restarts. */
void ezxml_fail_allocation(long n);

/* Allocations (malloc and realloc) made since the last ezxml_fail_allocation call. */
long ezxml_allocation_count(void);

#ifdef __cplusplus
}
#endif

#endif /* PAVORM_XML_EZXML_FAULT_H */
