// UTF-16 text (host byte order) through the readers: whatever converts to
// UTF-8 must convert back to the same units, the decoders must agree with the
// conversion, and nothing may read past the input.
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
    size_t const cwcData = cbData / sizeof(RTUTF16);
    RTUTF16 *pwc = static_cast<RTUTF16 *>(malloc((cwcData ? cwcData : 1) * sizeof(RTUTF16)));
    if (cwcData)
        memcpy(pwc, pbData, cwcData * sizeof(RTUTF16));
    size_t cwcText = 0;
    while (cwcText < cwcData && pwc[cwcText])
        cwcText++;

    size_t cchCount = 0;
    int32_t const rcCount = RTUtf16CountUtf8Bytes(pwc, cwcData, &cchCount);
    char *psz = nullptr;
    size_t cch = 0;
    int32_t rc = RTUtf16ToUtf8Ex(pwc, cwcData, &psz, 0, &cch);
    CHECK(rc == rcCount);
    if (RT_SUCCESS_NP(rc)) {
        CHECK(cch == cchCount && RTStrLenMax(psz, cch + 1) == cch);
        CHECK(RTStrCheckEncoding(psz, cch + 1, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT) == RT_OK);
        RTUTF16 *pwszBack = nullptr;
        size_t cwcBack = 0;
        rc = RTStrToUtf16Ex(psz, RTSTR_MAX, &pwszBack, 0, &cwcBack);
        CHECK(rc == RT_OK);
        CHECK(cwcBack == cwcText && memcmp(pwszBack, pwc, cwcText * sizeof(RTUTF16)) == 0 && pwszBack[cwcBack] == 0);
        RTStrDispose(pwszBack);

        // A caller's buffer of exactly the needed size works, one byte less
        // is refused untouched.
        if (cch > 0) {
            char *pchBuf = static_cast<char *>(malloc(cch + 1));
            char *pszBuf = pchBuf;
            pchBuf[0] = 'x';
            CHECK(RTUtf16ToUtf8Ex(pwc, cwcData, &pszBuf, cch, nullptr) == RTE_BUFFER_OVERFLOW && pchBuf[0] == 'x');
            CHECK(RTUtf16ToUtf8Ex(pwc, cwcData, &pszBuf, cch + 1, nullptr) == RT_OK && memcmp(pchBuf, psz, cch + 1) == 0);
            free(pchBuf);
        }
    } else
        CHECK(psz == nullptr && cchCount == RTSTR_MAX);
    RTStrDispose(psz);

    // The cursor decoders need a terminator; they must stop at it and agree
    // with the conversion on validity.
    RTUTF16 *pwsz = static_cast<RTUTF16 *>(malloc((cwcText + 1) * sizeof(RTUTF16)));
    memcpy(pwsz, pwc, cwcText * sizeof(RTUTF16));
    pwsz[cwcText] = 0;
    RTUTF16 *pwszBig = static_cast<RTUTF16 *>(malloc((cwcText + 1) * sizeof(RTUTF16)));
    for (size_t i = 0; i <= cwcText; i++)
        pwszBig[i] = static_cast<RTUTF16>((pwsz[i] >> 8) | (pwsz[i] << 8));
    const RTUTF16 *pwszCur = pwsz;
    const RTUTF16 *pwszBigCur = pwszBig;
    bool fAllValid = true;
    while (pwszCur < pwsz + cwcText) {
        RTUNICP cp = 0, cpBig = 0;
        int32_t const rc1 = RTUtf16DecodeCp(&pwszCur, &cp);
        int32_t const rc2 = RTUtf16BigDecodeCp(&pwszBigCur, &cpBig);
        CHECK(rc1 == rc2 && cp == cpBig && pwszCur - pwsz == pwszBigCur - pwszBig);
        if (RT_FAILURE_NP(rc1))
            fAllValid = false;
        CHECK(pwszCur <= pwsz + cwcText);
    }
    CHECK(fAllValid == RT_SUCCESS_NP(rcCount));
    free(pwszBig);
    free(pwsz);
    free(pwc);
    return 0;
}
