// The memory primitives the compiler may call on its own; without a C
// runtime they must come from us. Extraction verifies every package by
// comparing it with the image and copies buffers through these, so they
// work several words (or a string instruction) at a time rather than byte
// by byte. Copies and fills are string instructions, not loops: the compiler
// may turn a copy loop into a call to memcpy or memset, even freestanding.
#include <stddef.h>
#include <stdint.h>

namespace {

// x86 loads a word from any address; the type tells the compiler so.
using UnalignedU32 = uint32_t __attribute__((may_alias, aligned(1)));

inline uint32_t LoadU32(const unsigned char *pb)
{
    return *reinterpret_cast<const UnalignedU32 *>(pb);
}

} // namespace

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

void *memmove(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    const unsigned char *pbSrc = static_cast<const unsigned char *>(pvSrc);
    // A forward copy is safe unless the destination starts inside the source.
    if (pbDst <= pbSrc || pbDst >= pbSrc + cb)
        return memcpy(pvDst, pvSrc, cb);

    // Backwards from the last byte: first the odd tail bytes, then whole
    // words. The direction flag must be clear again before anything else runs.
    size_t cBytes = cb % 4;
    size_t cDwords = cb / 4;
    const unsigned char *pbSrcLast = pbSrc + cb - 1;
    unsigned char *pbDstLast = pbDst + cb - 1;
    __asm__ __volatile__("std\n\t"
                         "rep movsb\n\t"
                         "subl $3, %%esi\n\t"
                         "subl $3, %%edi\n\t"
                         "movl %[dwords], %%ecx\n\t"
                         "rep movsl\n\t"
                         "cld"
                         : "+D"(pbDstLast), "+S"(pbSrcLast), "+c"(cBytes)
                         : [dwords] "r"(cDwords)
                         : "memory", "cc");
    return pvDst;
}

void *memset(void *pvDst, int ch, size_t cb)
{
    void *pvRet = pvDst;
    uint32_t const u32Fill = static_cast<unsigned char>(ch) * UINT32_C(0x01010101);
    size_t cDwords = cb / 4;
    size_t cBytes = cb % 4;
    __asm__ __volatile__("rep stosl\n\t"
                         "movl %[bytes], %%ecx\n\t"
                         "rep stosb"
                         : "+D"(pvDst), "+c"(cDwords)
                         : "a"(u32Fill), [bytes] "r"(cBytes)
                         : "memory");
    return pvRet;
}

int memcmp(const void *pv1, const void *pv2, size_t cb)
{
    const unsigned char *pb1 = static_cast<const unsigned char *>(pv1);
    const unsigned char *pb2 = static_cast<const unsigned char *>(pv2);

    // Sixteen bytes a step until a step shows a difference; the word and
    // byte loops below then find the first differing byte, whose unsigned
    // order is the result (a word compare would get the order wrong on a
    // little-endian machine).
    size_t off = 0;
    size_t const cbSteps = cb & ~static_cast<size_t>(15);
    for (; off < cbSteps; off += 16) {
        uint32_t const fDiff = (LoadU32(pb1 + off) ^ LoadU32(pb2 + off))
                             | (LoadU32(pb1 + off + 4) ^ LoadU32(pb2 + off + 4))
                             | (LoadU32(pb1 + off + 8) ^ LoadU32(pb2 + off + 8))
                             | (LoadU32(pb1 + off + 12) ^ LoadU32(pb2 + off + 12));
        if (fDiff)
            break;
    }
    for (; cb - off >= 4 && LoadU32(pb1 + off) == LoadU32(pb2 + off); off += 4) {
    }
    for (; off < cb; off++)
        if (pb1[off] != pb2[off])
            return pb1[off] < pb2[off] ? -1 : 1;
    return 0;
}

} // extern "C"
