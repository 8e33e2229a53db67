// Heap memory: the one allocator every runtime area uses (the process heap
// on Windows, malloc on the host build). Tags name the calling source module
// and are accepted and ignored.
#pragma once

#include <quab/types.h>

void *RTMemAllocTag(size_t cb, const char *pszTag = nullptr);
void *RTMemAllocZTag(size_t cb, const char *pszTag = nullptr);
void *RTMemReallocTag(void *pv, size_t cbNew, const char *pszTag = nullptr);
void RTMemFree(void *pv);

// Number of successful allocations and reallocations since process start;
// lets tests show that a code path does not touch the heap.
uint64_t RTMemAllocCount();
