// The installer's main function: one run in its fixed order, from the
// command line to the exit code.
#include <windows.h>

#include <quab/dir.h>
#include <quab/init.h>
#include <quab/path.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

// The run's settings: about 12 KiB, so they live in zero-initialised static
// storage rather than on the stack.
InstallerOptions g_Options;

// A process that already has usable standard handles (a terminal, a file or
// a pipe: started from a shell or a script, or with redirected output) shows
// its console output there. Only one without them gets a console of its own.
bool HasUsableStdOutput()
{
    HANDLE const hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (hOut == nullptr || hOut == INVALID_HANDLE_VALUE)
        return false;
    SetLastError(0);
    return GetFileType(hOut) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

// --verbose: AllocConsole and CONOUT$ when there is nowhere else to write.
// Returns 0, or the exit code after a report. *pfAllocated tells whether
// the console is ours to free at the end.
int SetUpConsole(bool *pfAllocated)
{
    *pfAllocated = false;
    if (HasUsableStdOutput())
        return 0;
    if (!AllocConsole())
        return NotifyError("Unable to allocate console: LastError=%u\n", GetLastError());
    *pfAllocated = true;
    RtStream *pConsole = nullptr;
    if (RT_SUCCESS_NP(RTStreamOpenByName("CONOUT$", "a", &pConsole))) {
        RTStreamSetBufferMode(pConsole, 3 /* unbuffered */);
        g_pStreamStdOut = pConsole;
        g_pStreamStdErr = pConsole;
    }
    return 0;
}

const char *TextOrNone(const char *psz)
{
    return *psz ? psz : "<None>";
}

void PrintVerboseSummary(uint32_t uHostArch)
{
    RTStdOutPrintf("Host architecture        : %s\n", PackageArchName(uHostArch));
    RTStdOutPrintf("Extraction path          : %s\n", g_Options.extractPath);
    RTStdOutPrintf("Silent installation      : %RTbool\n", g_fSilent);
    RTStdOutPrintf("Certificate installation : %RTbool\n", g_Options.installCertificate);
    RTStdOutPrintf("Additional MSI parameters: %s\n", TextOrNone(g_Options.msiParameters));
    RTStdOutPrintf("Logging to file          : %s\n", TextOrNone(g_Options.msiLogFile));
}

// An early end after the run made its own extraction directory removes it
// again: nothing has been extracted into it yet, so it is empty.
void RemoveUnusedExtractionDir(CleanupRecord *pDirRecord)
{
    if (pDirRecord && !pDirRecord->keep)
        RemoveCleanupRecords(nullptr);
    FreeCleanupList();
}

// Installs every applicable package in order while the result is 0 or 3010.
int InstallPackages(uint32_t cPackages)
{
    int rc = 0;
    bool fLogStarted = false;
    for (uint32_t i = 0; i < cPackages && (rc == 0 || rc == 3010); i++) {
        const PackageHeader *pHeader = LoadPackageHeader(i);
        if (!pHeader) {
            rc = 1;
            continue;
        }
        if (!PackageAppliesToRun(pHeader->arch, false /*fExtractOnly*/, QueryHostArch))
            continue;

        CleanupRecord *pRecord = FindPackageRecord(i);
        if (!pRecord) {
            rc = ErrorToStderrOne("Package #%u not found in cleanup records", i);
            continue;
        }
        RTPathToBackslashes(pRecord->path);
        const char *pszExt = RTPathExtension(pRecord->path);
        int r;
        if (pszExt && RTStrCaseCmpAscii(pszExt, ".msi") == 0) {
            // One log file holds the whole run: the first package starts it,
            // the following ones append.
            r = InstallMsiPackage(pRecord->path, g_Options.msiParameters,
                                  g_Options.logging ? g_Options.msiLogFile : nullptr, fLogStarted);
            fLogStarted = true;
        } else if (pszExt && RTStrCaseCmpAscii(pszExt, ".cab") == 0)
            r = 0;  // a cabinet only needs to lie beside the package that uses it
        else
            r = NotifyError("Internal error: Do not know how to handle file '%s' (%s).", pHeader->fileName,
                            pRecord->path);
        if (r != 0)
            rc = r;
    }
    return rc;
}

int AddPublisherCertificates()
{
    for (size_t i = 0; i < g_cPublisherCertificates; i++)
        if (!AddCertificateToStore(0x20000 /* CERT_SYSTEM_STORE_LOCAL_MACHINE */, "TrustedPublisher",
                                   g_aPublisherCertificates[i].pbData, g_aPublisherCertificates[i].cbData))
            return NotifyError("Failed to add our certificate(s) to trusted publisher store.");
    return 0;
}

} // namespace

