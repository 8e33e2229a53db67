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
