// The memory primitives the compiler may call on its own; without a C
// runtime they must come from us. Kept simple: the compiler must not turn
// these loops back into calls to themselves.
#include <stddef.h>

extern "C" {

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memcpy(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    const unsigned char *pbSrc = static_cast<const unsigned char *>(pvSrc);
    while (cb--)
        *pbDst++ = *pbSrc++;
    return pvDst;
}

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memmove(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    const unsigned char *pbSrc = static_cast<const unsigned char *>(pvSrc);
    if (pbDst < pbSrc)
        while (cb--)
            *pbDst++ = *pbSrc++;
    else
        while (cb--)
            pbDst[cb] = pbSrc[cb];
    return pvDst;
}

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memset(void *pvDst, int ch, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    while (cb--)
        *pbDst++ = static_cast<unsigned char>(ch);
    return pvDst;
}

int memcmp(const void *pv1, const void *pv2, size_t cb)
{
    const unsigned char *pb1 = static_cast<const unsigned char *>(pv1);
    const unsigned char *pb2 = static_cast<const unsigned char *>(pv2);
    for (; cb; cb--, pb1++, pb2++)
        if (*pb1 != *pb2)
            return *pb1 < *pb2 ? -1 : 1;
    return 0;
}

} // extern "C"