int main(int argc, char **argv, char **envp)
{
    (void)envp;

    int32_t rcStatus = RTR3InitForExe(argc, &argv, RTR3INIT_F_DLL_SEARCH_SYSTEM32);
    if (RT_FAILURE_NP(rcStatus))
        return RTMessageInitFailure(rcStatus);

    int rc = ParseInstallerCommandLine(argc, argv, &g_Options);
    if (rc != MORV_CONTINUE_RUN)
        return rc;
    rc = 0;

    // Single-instance guard; without a mutex the run goes on unguarded.
    SetLastError(0);
    HANDLE hMutex = CreateMutexW(nullptr, FALSE, L"MorvStubInstaller");
    if (hMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hMutex);
        return NotifyError("Another installer is already running");
    }

    SplashScreen *pSplash = g_fSilent ? nullptr : SplashStart();

    InitCleanupList();
    CleanupRecord *pDirRecord = nullptr;

    // Extraction directory: a new random one in the temporary directory,
    // the temporary directory itself for extract-only runs, or --path.
    if (!g_Options.extractPath[0]) {
        rcStatus = RTPathTempDir(g_Options.extractPath, sizeof(g_Options.extractPath));
        if (RT_FAILURE_NP(rcStatus)) {
            if (hMutex)
                CloseHandle(hMutex);
            return NotifyError("Failed to find temporary directory: %Rrc", rcStatus);
        }
        if (!g_Options.extractOnly) {
            rcStatus = RTPathAddComponent(g_Options.extractPath, sizeof(g_Options.extractPath),
                                          "XXXXXXXXXXXXXXXXXXXXXXXX");
            if (RT_SUCCESS_NP(rcStatus))
                rcStatus = RTDirMakeUnique(g_Options.extractPath, 0700);
            if (RT_FAILURE_NP(rcStatus)) {
                if (hMutex)
                    CloseHandle(hMutex);
                return NotifyError("Failed to create extraction path: %Rrc", rcStatus);
            }
            pDirRecord = AddCleanupRecord(g_Options.extractPath, false /*fIsFile*/);
        }
    }
    RTPathToBackslashes(g_Options.extractPath);

    bool fConsoleAllocated = false;
    if (g_cVerbosity > 0) {
        rc = SetUpConsole(&fConsoleAllocated);
        if (rc != 0) {
            RemoveUnusedExtractionDir(pDirRecord);
            return rc;
        }
    }

    if (!g_Options.logging && g_Options.msiLogFile[0])
        g_Options.logging = true;
    if (g_Options.logging && !g_Options.msiLogFile[0]) {
        rcStatus = RTStrCopyBounded(g_Options.msiLogFile, sizeof(g_Options.msiLogFile), g_Options.extractPath);
        if (RT_SUCCESS_NP(rcStatus))
            rcStatus = RTPathAddComponent(g_Options.msiLogFile, sizeof(g_Options.msiLogFile), "MorvInstallLog.txt");
        if (RT_FAILURE_NP(rcStatus)) {
            RemoveUnusedExtractionDir(pDirRecord);
            return NotifyError("Error creating MSI log file name, rc=%Rrc", rcStatus);
        }
    }

    uint32_t const uHostArch = QueryHostArch();
    if (g_cVerbosity > 0)
        PrintVerboseSummary(uHostArch);

    const PackageManifest *pManifest = nullptr;
    if (IsRefusedHost(uHostArch, g_Options.extractOnly, g_fSilent)) {
        rc = NotifyError("32-bit Windows hosts are not supported by this Morvaquill release.");
        RemoveUnusedExtractionDir(pDirRecord);
    } else if (RT_FAILURE_NP(rcStatus = LoadPackageManifest(&pManifest))) {
        rc = NotifyError("Internal package error: Manifest not found (%Rrc)", rcStatus);
        RemoveUnusedExtractionDir(pDirRecord);
    } else {
        rc = ExtractPackages(pManifest->packageCount, g_Options.extractPath, g_Options.extractOnly, &pDirRecord);
        if (rc == 0) {
            if (pSplash) {
                SplashStop(pSplash);
                pSplash = nullptr;
            }
            if (g_Options.extractOnly)
                NotifyInfo("Files were extracted to: %s", g_Options.extractPath);
            else {
                rc = CopyCustomDir(g_Options.extractPath);
                if (rc == 0 && g_Options.installCertificate && g_fSilent)
                    rc = AddPublisherCertificates();
                if (rc == 0)
                    rc = InstallPackages(pManifest->packageCount);
            }
        }
        if (!g_Options.extractOnly) {
            // Leave the extraction directory so that it can go; the log file
            // keeps it when logging is on.
            RTPathChdir("..");
            bool const fRemoveDir = !g_Options.logging && pDirRecord && !pDirRecord->keep;
            RemoveCleanupRecords(fRemoveDir ? g_Options.extractPath : nullptr);
        }
        FreeCleanupList();
    }

    if (fConsoleAllocated)
        FreeConsole();
    if (pSplash)
        SplashStop(pSplash);
    if (hMutex)
        CloseHandle(hMutex);

    if (rc == 3010 && g_Options.ignoreReboot)
        rc = 0;
    return rc;
}
