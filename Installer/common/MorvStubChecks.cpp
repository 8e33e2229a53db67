// The installer's checks of its payload records; see MorvStubChecks.h. Built
// for Windows into the stub and for the host into its fuzzers and tests.
#include "MorvStubChecks.h"

namespace {

// A text field of a fixed-size record is only usable when its terminator
// lies inside the field; otherwise a reader would run into the next field
// or past the resource.
bool FieldIsTerminated(const char *pchField, size_t cbField)
{
    for (size_t off = 0; off < cbField; off++)
        if (pchField[off] == '\0')
            return true;
    return false;
}

// Device names the system resolves in every directory, with or without a
// suffix ("nul.cab" is the null device too).
constexpr const char *g_apszReservedNames[] = {
    "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
    "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
    "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
};

} // namespace

int32_t CheckPackageManifest(const void *pvData, uint32_t cbData)
{
    (void)pvData;
    // The count is the record's last byte: a shorter resource has none.
    return cbData < sizeof(PackageManifest) ? RTE_BUFFER_UNDERFLOW : RT_OK;
}

int32_t CheckPackageHeader(const void *pvData, uint32_t cbData)
{
    if (cbData < sizeof(PackageHeader))
        return RTE_BUFFER_UNDERFLOW;
    const PackageHeader *pHeader = static_cast<const PackageHeader *>(pvData);
    if (!FieldIsTerminated(pHeader->dataResourceName, sizeof(pHeader->dataResourceName))
        || !FieldIsTerminated(pHeader->fileName, sizeof(pHeader->fileName)))
        return RTE_BAD_EXE_FORMAT;
    return RT_OK;
}

bool IsReservedDeviceName(const char *pszName)
{
    size_t cchStem = 0;
    while (pszName[cchStem] && pszName[cchStem] != '.')
        cchStem++;
    while (cchStem > 0 && pszName[cchStem - 1] == ' ')
        cchStem--;
    for (const char *pszReserved : g_apszReservedNames) {
        size_t i = 0;
        while (i < cchStem && pszReserved[i] && (pszName[i] | 0x20) == (pszReserved[i] | 0x20))
            i++;
        if (i == cchStem && pszReserved[i] == '\0')
            return true;
    }
    return false;
}

bool IsPlainFileName(const char *pszName)
{
    if (!pszName[0])
        return false;
    if (pszName[0] == '.' && (pszName[1] == '\0' || (pszName[1] == '.' && pszName[2] == '\0')))
        return false;
    size_t cch = 0;
    for (const char *psz = pszName; *psz; psz++, cch++)
        if (*psz == '\\' || *psz == '/' || *psz == ':')
            return false;
    if (pszName[cch - 1] == '.' || pszName[cch - 1] == ' ')
        return false;
    return !IsReservedDeviceName(pszName);
}

bool PackageAppliesToRun(uint32_t uArch, bool fExtractOnly, uint32_t (*pfnQueryHostArch)())
{
    return fExtractOnly || uArch == PackageArch_All || uArch == pfnQueryHostArch();
}

bool IsRefusedHost(uint32_t uHostArch, bool fExtractOnly, bool fSilent)
{
    return !fExtractOnly && !fSilent && uHostArch == PackageArch_X86;
}
