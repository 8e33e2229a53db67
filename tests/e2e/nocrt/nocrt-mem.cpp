// A program linked like the stub that checks the runtime's own memcmp,
// memcpy, memset and memmove (the copies a program without a C runtime
// gets) where word-wise code goes wrong: lengths around the word and step
// boundaries, unaligned starts, the first difference in each byte lane of a
// word, bytes at and above 0x80, overlaps in both directions. Expected
// results come from how the buffers were built, never from a second copy
// routine. Prints one line per failed check and "ok" when none failed.
#include <windows.h>

#include <quab/stream.h>

#include <stddef.h>
#include <stdint.h>

extern "C" {
int memcmp(const void *, const void *, size_t);
void *memcpy(void *, const void *, size_t);
void *memmove(void *, const void *, size_t);
void *memset(void *, int, size_t);
}

namespace {

// Called through pointers the compiler cannot see through, so every call
// reaches the linked function rather than an expansion of the compiler's.
int (*volatile g_pfnMemCmp)(const void *, const void *, size_t) = memcmp;
void *(*volatile g_pfnMemCpy)(void *, const void *, size_t) = memcpy;
void *(*volatile g_pfnMemMove)(void *, const void *, size_t) = memmove;
void *(*volatile g_pfnMemSet)(void *, int, size_t) = memset;

constexpr size_t kcbMaxLen = 40;
constexpr size_t kcbGuard = 8;
constexpr size_t kcbArea = kcbGuard + 3 + kcbMaxLen + 8 + kcbGuard;
constexpr uint8_t kbGuard = 0xEE;

unsigned g_cFailed;

void Fail(const char *pszWhat, size_t cb, size_t off1, size_t off2, size_t uExtra)
{
    // Enough lines to see the pattern of a fault without flooding the log.
    if (++g_cFailed <= 40)
        RTStdOutPrintf("FAIL %s len %zu offsets %zu/%zu at %zu\n", pszWhat, cb, off1, off2, uExtra);
}

uint8_t Pattern(size_t i)
{
    // Every byte value appears, the upper half included.
    return static_cast<uint8_t>(i * 37 + 0x85);
}

int Sign(int i)
{
    return i < 0 ? -1 : i > 0 ? 1 : 0;
}

struct CmpCase {
    uint8_t b1;
    uint8_t b2;
};

// The first differing byte pair at every position: a signed byte compare
// gets the upper half wrong, and so does a compare of whole little-endian
// words when a later byte in the word differs the other way.
constexpr CmpCase g_aCmpCases[] = {
    {0x01, 0x02}, {0x7F, 0x80}, {0x00, 0xFF}, {0x80, 0x81}, {0xFE, 0xFF}, {0x00, 0x80},
};

void CheckMemCmp()
{
    static uint8_t s_ab1[kcbArea];
    static uint8_t s_ab2[kcbArea];
    for (size_t off1 = 0; off1 < 4; off1++)
        for (size_t off2 = 0; off2 < 4; off2++)
            for (size_t cb = 0; cb <= kcbMaxLen; cb++) {
                uint8_t *pb1 = &s_ab1[kcbGuard + off1];
                uint8_t *pb2 = &s_ab2[kcbGuard + off2];
                for (size_t i = 0; i < cb; i++)
                    pb1[i] = pb2[i] = Pattern(i);
                // Bytes past the length differ and must not count.
                for (size_t i = cb; i < cb + 8; i++) {
                    pb1[i] = 0x00;
                    pb2[i] = 0xFF;
                }
                if (g_pfnMemCmp(pb1, pb2, cb) != 0)
                    Fail("memcmp equal", cb, off1, off2, cb);

                for (size_t iDiff = 0; iDiff < cb; iDiff++)
                    for (CmpCase const &Case : g_aCmpCases) {
                        pb1[iDiff] = Case.b1;
                        pb2[iDiff] = Case.b2;
                        // A later difference of the opposite order, in the
                        // same word and in the next one.
                        uint8_t const bSaved1 = iDiff + 1 < cb ? pb1[iDiff + 1] : 0;
                        uint8_t const bSaved2 = iDiff + 1 < cb ? pb2[iDiff + 1] : 0;
                        if (iDiff + 1 < cb) {
                            pb1[iDiff + 1] = 0xFF;
                            pb2[iDiff + 1] = 0x00;
                        }
                        if (Sign(g_pfnMemCmp(pb1, pb2, cb)) != -1)
                            Fail("memcmp less", cb, off1, off2, iDiff);
                        if (Sign(g_pfnMemCmp(pb2, pb1, cb)) != 1)
                            Fail("memcmp greater", cb, off1, off2, iDiff);
                        // Up to the difference the bytes are the same.
                        if (g_pfnMemCmp(pb1, pb2, iDiff) != 0)
                            Fail("memcmp prefix", cb, off1, off2, iDiff);
                        if (iDiff + 1 < cb) {
                            pb1[iDiff + 1] = bSaved1;
                            pb2[iDiff + 1] = bSaved2;
                        }
                        pb1[iDiff] = pb2[iDiff] = Pattern(iDiff);
                    }
            }

    // A block as large as the extraction's, different only in its last byte
    // and in its first, with the other byte of each pair above 0x80.
    static uint8_t s_abBig1[65536 + 3];
    static uint8_t s_abBig2[65536 + 3];
    size_t const cbBig = 65536;
    for (size_t i = 0; i < sizeof(s_abBig1); i++)
        s_abBig1[i] = s_abBig2[i] = Pattern(i);
    if (g_pfnMemCmp(&s_abBig1[1], &s_abBig2[3], cbBig - 2) == 0)
        Fail("memcmp shifted block", cbBig - 2, 1, 3, 0);
    if (g_pfnMemCmp(&s_abBig1[1], &s_abBig2[1], cbBig) != 0)
        Fail("memcmp big equal", cbBig, 1, 1, 0);
    s_abBig1[cbBig] = 0x90;
    s_abBig2[cbBig] = 0x10;
    if (Sign(g_pfnMemCmp(&s_abBig1[1], &s_abBig2[1], cbBig)) != 1)
        Fail("memcmp big last", cbBig, 1, 1, cbBig - 1);
    s_abBig1[1] = 0x10;
    s_abBig2[1] = 0x90;
    if (Sign(g_pfnMemCmp(&s_abBig1[1], &s_abBig2[1], cbBig)) != -1)
        Fail("memcmp big first", cbBig, 1, 1, 0);
}

// Checks a destination area: guard bytes before and after [off, off + cb),
// and the bytes inside as pfnExpect says.
template <typename FnExpect>
void CheckArea(const char *pszWhat, const uint8_t *pbArea, size_t off, size_t cb, size_t offSrc, FnExpect fnExpect)
{
    for (size_t i = 0; i < kcbArea; i++) {
        bool const fInside = i >= off && i < off + cb;
        uint8_t const bExpect = fInside ? fnExpect(i - off) : kbGuard;
        if (pbArea[i] != bExpect) {
            Fail(pszWhat, cb, off, offSrc, i);
            return;
        }
    }
}

void CheckMemCpy()
{
    static uint8_t s_abSrc[kcbArea];
    static uint8_t s_abDst[kcbArea];
    for (size_t i = 0; i < kcbArea; i++)
        s_abSrc[i] = Pattern(i);
    for (size_t offDst = kcbGuard; offDst < kcbGuard + 4; offDst++)
        for (size_t offSrc = 0; offSrc < 4; offSrc++)
            for (size_t cb = 0; cb <= kcbMaxLen; cb++) {
                for (uint8_t &b : s_abDst)
                    b = kbGuard;
                if (g_pfnMemCpy(&s_abDst[offDst], &s_abSrc[offSrc], cb) != &s_abDst[offDst])
                    Fail("memcpy return", cb, offDst, offSrc, 0);
                CheckArea("memcpy", s_abDst, offDst, cb, offSrc, [&](size_t i) { return Pattern(offSrc + i); });
            }
}

void CheckMemSet()
{
    static uint8_t s_abDst[kcbArea];
    // Only the low byte of the value counts.
    static constexpr int s_aiFill[] = {0x00, 0x5A, 0x80, 0xFF, 0x1A5, -1};
    for (int const iFill : s_aiFill)
        for (size_t offDst = kcbGuard; offDst < kcbGuard + 4; offDst++)
            for (size_t cb = 0; cb <= kcbMaxLen; cb++) {
                for (uint8_t &b : s_abDst)
                    b = kbGuard;
                if (g_pfnMemSet(&s_abDst[offDst], iFill, cb) != &s_abDst[offDst])
                    Fail("memset return", cb, offDst, 0, 0);
                uint8_t const bFill = static_cast<uint8_t>(iFill);
                CheckArea("memset", s_abDst, offDst, cb, static_cast<size_t>(bFill), [&](size_t) { return bFill; });
            }
}

void CheckMemMove()
{
    // Source and destination in one buffer, the destination up to 9 bytes
    // before or after the source: every overlap, and the first disjoint case.
    static uint8_t s_ab[kcbArea + 2 * 9];
    for (int iShift = -9; iShift <= 9; iShift++)
        for (size_t offSrc = kcbGuard + 9; offSrc < kcbGuard + 9 + 4; offSrc++)
            for (size_t cb = 0; cb <= kcbMaxLen; cb++) {
                for (size_t i = 0; i < sizeof(s_ab); i++)
                    s_ab[i] = kbGuard;
                for (size_t i = 0; i < cb; i++)
                    s_ab[offSrc + i] = Pattern(i);
                size_t const offDst = offSrc + static_cast<size_t>(iShift);
                if (g_pfnMemMove(&s_ab[offDst], &s_ab[offSrc], cb) != &s_ab[offDst])
                    Fail("memmove return", cb, offDst, offSrc, 0);
                for (size_t i = 0; i < sizeof(s_ab); i++) {
                    uint8_t bExpect = kbGuard;
                    if (i >= offDst && i < offDst + cb)
                        bExpect = Pattern(i - offDst);
                    else if (i >= offSrc && i < offSrc + cb)
                        bExpect = Pattern(i - offSrc);   // source bytes the copy did not cover
                    if (s_ab[i] != bExpect) {
                        Fail(iShift < 0 ? "memmove down" : "memmove up", cb, offDst, offSrc, i);
                        break;
                    }
                }
            }
}

// Both sources end where an inaccessible page begins, as the image's last
// package may: reading a byte past the length ends the program.
void CheckPageEnd()
{
    uint8_t *pbPages = static_cast<uint8_t *>(VirtualAlloc(nullptr, 4 * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD fOld;
    if (!pbPages || !VirtualProtect(pbPages + 4096, 4096, PAGE_NOACCESS, &fOld)
        || !VirtualProtect(pbPages + 3 * 4096, 4096, PAGE_NOACCESS, &fOld)) {
        Fail("page set-up", 0, 0, 0, GetLastError());
        return;
    }
    uint8_t *pbEnd1 = pbPages + 4096;
    uint8_t *pbEnd2 = pbPages + 3 * 4096;
    for (size_t i = 1; i <= 64; i++)
        pbEnd1[-static_cast<ptrdiff_t>(i)] = pbEnd2[-static_cast<ptrdiff_t>(i)] = Pattern(i);
    for (size_t cb = 0; cb <= kcbMaxLen; cb++) {
        if (g_pfnMemCmp(pbEnd1 - cb, pbEnd2 - cb, cb) != 0)
            Fail("memcmp at page end", cb, 0, 0, 0);
        uint8_t abDst[kcbMaxLen];
        g_pfnMemCpy(abDst, pbEnd1 - cb, cb);
        g_pfnMemMove(pbEnd2 - cb - 1, pbEnd2 - cb, cb);
        g_pfnMemMove(pbEnd2 - cb, pbEnd2 - cb - 1, cb);
        g_pfnMemSet(pbEnd2 - cb, 0x33, cb);
        for (size_t i = 1; i <= 64; i++)
            pbEnd2[-static_cast<ptrdiff_t>(i)] = Pattern(i);
    }
    VirtualFree(pbPages, 0, MEM_RELEASE);
}

} // namespace

int main(int, char **, char **)
{
    CheckMemCmp();
    CheckMemCpy();
    CheckMemSet();
    CheckMemMove();
    CheckPageEnd();
    if (g_cFailed) {
        RTStdOutPrintf("%u checks failed\n", g_cFailed);
        return 1;
    }
    RTStdOutPrintf("ok\n");
    return 0;
}
