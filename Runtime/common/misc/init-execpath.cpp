// The executable path record and how it is taken apart.
#include <quab/init.h>

constinit char g_szExecPath[RTPATH_EXEC_MAX] = {};
constinit size_t g_cchExecPath = 0;
constinit size_t g_offExecName = 0;
constinit size_t g_cchExecDir = 0;

static bool rtExecPathIsSep(char ch)
{
    return ch == '\\' || ch == '/';
}

// Length of the root: "C:" plus its separators, or a UNC prefix of two
// separators, the server name and the separators after it.
static size_t rtExecPathRootLen(const char *psz, size_t cch)
{
    size_t off = 0;
    if (cch >= 2 && psz[1] == ':' && ((psz[0] | 0x20) >= 'a' && (psz[0] | 0x20) <= 'z'))
        off = 2;
    else if (cch >= 2 && rtExecPathIsSep(psz[0]) && rtExecPathIsSep(psz[1])) {
        off = 2;
        while (off < cch && !rtExecPathIsSep(psz[off]))
            off++;
    }
    while (off < cch && rtExecPathIsSep(psz[off]))
        off++;
    return off;
}

void rtR3InitParseExecPath()
{
    size_t cch = 0;
    while (cch < sizeof(g_szExecPath) - 1 && g_szExecPath[cch])
        cch++;
    g_szExecPath[cch] = '\0';
    size_t offName = cch;
    while (offName > 0 && !rtExecPathIsSep(g_szExecPath[offName - 1]) && g_szExecPath[offName - 1] != ':')
        offName--;

    size_t const cchRoot = rtExecPathRootLen(g_szExecPath, cch);
    size_t cchDir = offName;
    while (cchDir > cchRoot && rtExecPathIsSep(g_szExecPath[cchDir - 1]))
        cchDir--;

    g_cchExecPath = cch;
    g_offExecName = offName;
    g_cchExecDir = cchDir;
}
