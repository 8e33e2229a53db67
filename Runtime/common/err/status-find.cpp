// Looking up a status value in the sorted text table.
#include "common/err/err-internal.h"

int rtStatusTableFindIn(const StatusTableEntry *paTable, uint32_t cEntries, int32_t iValue)
{
    return rtErrTableBisect(paTable, cEntries, iValue);
}

int rtStatusTableFind(int32_t iValue)
{
    return rtErrTableBisect(g_aStatusTable, g_cStatusTable, iValue);
}

uint32_t rtStatusTextOffset(uint32_t iEntry)
{
    uint32_t off = g_auStatusTextStart[iEntry / STATUS_TEXT_STEP];
    for (uint32_t i = iEntry - iEntry % STATUS_TEXT_STEP; i < iEntry; i++)
        off += g_aStatusTable[i].cbName() + g_aStatusTable[i].cbMsg();
    return off;
}
