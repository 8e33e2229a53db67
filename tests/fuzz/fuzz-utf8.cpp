// UTF-8 text through every reader: whatever converts to UTF-16 must convert
// back to the same bytes, the readers must agree with each other, and none
// may read past the input (which carries no terminator).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <quab/string.h>

#define CHECK(expr)          \
    do {                     \
        if (!(expr))         \
            __builtin_trap(); \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    char *pch = static_cast<char *>(malloc(cbData ? cbData : 1));
    if (cbData)
        memcpy(pch, pbData, cbData);
    size_t const cchText = RTStrLenMax(pch, cbData);  // the text ends at a zero byte

    int32_t const rcScan = RTStrCheckEncoding(pch, cbData, 0);
    size_t cwc = 0;
    int32_t const rcCount = RTStrCountUtf16Units(pch, cbData, &cwc);
    // The UTF-16 count only adds the rejection of values above U+10FFFF,
    // which may come before whatever the plain scan stops at.
    CHECK(rcCount == rcScan || rcCount == RTE_CODE_POINT_TOO_BIG);
    CHECK(RT_SUCCESS_NP(rcScan) || RT_FAILURE_NP(rcCount));

    RTUTF16 *pwsz = nullptr;
    size_t cwcConv = 0;
    int32_t rc = RTStrToUtf16Ex(pch, cbData, &pwsz, 0, &cwcConv);
    CHECK(rc == rcCount);
    if (RT_SUCCESS_NP(rc)) {
        CHECK(cwcConv == cwc && RTUtf16Units(pwsz) == cwc);
        char *psz = nullptr;
        size_t cch = 0;
        rc = RTUtf16ToUtf8Ex(pwsz, RTSTR_MAX, &psz, 0, &cch);
        CHECK(rc == RT_OK);
        CHECK(cch == cchText && memcmp(psz, pch, cchText) == 0 && psz[cch] == '\0');
        RTStrDispose(psz);
    } else
        CHECK(pwsz == nullptr);
    RTStrDispose(pwsz);

    // Code points: re-encoding them gives the input back.
    RTUNICP *paCps = nullptr;
    size_t cCps = 0;
    rc = RTStrToCodePointsEx(pch, cbData, &paCps, 0, &cCps);
    CHECK(rc == rcScan);
    if (RT_SUCCESS_NP(rc)) {
        char *pszBack = static_cast<char *>(malloc(cCps * 6 + 1));
        char *pszEnd = pszBack;
        for (size_t i = 0; i < cCps; i++)
            pszEnd = RTStrEncodeCp(pszEnd, paCps[i]);
        CHECK(static_cast<size_t>(pszEnd - pszBack) == cchText && memcmp(pszBack, pch, cchText) == 0);
        free(pszBack);
        RTStrDispose(paCps);
    }

    // The bounded decoder walks the whole input byte-exactly; where it finds
    // valid characters, stepping back from each end finds each start.
    const char *pszCur = pch;
    size_t cbLeft = cbData;
    bool fAllValid = true;
    while (cbLeft > 0) {
        const char *pszStart = pszCur;
        size_t const cbBefore = cbLeft;
        RTUNICP cp = 0;
        rc = RTStrDecodeCpN(&pszCur, &cbLeft, &cp);
        CHECK(static_cast<size_t>(pszCur - pszStart) == cbBefore - cbLeft);
        if (RT_FAILURE_NP(rc)) {
            CHECK(cp == CODEPOINT_INVALID && pszCur == pszStart + 1);
            fAllValid = false;
        } else if (fAllValid)
            CHECK(RTStrPrevCharStart(pch, pszCur) == pszStart);
    }
    RTUNICP cp = 0;
    CHECK(RTStrDecodeCpN(&pszCur, &cbLeft, &cp) == RTE_END_OF_STRING && cp == CODEPOINT_INVALID);

    free(pch);
    return 0;
}
