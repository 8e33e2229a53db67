// Internals of the status texts: the packed table entries, the coded text pool and the look-ups.
#pragma once

#include <quab/err.h>

// One 32-bit word per status value, fields from the least significant bit:
// name length (6), message length (8), two unused bits, value (signed 16).
// Lengths count coded bytes of the pool. The texts lie in table order, each
// name followed by its message, so an entry's offset is the sum of the
// lengths before it (rtStatusTextOffset).
struct StatusTableEntry {
    uint32_t u32;

    constexpr uint32_t cbName() const { return u32 & 0x3F; }
    constexpr uint32_t cbMsg() const { return (u32 >> 6) & 0xFF; }
    constexpr int32_t iValue() const { return static_cast<int16_t>(static_cast<uint16_t>(u32 >> 16)); }
};

// The pool offset of every STATUS_TEXT_STEP-th entry's name, so that finding
// an offset adds at most STATUS_TEXT_STEP - 1 pairs of lengths.
inline constexpr uint32_t STATUS_TEXT_STEP = 16;

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
extern const uint16_t g_auStatusTextStart[];

// The pool offset of the name of g_aStatusTable[iEntry]; its message follows
// the name.
uint32_t rtStatusTextOffset(uint32_t iEntry);

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
