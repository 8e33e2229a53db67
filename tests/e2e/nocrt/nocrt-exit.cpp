// A program linked like the stub that shows the start-up and exit order:
// the static tables, main's exit code through the exit callbacks and the
// stream flush, a large stack frame, 64-bit division and the stack guard.
//   nocrt-exit [--rc N] [--smash]
#include <windows.h>

#include <quab/init.h>
#include <quab/stream.h>

#include "r3/win/nocrt-startup-internal.h"

namespace {

void Note(const char *psz)
{
    rtStdErrWriteString(psz);
}

int InitStatusOk()
{
    Note("init-status\r\n");
    return 0;
}
void InitPlain() { Note("init-plain\r\n"); }
void PreTerm() { Note("preterm\r\n"); }
void Term() { Note("term\r\n"); }
void AtExitFirst() { Note("atexit-first\r\n"); }
void AtExitSecond() { Note("atexit-second\r\n"); }

RT_STATIC_TABLE_ENTRY(".CRT$XIV", PFNRTSTATICINITSTATUS, g_pfnInitStatus, InitStatusOk);
RT_STATIC_TABLE_ENTRY(".CRT$XCV", PFNRTSTATICINIT, g_pfnInitPlain, InitPlain);
RT_STATIC_TABLE_ENTRY(".CRT$XPV", PFNRTSTATICINIT, g_pfnPreTerm, PreTerm);
RT_STATIC_TABLE_ENTRY(".CRT$XTV", PFNRTSTATICINIT, g_pfnTerm, Term);
// An empty slot is skipped, not called.
RT_STATIC_TABLE_ENTRY(".CRT$XCW", PFNRTSTATICINIT, g_pfnEmpty, nullptr);

// Bigger than a page, so the compiler has to probe the stack page by page.
__attribute__((noinline)) uint32_t TouchBigFrame(uint32_t uSeed)
{
    volatile uint8_t abBig[96 * 1024];
    for (size_t i = 0; i < sizeof(abBig); i += 4096)
        abBig[i] = static_cast<uint8_t>(uSeed + i / 4096);
    abBig[sizeof(abBig) - 1] = 0x5A;
    uint32_t uSum = 0;
    for (size_t i = 0; i < sizeof(abBig); i += 4096)
        uSum += abBig[i];
    return uSum + abBig[sizeof(abBig) - 1];
}

__attribute__((noinline)) void Smash(const char *pszSrc)
{
    char szSmall[8];
    volatile size_t cch = 0;
    while (pszSrc[cch])
        cch = cch + 1;
    // Deliberately overruns the buffer to show the guard stops the program.
    for (size_t i = 0; i <= cch; i++)
        reinterpret_cast<volatile char *>(szSmall)[i] = pszSrc[i];
    RTStdOutPrintf("%s\n", szSmall);
}

bool StrEq(const char *psz1, const char *psz2)
{
    while (*psz1 && *psz1 == *psz2)
        psz1++, psz2++;
    return *psz1 == *psz2;
}

int ParseInt(const char *psz)
{
    int i = 0;
    while (*psz >= '0' && *psz <= '9')
        i = i * 10 + (*psz++ - '0');
    return i;
}

} // namespace

int main(int argc, char **argv, char **)
{
    int32_t rc = RTR3InitForExe(argc, &argv, RTR3INIT_F_DLL_SEARCH_SYSTEM32);
    if (RT_FAILURE_NP(rc))
        return RTMessageInitFailure(rc);

    int rcExit = 3010;
    for (int i = 1; i < argc; i++) {
        if (StrEq(argv[i], "--rc") && i + 1 < argc)
            rcExit = ParseInt(argv[++i]);
        else if (StrEq(argv[i], "--smash"))
            Smash("this text is far longer than eight bytes and runs over the frame");
    }

    rtR3AtExitRegister(AtExitFirst);
    rtR3AtExitRegister(AtExitSecond);

    volatile uint64_t u64Num = UINT64_C(0x123456789ABCDEF0);
    volatile uint64_t u64Den = UINT64_C(0x1F2E3D4C);
    volatile int64_t i64Num = -INT64_C(0x123456789ABCDEF);
    volatile int64_t i64Den = INT64_C(1000000007);
    // Fully buffered: nothing reaches standard output unless the exit path
    // flushes the stream after main has returned.
    RTStreamSetBufferMode(g_pStreamStdOut, RTSTREAMBUF_MODE_FULL);
    RTStdOutPrintf("frame %u\n", TouchBigFrame(7));
    RTStdOutPrintf("udiv %llu %llu\n", u64Num / u64Den, u64Num % u64Den);
    RTStdOutPrintf("sdiv %lld %lld\n", i64Num / i64Den, i64Num % i64Den);
    RTStdOutPrintf("exe %s\n", g_szExecPath + g_offExecName);
    RTStdOutPrintf("exiting with %d\n", rcExit);
    return rcExit;
}
