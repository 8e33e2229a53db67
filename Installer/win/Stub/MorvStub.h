// The installer's internal interfaces: options, reports, packages,
// extraction, cleanup records, the custom directory, the installer engine,
// the certificate store and the splash screen. main() in MorvStub.cpp drives
// them in a fixed order.
#pragma once

#include <quab/types.h>

#include "MorvStubChecks.h"

// ---------------------------------------------------------------------------
// Options and the MSI parameter string (MorvStubOptions.cpp).

inline constexpr size_t MORV_PATH_MAX = 4100;         // path buffers, terminator included
inline constexpr size_t MORV_MSI_PARAMS_MAX = 4096;   // MSI parameter string, terminator included

struct InstallerOptions {
    bool extractOnly;
    bool installCertificate;
    bool logging;
    bool ignoreReboot;
    char extractPath[MORV_PATH_MAX];
    char msiParameters[MORV_MSI_PARAMS_MAX];
    char msiLogFile[MORV_PATH_MAX];
};

// Process-wide: the report operations and the package runner read them.
extern bool g_fSilent;
extern uint32_t g_cVerbosity;

// Returned by ParseInstallerCommandLine when the run goes on.
inline constexpr int MORV_CONTINUE_RUN = -1;

// Sets the defaults, runs the option parser over argv and applies each
// result. Returns MORV_CONTINUE_RUN, or the exit code to return from main
// (0 after help or version, 1 when the parser cannot be set up, 2 for a
// command-line error; the report has been made).
int ParseInstallerCommandLine(int argc, char **argv, InstallerOptions *pOpts);

// ---------------------------------------------------------------------------
// Reports and exit codes (MorvStubNotify.cpp).

int NotifyError(const char *pszFormat, ...);         // returns 1
void NotifyInfo(const char *pszFormat, ...);
int NotifyUsageError(const char *pszFormat, ...);    // returns 2
int ErrorToStderr(const char *pszFormat, ...);       // returns the stream write's result
int ErrorToStderrOne(const char *pszFormat, ...);    // returns 1
int ErrorToStderrRc(int32_t rc, const char *pszFormat, ...);  // returns rc

// ---------------------------------------------------------------------------
// Package resources and the host architecture (MorvStubPackage.cpp); the
// record formats and the checks on them are in MorvStubChecks.h.

// RT_RCDATA resource of the executable by UTF-8 name; pcbData is optional.
int32_t LocateRcdataResource(const char *pszName, const void **ppvData, uint32_t *pcbData);
// The manifest, checked for size; the status for the manifest-not-found report.
int32_t LoadPackageManifest(const PackageManifest **ppManifest);
// Header of package idx, checked; nullptr after the failure was reported.
const PackageHeader *LoadPackageHeader(uint32_t idx);
// The host's native architecture; never fails (falls back to X86 after a report).
uint32_t QueryHostArch();
// Display name for the verbose summary ("x86", "x86_64", "arm64", "<Unknown>").
const char *PackageArchName(uint32_t uArch);

// ---------------------------------------------------------------------------
// Cleanup records (MorvStubCleanup.cpp).

struct CleanupRecord {
    CleanupRecord *next;
    CleanupRecord *prev;
    uint32_t packageIndex;      // all ones for records that are not package files
    bool isFile;
    bool keep;                  // existed before the run: handle closed, object kept
    bool removeTree;            // a copied tree: its content goes too (links not followed)
    FileHandle hFile;           // files: NIL_FILEHANDLE when none
    DirHandle hDir;             // directories: nullptr when none
    char path[1];               // NUL-terminated, stored at the end of the block
};

void InitCleanupList();
CleanupRecord *AddCleanupRecord(const char *pszPath, bool fIsFile);
CleanupRecord *FindPackageRecord(uint32_t idx);
int32_t RemoveCleanupRecords(const char *pszDirToRemove);
void FreeCleanupList();

// ---------------------------------------------------------------------------
// Extraction and verification (MorvStubExtract.cpp) and the custom
// directory (MorvStubCustomDir.cpp).

int ExtractPackages(uint32_t cPackages, const char *pszDir, bool fExtractOnly, CleanupRecord **ppDirRecord);
int32_t ExtractAndVerify(const char *pszResourceName, const char *pszPath, FileHandle hFile, uint32_t idx);
int CopyCustomDir(const char *pszExtractDir);

// ---------------------------------------------------------------------------
// The installer engine (MorvStubMsi.cpp) and the certificate store
// (MorvStubCertUtil.cpp).

// fAppendLog: append to the log the run's first package started.
int InstallMsiPackage(const char *pszPackagePath, const char *pszParameters, const char *pszLogFile,
                      bool fAppendLog);

struct PublisherCertificate {
    const uint8_t *pbData;
    uint32_t cbData;
};
extern const PublisherCertificate g_aPublisherCertificates[];
extern const size_t g_cPublisherCertificates;
bool AddCertificateToStore(uint32_t fStoreFlags, const char *pszStoreName, const void *pvData, uint32_t cbData);

// ---------------------------------------------------------------------------
// Splash screen (MorvStubSplash.cpp).

struct SplashScreen;
// Starts the splash thread and waits for it; nullptr when there is none.
SplashScreen *SplashStart();
// Posts WM_QUIT, joins the thread, reports a failure, releases the record.
void SplashStop(SplashScreen *pSplash);
