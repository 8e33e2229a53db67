// Fuzzes format strings over a fixed argument set that is safe for every
// directive the engine knows.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <quab/errinfo.h>
#include <quab/fmt.h>

namespace {

// Every argument slot points at one of these. Each is, at the same time, a
// terminated 8-bit, UTF-16 and UTF-32 string, a 16-byte address, a UUID, a
// network address record, an extended-error record (valid in one of them),
// a hex-dump source for any precision the filter lets through, and a format
// string without directives, which makes %M and %N harmless too: a nested run
// over it never reads its argument list.
constexpr size_t kcbBuffer = 16384;
constexpr size_t kcBuffers = 4;
alignas(16) char g_aabBuffers[kcBuffers][kcbBuffer];
char g_szErrMsg[] = "message";

void InitBuffers()
{
    static bool s_fDone = false;
    if (s_fDone)
        return;
    s_fDone = true;
    static const char s_szText[] = "Ab\xc3\xa4z<&>\"\\/ \t\n\r:C:\\dir\\x.txt";
    memcpy(g_aabBuffers[0], s_szText, sizeof(s_szText));
    // UTF-16 with a pair and an unpaired surrogate, little-endian.
    static const uint16_t s_awc[] = {'w', 0xe4, 0xd83d, 0xde00, 0xd800, 'x', 0};
    memcpy(g_aabBuffers[1], s_awc, sizeof(s_awc));
    static const uint32_t s_au[] = {0x20ac, 0x1f600, 0x80000000u, 'q', 0};
    memcpy(g_aabBuffers[2], s_au, sizeof(s_au));
    // A filled-in extended-error record.
    RTERRINFO const ErrInfo = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, -41, sizeof(g_szErrMsg), g_szErrMsg};
    memcpy(g_aabBuffers[3], &ErrInfo, sizeof(ErrInfo));
}

struct Sink
{
    size_t cchSeen;
    unsigned cFlushes;
};

size_t Output(void *pvArg, const char *pach, size_t cch)
{
    auto *pSink = static_cast<Sink *>(pvArg);
    if (!pach)
    {
        if (cch != 0)
            abort();
        pSink->cFlushes++;
        return 0;
    }
    // Touch every byte so that the sanitizers see where the engine points.
    char chSum = 0;
    for (size_t i = 0; i < cch; i++)
        chSum = static_cast<char>(chSum ^ pach[i]);
    volatile char chSink = chSum;
    (void)chSink;
    pSink->cchSeen += cch;
    return cch;
}

// '*' would take a pointer's bits as a width or precision, and long digit
// runs would ask hex dumps to read past the buffers; too many directives
// would run past the fixed argument list.
bool IsUsable(const char *psz, size_t cch)
{
    unsigned cPercent = 0;
    unsigned cDigitRun = 0;
    for (size_t i = 0; i < cch; i++)
    {
        char const ch = psz[i];
        if (ch == '*')
            return false;
        cDigitRun = (ch >= '0' && ch <= '9') ? cDigitRun + 1 : 0;
        if (cDigitRun > 4)
            return false;
        if (ch == '%' && ++cPercent > 16)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    InitBuffers();
    // The engine must stop at the terminator: give it exactly the input and
    // one zero so that the sanitizer catches any read beyond.
    char *pszFormat = static_cast<char *>(malloc(cbData + 1));
    memcpy(pszFormat, pbData, cbData);
    pszFormat[cbData] = '\0';
    if (!IsUsable(pszFormat, strlen(pszFormat)))
    {
        free(pszFormat);
        return 0;
    }

    char *a = g_aabBuffers[0], *b = g_aabBuffers[1], *c = g_aabBuffers[2], *d = g_aabBuffers[3];
#define FUZZ_ARGS8 a, b, c, d, d, c, b, a
#define FUZZ_ARGS64 FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8, FUZZ_ARGS8
    Sink TheSink = {0, 0};
    size_t const cch = RTFmtToCallback(Output, &TheSink, nullptr, nullptr, pszFormat, FUZZ_ARGS64);
#undef FUZZ_ARGS64
#undef FUZZ_ARGS8

    // The result is what the callback accounted for, and every run (the
    // nested ones too) ends with a flush.
    if (cch != TheSink.cchSeen || TheSink.cFlushes == 0)
        abort();
    free(pszFormat);
    return 0;
}
