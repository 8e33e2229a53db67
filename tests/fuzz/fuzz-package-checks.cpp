// Fuzzer for the installer's payload checks: arbitrary manifest and header
// resources, file names, architecture values and run modes. Each resource is
// handed over in a heap block of exactly its size, so a check that reads past
// what it was given trips the address sanitizer; every verdict is compared
// with a plain restatement of the format's rules written here.
//
// Input: flags (bit 0 extract-only, bit 1 silent), the host architecture
// byte, the manifest's length (16 bits, little endian, cut to what is left),
// the manifest's bytes, and the header resource: everything after them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Installer/common/MorvStubChecks.h"

namespace {

// The host query the selection may call: counts its calls, so that a package
// whose answer does not depend on the host is seen not to ask.
uint32_t g_uFuzzHostArch;
unsigned g_cHostQueries;

uint32_t FuzzQueryHostArch()
{
    g_cHostQueries++;
    return g_uFuzzHostArch;
}

bool RefIsDeviceName(const std::string &sName)
{
    static const char *const s_apszDevices[] = {
        "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
        "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    };
    std::string sStem = sName.substr(0, sName.find('.'));
    while (!sStem.empty() && sStem.back() == ' ')
        sStem.pop_back();
    for (char &ch : sStem)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    for (const char *pszDevice : s_apszDevices)
        if (sStem == pszDevice)
            return true;
    return false;
}

// What may be extracted under its own name into the extraction directory.
bool RefIsPlainFileName(const std::string &sName)
{
    if (sName.empty() || sName == "." || sName == "..")
        return false;
    if (sName.find_first_of("\\/:") != std::string::npos)
        return false;
    if (sName.back() == '.' || sName.back() == ' ')
        return false;
    return !RefIsDeviceName(sName);
}

bool HasControlByte(const std::string &sName)
{
    for (unsigned char ch : sName)
        if (ch < 0x20)
            return true;
    return false;
}

// A file name in a heap block of exactly its length plus the terminator.
void CheckFileName(const std::string &sName)
{
    std::vector<char> vName(sName.begin(), sName.end());
    vName.push_back('\0');
    char *pszCopy = static_cast<char *>(malloc(vName.size()));
    memcpy(pszCopy, vName.data(), vName.size());
    bool const fPlain = IsPlainFileName(pszCopy);
    bool const fDevice = IsReservedDeviceName(pszCopy);
    free(pszCopy);

    bool const fRefPlain = RefIsPlainFileName(sName);
    // Every name the installer accepts stays in the directory as itself.
    if (fPlain && !fRefPlain)
        abort();
    if (fPlain && fDevice)
        abort();
    if (!HasControlByte(sName)) {
        // Outside the control bytes (which no file name may hold anyway)
        // nothing but the rules refuses a name, and device names are
        // exactly those of the list.
        if (fPlain != fRefPlain)
            abort();
        if (fDevice != RefIsDeviceName(sName))
            abort();
    } else if (RefIsDeviceName(sName) && !fDevice) {
        abort();   // a device name is one whatever else the name holds
    }
}

void CheckSelection(uint32_t uArch, uint32_t uHostArch, bool fExtractOnly, bool fSilent)
{
    g_uFuzzHostArch = uHostArch;
    g_cHostQueries = 0;
    bool const fApplies = PackageAppliesToRun(uArch, fExtractOnly, FuzzQueryHostArch);
    if (fApplies != (fExtractOnly || uArch == PackageArch_All || uArch == uHostArch))
        abort();
    // The host is asked exactly when neither the mode nor "All" settles it.
    if (g_cHostQueries != (!fExtractOnly && uArch != PackageArch_All ? 1u : 0u))
        abort();

    bool const fRefused = IsRefusedHost(uHostArch, fExtractOnly, fSilent);
    if (fRefused != (!fExtractOnly && !fSilent && uHostArch == PackageArch_X86))
        abort();
}

void CheckManifest(const uint8_t *pb, size_t cb)
{
    uint8_t *pbCopy = static_cast<uint8_t *>(malloc(cb ? cb : 1));
    if (cb)
        memcpy(pbCopy, pb, cb);
    int32_t const rc = CheckPackageManifest(pbCopy, static_cast<uint32_t>(cb));
    // The magic does not matter and longer resources are fine: the size alone
    // decides whether the count byte is there.
    if (rc != (cb >= sizeof(PackageManifest) ? RT_OK : RTE_BUFFER_UNDERFLOW))
        abort();
    free(pbCopy);
}

// Returns the header's arch value, 0 when the resource is shorter than it.
uint32_t CheckHeader(const uint8_t *pb, size_t cb)
{
    uint8_t *pbCopy = static_cast<uint8_t *>(malloc(cb ? cb : 1));
    if (cb)
        memcpy(pbCopy, pb, cb);
    int32_t const rc = CheckPackageHeader(pbCopy, static_cast<uint32_t>(cb));

    // Accepted exactly when both text fields end inside their own bytes.
    int32_t rcRef = RT_OK;
    if (cb < 256)
        rcRef = RTE_BUFFER_UNDERFLOW;
    else if (!memchr(pb + 4, 0, 28) || !memchr(pb + 32, 0, 224))
        rcRef = RTE_BAD_EXE_FORMAT;
    if (rc != rcRef)
        abort();

    uint32_t uArch = 0;
    if (cb >= 4)
        memcpy(&uArch, pb, 4);
    if (rc == RT_OK) {
        // Used in place as the stub does: a record of exactly 256 bytes
        // whose file name ran on would take the name check past the block.
        const PackageHeader *pHeader = reinterpret_cast<const PackageHeader *>(pbCopy);
        if (IsPlainFileName(pHeader->fileName) && !RefIsPlainFileName(pHeader->fileName))
            abort();
    }
    free(pbCopy);
    return uArch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb < 4)
        return 0;
    bool const fExtractOnly = pb[0] & 1;
    bool const fSilent = pb[0] & 2;
    uint32_t const uHostArch = pb[1];
    size_t cbManifest = pb[2] | static_cast<size_t>(pb[3]) << 8;
    pb += 4;
    cb -= 4;
    if (cbManifest > cb)
        cbManifest = cb;

    CheckManifest(pb, cbManifest);
    const uint8_t *pbHeader = pb + cbManifest;
    size_t const cbHeader = cb - cbManifest;
    uint32_t const uArch = CheckHeader(pbHeader, cbHeader);
    CheckSelection(uArch, uHostArch, fExtractOnly, fSilent);
    CheckSelection(uArch, uArch, fExtractOnly, fSilent);

    // The header's bytes as a file name, both the whole field as the stub
    // reads it and the tail as an unbounded name.
    if (cbHeader > 32) {
        const char *pchName = reinterpret_cast<const char *>(pbHeader + 32);
        size_t const cchMax = cbHeader - 32 < 224 ? cbHeader - 32 : 224;
        CheckFileName(std::string(pchName, strnlen(pchName, cchMax)));
    }
    const char *pchTail = reinterpret_cast<const char *>(pbHeader);
    CheckFileName(std::string(pchTail, strnlen(pchTail, cbHeader)));
    return 0;
}
