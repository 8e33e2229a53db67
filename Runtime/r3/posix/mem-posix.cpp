// Heap memory for the host build, which runs the portable code under
// sanitizers and fuzzers: plain malloc.
#include <stdlib.h>
#include <string.h>

#include <quab/mem.h>

static uint64_t g_cMemAllocs;

void *RTMemAllocTag(size_t cb, const char *)
{
    void *pv = malloc(cb ? cb : 1);
    if (pv)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pv;
}

void *RTMemAllocZTag(size_t cb, const char *)
{
    void *pv = calloc(1, cb ? cb : 1);
    if (pv)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pv;
}

void *RTMemReallocTag(void *pv, size_t cbNew, const char *)
{
    void *pvNew = realloc(pv, cbNew ? cbNew : 1);
    if (pvNew)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pvNew;
}

void RTMemFree(void *pv)
{
    free(pv);
}

uint64_t RTMemAllocCount()
{
    return __atomic_load_n(&g_cMemAllocs, __ATOMIC_RELAXED);
}
