// Heap memory on Windows: the process heap.
#include <windows.h>

#include <quab/mem.h>

static uint64_t volatile g_cMemAllocs;

void *RTMemAllocTag(size_t cb, const char *)
{
    void *pv = HeapAlloc(GetProcessHeap(), 0, cb ? cb : 1);
    if (pv)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pv;
}

void *RTMemAllocZTag(size_t cb, const char *)
{
    void *pv = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb ? cb : 1);
    if (pv)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pv;
}

void *RTMemReallocTag(void *pv, size_t cbNew, const char *pszTag)
{
    if (!pv)
        return RTMemAllocTag(cbNew, pszTag);
    void *pvNew = HeapReAlloc(GetProcessHeap(), 0, pv, cbNew ? cbNew : 1);
    if (pvNew)
        __atomic_add_fetch(&g_cMemAllocs, 1, __ATOMIC_RELAXED);
    return pvNew;
}

void RTMemFree(void *pv)
{
    if (pv)
        HeapFree(GetProcessHeap(), 0, pv);
}

uint64_t RTMemAllocCount()
{
    return __atomic_load_n(&g_cMemAllocs, __ATOMIC_RELAXED);
}
