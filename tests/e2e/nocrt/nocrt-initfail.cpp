// A program linked like the stub whose status-returning initializer fails
// with 5: start-up must report it and stop before anything else runs.
#include <quab/stream.h>

#include "r3/win/nocrt-startup-internal.h"

namespace {

void Note(const char *psz)
{
    rtStdErrWriteString(psz);
}

int InitFails() { return 5; }
int InitAfter()
{
    Note("later status initializer ran\r\n");
    return 0;
}
void InitPlain() { Note("plain initializer ran\r\n"); }
void PreTerm() { Note("pre-terminator ran\r\n"); }
void Term() { Note("terminator ran\r\n"); }

RT_STATIC_TABLE_ENTRY(".CRT$XIU", PFNRTSTATICINITSTATUS, g_pfnInitFails, InitFails);
RT_STATIC_TABLE_ENTRY(".CRT$XIV", PFNRTSTATICINITSTATUS, g_pfnInitAfter, InitAfter);
RT_STATIC_TABLE_ENTRY(".CRT$XCV", PFNRTSTATICINIT, g_pfnInitPlain, InitPlain);
RT_STATIC_TABLE_ENTRY(".CRT$XPV", PFNRTSTATICINIT, g_pfnPreTerm, PreTerm);
RT_STATIC_TABLE_ENTRY(".CRT$XTV", PFNRTSTATICINIT, g_pfnTerm, Term);

} // namespace

int main(int, char **, char **)
{
    RTStdOutPrintf("main ran\n");
    return 0;
}
