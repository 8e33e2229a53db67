// The memory primitives the compiler may call on its own; without a C
// runtime they must come from us. Extraction verifies every package by
// comparing it with the image and copies buffers through these, so they
// work a word (or a string instruction) at a time rather than byte by byte.
#include <stddef.h>
#include <stdint.h>

namespace {
using UnalignedU32 = uint32_t __attribute__((may_alias, aligned(1)));
}

extern "C" {

void *memcpy(void *pvDst, const void *pvSrc, size_t cb)
{
    void *pvRet = pvDst;
    size_t cDwords = cb / 4;
    size_t cBytes = cb % 4;
    __asm__ __volatile__("rep movsl\n\t"
                         "movl %[bytes], %%ecx\n\t"
                         "rep movsb"
                         : "+D"(pvDst), "+S"(pvSrc), "+c"(cDwords)
                         : [bytes] "r"(cBytes)
                         : "memory");
    return pvRet;
}

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memmove(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    const unsigned char *pbSrc = static_cast<const unsigned char *>(pvSrc);
    if (pbDst <= pbSrc || pbDst >= pbSrc + cb)
        return memcpy(pvDst, pvSrc, cb);
    while (cb--)
        pbDst[cb] = pbSrc[cb];
    return pvDst;
}

void *memset(void *pvDst, int ch, size_t cb)
{
    void *pvRet = pvDst;
    __asm__ __volatile__("rep stosb" : "+D"(pvDst), "+c"(cb) : "a"(ch) : "memory");
    return pvRet;
}

int memcmp(const void *pv1, const void *pv2, size_t cb)
{
    const unsigned char *pb1 = static_cast<const unsigned char *>(pv1);
    const unsigned char *pb2 = static_cast<const unsigned char *>(pv2);
    while (cb >= 4 && *reinterpret_cast<const UnalignedU32 *>(pb1) == *reinterpret_cast<const UnalignedU32 *>(pb2)) {
        pb1 += 4;
        pb2 += 4;
        cb -= 4;
    }
    for (; cb; cb--, pb1++, pb2++)
        if (*pb1 != *pb2)
            return *pb1 < *pb2 ? -1 : 1;
    return 0;
}

} // extern "C"
