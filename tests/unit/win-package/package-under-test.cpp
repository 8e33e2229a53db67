// The package code itself, with recording stand-ins for the installer's
// report operations so that tests read back exactly what was reported.
#include "fake-reports.h"

#include <quab/string.h>

#include "Installer/win/Stub/MorvStubPackage.cpp"

std::vector<std::string> g_aReports;

namespace {

void Record(const char *pszKind, const char *pszFormat, va_list va)
{
    char *psz = nullptr;
    RTStrFmtAllocV(&psz, pszFormat, va);
    g_aReports.push_back(std::string(pszKind) + (psz ? psz : "<format failed>"));
    RTStrDispose(psz);
}

} // namespace

int NotifyError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    Record("NotifyError: ", pszFormat, va);
    va_end(va);
    return 1;
}

int ErrorToStderr(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    Record("ErrorToStderr: ", pszFormat, va);
    va_end(va);
    return 0;
}
