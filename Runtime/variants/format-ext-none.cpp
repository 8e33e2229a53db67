// The extended %R families for a program whose messages use none of them
// (the installer stub): every family is treated as unknown, as the full
// dispatcher (common/string/format-ext.cpp) treats a letter that is none of
// its families, so the hex dump, size, name, time, escape and register
// formatters are not linked. Linked as an object of the program, it takes
// the place of the full dispatcher, which the archive then never supplies.
// The stub's end-to-end tests check that its strings hold no such directive.
#include "common/string/format-internal.h"

size_t rtFmtExtendedType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    // The family letter alone is consumed.
    if (**ppszFormat)
        (*ppszFormat)++;
    return 0;
}
