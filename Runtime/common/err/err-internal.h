// Internals of the status texts: the packed table entries, the coded text pool and the look-ups.
#pragma once

#include <quab/err.h>

// One 64-bit word per status value, fields from the least significant bit:
// name offset (17), name length (6), message offset (17), message length (8),
// value (signed 16). Offsets and lengths count coded bytes of the pool.
struct StatusTableEntry {
    uint64_t u64;

    constexpr uint32_t offName() const { return static_cast<uint32_t>(u64 & 0x1FFFF); }
    constexpr uint32_t cbName() const { return static_cast<uint32_t>((u64 >> 17) & 0x3F); }
    constexpr uint32_t offMsg() const { return static_cast<uint32_t>((u64 >> 23) & 0x1FFFF); }
    constexpr uint32_t cbMsg() const { return static_cast<uint32_t>((u64 >> 40) & 0xFF); }
    constexpr int32_t iValue() const { return static_cast<int16_t>(static_cast<uint16_t>(u64 >> 48)); }
};

// The coded bytes and their dictionary. A dictionary word holds the offset of
// its text inside pbCoded (bits 0-21) and its length (bits 22-31); lengths 0
// and 1 stand for the code byte itself. Without a dictionary the bytes are
// plain text.
struct StatusTextPool {
    const uint8_t *pbCoded;
    uint32_t cbCoded;
    uint32_t cDict;
    const uint32_t *pauDict;
};

// The dictionary's escape byte, used only by dictionaries with room to spare.
inline constexpr uint8_t STATUS_TEXT_ESCAPE = 0xFF;

extern const StatusTextPool g_StatusTextPool;
extern const StatusTableEntry g_aStatusTable[];
extern const uint32_t g_cStatusTable;

// Bisection over a table sorted by ascending value; the entry type supplies
// iValue(). Returns the index, or -1 when the value is absent.
template <typename TEntry>
int rtErrTableBisect(const TEntry *paTable, uint32_t cEntries, int32_t iValue)
{
    if (cEntries == 0)
        return -1;
    uint32_t iLo = 0;
    uint32_t iHi = cEntries;
    for (;;) {
        uint32_t const iMid = iLo + (iHi - iLo) / 2;
        int32_t const iMidValue = paTable[iMid].iValue();
        if (iValue < iMidValue) {
            if (iLo >= iMid)
                return -1;
            iHi = iMid;
        } else if (iValue > iMidValue) {
            iLo = iMid + 1;
            if (iLo >= iHi)
                return -1;
        } else
            return static_cast<int>(iMid);
    }
}

// Index of the entry with iValue in paTable[0..cEntries), or -1.
int rtStatusTableFindIn(const StatusTableEntry *paTable, uint32_t cEntries, int32_t iValue);
// Index of the entry with iValue in the status table, or -1.
int rtStatusTableFind(int32_t iValue);

// Expands one coded text through the callback; returns the callback total.
size_t rtStatusTextOut(const StatusTextPool *pPool, uint32_t off, uint32_t cb, FmtOutputFn pfnOutput,
                       void *pvArgOutput);

// Renders a 32-bit number into the caller's scratch buffer and writes it;
// base 10 is signed, base 16 unsigned with "0x". A scratch buffer too small
// for the number gives the cut text.
size_t rtErrOutNumber(uint32_t uValue, unsigned uiBase, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp,
                      size_t cbTmp);

// Writes a fixed text of known length through the callback.
inline size_t rtErrOutLiteral(FmtOutputFn pfnOutput, void *pvArgOutput, const char *psz, size_t cch)
{
    return pfnOutput(pvArgOutput, psz, cch);
}
