// The assertion-message facility: fatal runtime texts go to the loggers'
// two output callbacks and then straight to the standard error handle.
#pragma once

#include <quab/types.h>

using RTASSERTOUTPUTFN = void (*)(const char *pszFormat, ...);
using RTASSERTOUTPUTVFN = void (*)(const char *pszFormat, va_list args);

// Installed by the start-up's plain initializer; either may be null.
void RTAssertSetOutputCallbacks(RTASSERTOUTPUTFN pfnOutput, RTASSERTOUTPUTVFN pfnOutputV);
// The pair the start-up installs: they hand texts to the loggers, and this
// program never creates one, so they accept and drop them.
void rtAssertLogOutput(const char *pszFormat, ...);
void rtAssertLogOutputV(const char *pszFormat, va_list args);

// Formats the text into the assertion buffer, passes it to the callbacks and
// writes it to standard error; the last-error value survives.
void RTAssertMsg2(const char *pszFormat, ...);
void RTAssertMsg2V(const char *pszFormat, va_list args);
// The text of the last RTAssertMsg2, kept for crash diagnostics.
const char *RTAssertLastMessage();
// Stops the process at a breakpoint trap; never returns.
[[noreturn]] void RTAssertPanicStop();
