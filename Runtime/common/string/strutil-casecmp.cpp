// Case-insensitive comparison of UTF-8 text against ASCII text, which the
// installer uses to recognise package file extensions.
#include <quab/string.h>

static inline unsigned rtFoldAscii(unsigned c)
{
    return c - 'A' < 26u ? c + ('a' - 'A') : c;
}

// Plain byte comparison, for the rest of a string that is not valid UTF-8.
static int rtCmpBytes(const unsigned char *p1, const unsigned char *p2)
{
    for (;; p1++, p2++) {
        if (*p1 != *p2)
            return *p1 < *p2 ? -1 : 1;
        if (!*p1)
            return 0;
    }
}

int RTStrCaseCmpAscii(const char *psz1, const char *pszAscii)
{
    if (psz1 == pszAscii)
        return 0;
    if (!psz1)
        return -1;
    if (!pszAscii)
        return 1;

    const unsigned char *p2 = reinterpret_cast<const unsigned char *>(pszAscii);
    for (;; p2++) {
        RTUNICP c = static_cast<unsigned char>(*psz1);
        if (c < 0x80)
            psz1++;
        else {
            const char *pszBad = psz1;
            if (RT_FAILURE_NP(RTStrDecodeCp(&psz1, &c)))
                return rtCmpBytes(reinterpret_cast<const unsigned char *>(pszBad), p2);
        }
        unsigned const b = *p2;
        if (c == b) {
            if (c == 0)
                return 0;
            continue;
        }
        if (c >= 0x80)
            return 1;
        int const iDiff = static_cast<int>(rtFoldAscii(c)) - static_cast<int>(rtFoldAscii(b));
        if (iDiff)
            return iDiff;
    }
}
