// Hex dumps: %Rhx and %RhX as one line of bytes (s) or as address/offset lines (d, D with repeats collapsed).
#include "common/string/format-ext-internal.h"

namespace {

// Collects the small pieces of a dump so the callback sees whole runs.
class HexWriter {
public:
    HexWriter(FmtOutputFn pfnOutput, void *pvArgOutput) : m_pfnOutput(pfnOutput), m_pvArgOutput(pvArgOutput) {}

    void Put(const char *pach, size_t cch)
    {
        while (cch > 0) {
            if (m_cch == sizeof(m_ach))
                Flush();
            size_t const cchChunk = cch < sizeof(m_ach) - m_cch ? cch : sizeof(m_ach) - m_cch;
            __builtin_memcpy(&m_ach[m_cch], pach, cchChunk);
            m_cch += cchChunk;
            pach += cchChunk;
            cch -= cchChunk;
        }
    }
    void PutChar(char ch) { Put(&ch, 1); }
    void PutHex2(uint8_t b)
    {
        static constexpr char s_achDigits[] = "0123456789abcdef";
        char const ach[2] = {s_achDigits[b >> 4], s_achDigits[b & 15]};
        Put(ach, 2);
    }
    void PutHex(uint64_t uValue, int cchMin)
    {
        char szNum[64];
        int const cch = RTFmtNumber(szNum, uValue, 16, cchMin, -1, FMT_F_ZEROPAD | FMT_F_64BIT);
        Put(szNum, static_cast<size_t>(cch));
    }
    size_t Finish()
    {
        Flush();
        return m_cchTotal;
    }

private:
    void Flush()
    {
        if (m_cch)
            m_cchTotal += m_pfnOutput(m_pvArgOutput, m_ach, m_cch);
        m_cch = 0;
    }

    FmtOutputFn m_pfnOutput;
    void *m_pvArgOutput;
    char m_ach[128];
    size_t m_cch = 0;
    size_t m_cchTotal = 0;
};

struct HexDump {
    const uint8_t *pb;
    size_t cb;
    uint64_t uAddr;    // address shown for pb[0]
    int cchAddr;
    bool fAddrInLine;  // the s form shows the address only when it was given
};

void rtFmtHexLine(HexWriter &Out, HexDump const &Dump, unsigned fFlags)
{
    if (Dump.cb == 0)
        return;
    if (Dump.fAddrInLine) {
        Out.PutHex(Dump.uAddr, Dump.cchAddr);
        Out.Put(": ", 2);
    }
    Out.PutHex2(Dump.pb[0]);
    for (size_t i = 1; i < Dump.cb; i++) {
        if (!(fFlags & FMT_F_SPECIAL))
            Out.PutChar((fFlags & FMT_F_GROUP) ? ':' : ' ');
        Out.PutHex2(Dump.pb[i]);
    }
}

void rtFmtHexDumpLine(HexWriter &Out, HexDump const &Dump, size_t off, size_t cbLine)
{
    size_t const cbHere = Dump.cb - off < cbLine ? Dump.cb - off : cbLine;
    if (off)
        Out.PutChar('\n');
    Out.PutHex(Dump.uAddr + off, Dump.cchAddr);
    Out.PutChar('/');
    Out.PutHex(off, 4);
    Out.PutChar(':');
    for (size_t i = 0; i < cbLine; i++) {
        if (i >= cbHere) {
            Out.Put("   ", 3);
            continue;
        }
        Out.PutChar(i && i % 8 == 0 ? '-' : ' ');
        Out.PutHex2(Dump.pb[off + i]);
    }
    Out.PutChar(' ');
    for (size_t i = 0; i < cbHere; i++) {
        uint8_t const b = Dump.pb[off + i];
        Out.PutChar(b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.');
    }
}

// A full line other than the last: only those take part in collapsing.
bool rtFmtHexIsInnerLine(HexDump const &Dump, size_t off, size_t cbLine)
{
    return off > 0 && off < Dump.cb && cbLine < Dump.cb - off;
}

bool rtFmtHexSameAsPrevious(HexDump const &Dump, size_t off, size_t cbLine)
{
    return __builtin_memcmp(&Dump.pb[off], &Dump.pb[off - cbLine], cbLine) == 0;
}

void rtFmtHexDumpLines(HexWriter &Out, HexDump const &Dump, size_t cbLine, bool fCollapse)
{
    size_t off = 0;
    while (off < Dump.cb) {
        if (fCollapse && rtFmtHexIsInnerLine(Dump, off, cbLine) && rtFmtHexSameAsPrevious(Dump, off, cbLine)
            && rtFmtHexIsInnerLine(Dump, off + cbLine, cbLine)
            && rtFmtHexSameAsPrevious(Dump, off + cbLine, cbLine)) {
            unsigned cLines = 0;
            do {
                cLines++;
                off += cbLine;
            } while (rtFmtHexIsInnerLine(Dump, off, cbLine) && rtFmtHexSameAsPrevious(Dump, off, cbLine));
            Out.PutChar('\n');
            Out.Put("****************", static_cast<size_t>(Dump.cchAddr < 16 ? Dump.cchAddr : 16));
            Out.Put(" ****  <ditto x ", 16);
            char szNum[64];
            int const cch = RTFmtNumber(szNum, cLines, 10, -1, -1, FMT_F_32BIT);
            Out.Put(szNum, static_cast<size_t>(cch));
            Out.PutChar('>');
            continue;
        }
        rtFmtHexDumpLine(Out, Dump, off, cbLine);
        off += cbLine;
    }
}

} // namespace

size_t rtFmtExtHexDump(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the h
    bool const fGivenAddr = psz[1] == 'X';
    char const chForm = psz[2];
    if (chForm != 's' && chForm != 'd' && chForm != 'D') {
        *ppszFormat = psz + 2;
        return 0;
    }
    *ppszFormat = psz + 3;

    const void *pv = va_arg(*pArgs, const void *);
    uint64_t const uAddr = fGivenAddr ? va_arg(*pArgs, uint64_t) : reinterpret_cast<uintptr_t>(pv);
    // A pointer near either end of the address space is never read.
    if (!RT_VALID_PTR(pv))
        return rtFmtExtOut(pfnOutput, pvArgOutput, "<null>");

    HexDump Dump;
    Dump.pb = static_cast<const uint8_t *>(pv);
    Dump.cb = cchPrecision >= 0 ? static_cast<size_t>(cchPrecision) : 16;
    Dump.uAddr = uAddr;
    Dump.cchAddr = 8;
    if (fGivenAddr && (uAddr + Dump.cb < uAddr || uAddr + Dump.cb > UINT64_C(0xFFFFFFFF)))
        Dump.cchAddr = 16;
    Dump.fAddrInLine = fGivenAddr;

    HexWriter Out(pfnOutput, pvArgOutput);
    if (chForm == 's')
        rtFmtHexLine(Out, Dump, fFlags);
    else
        rtFmtHexDumpLines(Out, Dump, cchWidth > 0 ? static_cast<size_t>(cchWidth) : 16, chForm == 'D');
    return Out.Finish();
}
