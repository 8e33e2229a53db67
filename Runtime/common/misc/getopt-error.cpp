// Reporting a parser result on standard error; kept apart so that programs
// that do their own reporting link without the stream layer.
#include <quab/stream.h>

#include "getopt-internal.h"

int RTGetOptShowError(int rc, const RTOPTVALUE *pValue)
{
    RTOPTDEF const *const pDef = pValue && RT_VALID_PTR(pValue->def) ? pValue->def : nullptr;
    if (rc == RTI_NOT_OPTION)
        RTMessageError("Invalid parameter: %s", pValue ? pValue->str : nullptr);
    else if (rc >= 33 && rc <= 126)
        RTMessageError("Unhandled option: -%c", rc);
    else if (rc > 0)
        RTMessageError("Unhandled option: %i (%#x)", rc, rc);
    else if (rc == RTE_OPTION_UNKNOWN)
        RTMessageError("Unknown option: '%s'", pValue ? pValue->str : nullptr);
    else if (!pDef)
        RTMessageError("%Rrs\n", rc);
    else if (rc == RTE_OPTION_INVALID_VALUE)
        RTMessageError("The value given '%s' has an invalid format.", pDef->longName);
    else
        RTMessageError("%s: %Rrs\n", pDef->longName, rc);
    return 2;
}
