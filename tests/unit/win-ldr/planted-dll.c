/* A DLL that must never be loaded: when it is, DllMain leaves a marker file
   named after this DLL in the directory that LDR_PLANT_MARKER_DIR names. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInst, DWORD dwReason, LPVOID pvReserved)
{
    (void)pvReserved;
    if (dwReason == DLL_PROCESS_ATTACH) {
        WCHAR wszDir[MAX_PATH];
        WCHAR wszSelf[MAX_PATH];
        WCHAR wszMarker[2 * MAX_PATH];
        DWORD cwcDir = GetEnvironmentVariableW(L"LDR_PLANT_MARKER_DIR", wszDir, MAX_PATH);
        DWORD cwcSelf = GetModuleFileNameW(hInst, wszSelf, MAX_PATH);
        if (cwcDir && cwcDir < MAX_PATH && cwcSelf && cwcSelf < MAX_PATH) {
            const WCHAR *pwszName = wszSelf;
            for (const WCHAR *pwc = wszSelf; *pwc; pwc++)
                if (*pwc == L'\\' || *pwc == L'/')
                    pwszName = pwc + 1;
            lstrcpyW(wszMarker, wszDir);
            lstrcatW(wszMarker, L"\\");
            lstrcatW(wszMarker, pwszName);
            lstrcatW(wszMarker, L".loaded");
            HANDLE hFile = CreateFileW(wszMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (hFile != INVALID_HANDLE_VALUE) {
                DWORD cb;
                WriteFile(hFile, wszSelf, cwcSelf * sizeof(WCHAR), &cb, NULL);
                CloseHandle(hFile);
            }
        }
    }
    return TRUE;
}

/* What a planted copy would offer so that a caller's look-up succeeds. */
__declspec(dllexport) UINT WINAPI MsiSetInternalUI(int iLevel, HWND *phWnd)
{
    (void)iLevel;
    (void)phWnd;
    return 0;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR pwszFile, LPDWORD pdwHandle)
{
    (void)pwszFile;
    (void)pdwHandle;
    return 0;
}
