// The ASCII case comparison on two fuzzed strings: never crashes or reads
// past a terminator, and for ASCII input it is antisymmetric and agrees with
// comparing lower-cased copies.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <quab/string.h>

#define CHECK(expr)          \
    do {                     \
        if (!(expr))         \
            __builtin_trap(); \
    } while (0)

static int sign(int i)
{
    return (i > 0) - (i < 0);
}

static bool isAscii(const char *psz)
{
    for (; *psz; psz++)
        if (static_cast<unsigned char>(*psz) >= 0x80)
            return false;
    return true;
}

static int lowerCmp(const char *psz1, const char *psz2)
{
    for (;; psz1++, psz2++) {
        int c1 = *psz1 >= 'A' && *psz1 <= 'Z' ? *psz1 + 32 : *psz1;
        int c2 = *psz2 >= 'A' && *psz2 <= 'Z' ? *psz2 + 32 : *psz2;
        if (c1 != c2 || !c1)
            return c1 - c2;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    // The first zero byte splits the input into the two strings.
    const uint8_t *pbSplit = static_cast<const uint8_t *>(memchr(pbData, 0, cbData));
    size_t const cb1 = pbSplit ? static_cast<size_t>(pbSplit - pbData) : cbData;
    size_t const cb2 = pbSplit ? cbData - cb1 - 1 : 0;
    char *psz1 = static_cast<char *>(malloc(cb1 + 1));
    char *psz2 = static_cast<char *>(malloc(cb2 + 1));
    memcpy(psz1, pbData, cb1);
    psz1[cb1] = '\0';
    if (cb2)
        memcpy(psz2, pbSplit + 1, cb2);
    psz2[cb2] = '\0';

    int const i12 = RTStrCaseCmpAscii(psz1, psz2);
    int const i21 = RTStrCaseCmpAscii(psz2, psz1);
    if (isAscii(psz1) && isAscii(psz2)) {
        CHECK(sign(i12) == -sign(i21));
        CHECK(sign(i12) == sign(lowerCmp(psz1, psz2)));
    }
    // An ASCII string equals a copy of itself. (Non-ASCII text is not the
    // second argument's business: its bytes never equal decoded code points.)
    if (isAscii(psz1)) {
        char *pszCopy = static_cast<char *>(malloc(cb1 + 1));
        memcpy(pszCopy, psz1, cb1 + 1);
        CHECK(RTStrCaseCmpAscii(psz1, pszCopy) == 0);
        free(pszCopy);
    }

    free(psz1);
    free(psz2);
    return 0;
}
