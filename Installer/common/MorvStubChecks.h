// The payload's record formats and the decisions the installer takes on
// them: whether a manifest or header resource is usable, whether a header's
// file name names a plain file in the extraction directory, whether a
// package applies to the run and whether the host is refused. Nothing here
// touches the system, so the host build fuzzes and tests exactly the code
// the stub runs.
#pragma once

#include <quab/types.h>

enum PackageArch : uint32_t {
    PackageArch_All = 1,
    PackageArch_X86 = 2,
    PackageArch_Amd64 = 3,
    PackageArch_Arm64 = 4,
};

struct PackageManifest {
    char magic[15];          // "MorvInstV1", zero-padded
    uint8_t packageCount;
};
static_assert(sizeof(PackageManifest) == 16);

struct PackageHeader {
    uint32_t arch;                 // PackageArch
    char dataResourceName[28];     // ASCII, NUL-terminated
    char fileName[224];            // UTF-8, NUL-terminated, no directory part
};
static_assert(sizeof(PackageHeader) == 256);

// A manifest resource of cbData bytes: RT_OK when it holds the count byte,
// RTE_BUFFER_UNDERFLOW otherwise. Neither the magic nor any byte past the
// record is looked at; no byte is read when the resource is too short.
int32_t CheckPackageManifest(const void *pvData, uint32_t cbData);

// A header resource of cbData bytes: RT_OK when it holds a whole record whose
// two text fields end inside their fields, RTE_BUFFER_UNDERFLOW when it is
// shorter than the record, RTE_BAD_EXE_FORMAT for an open field. Reads
// nothing past the record, and nothing at all from a short resource.
int32_t CheckPackageHeader(const void *pvData, uint32_t cbData);

// True when the name's stem (before the first dot, trailing blanks dropped)
// is one of the device names the system resolves in every directory.
bool IsReservedDeviceName(const char *pszName);

// True when pszName names a plain file inside the extraction directory: not
// empty, no '\\', '/' or ':', not "." or "..", no trailing dot or blank
// (which the system drops, giving another name) and no device name.
bool IsPlainFileName(const char *pszName);

// Whether a package of architecture uArch applies to the run: always in an
// extract-only run, for PackageArch_All, and otherwise when it equals the
// host's. pfnQueryHostArch is called only when the answer depends on it, and
// then once.
bool PackageAppliesToRun(uint32_t uArch, bool fExtractOnly, uint32_t (*pfnQueryHostArch)());

// Whether an installation on this host is refused before the manifest is
// read: a 32-bit x86 host in an interactive run that installs.
bool IsRefusedHost(uint32_t uHostArch, bool fExtractOnly, bool fSilent);
