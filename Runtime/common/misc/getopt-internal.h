// Internals shared by the option parser's sources.
#pragma once

#include <quab/getopt.h>

// U+002D and the Unicode look-alikes that users paste from word processors.
bool rtOptIsDash(RTUNICP uCp);

// Converts pszValue by the value type and modifiers of fFlags into *pValue.
// A refused boolean leaves the text in str (RTE_OPTION_UNKNOWN); any other
// failure leaves pDef in def.
int32_t rtOptConvertValue(uint32_t fFlags, const char *pszValue, const RTOPTDEF *pDef, RTOPTVALUE *pValue);
