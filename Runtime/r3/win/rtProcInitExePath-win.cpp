// The executable's path as the system knows it, in UTF-8.
#include <windows.h>

#include <quab/err.h>
#include <quab/init.h>
#include <quab/string.h>

int32_t rtProcInitExePath(char *pszPath, size_t cbPath)
{
    static RTUTF16 s_wszPath[RTPATH_EXEC_MAX];
    HMODULE const hExe = GetModuleHandleA(nullptr);
    DWORD const cwc = GetModuleFileNameW(hExe, reinterpret_cast<wchar_t *>(s_wszPath), RTPATH_EXEC_MAX);
    if (cwc == 0)
        return RTErrConvertFromWinError(GetLastError());
    return RTUtf16ToUtf8Ex(s_wszPath, cwc, &pszPath, cbPath, nullptr);
}
