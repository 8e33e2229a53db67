// Fuzzer for the DOS-style path engine: component appends, absolute paths
// against a fixed current directory, and extensions, with the invariants a
// caller relies on checked on every input.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <quab/path.h>

#include "common/path/path-internal.h"

namespace {

int32_t fuzzCwd(char chDrive, char *pszPath, size_t cbPath)
{
    const char *psz = chDrive ? "E:\\drive\\e" : "C:\\cur\\dir";
    size_t const cch = strlen(psz);
    if (cch >= cbPath)
        return RTE_BUFFER_OVERFLOW;
    memcpy(pszPath, psz, cch + 1);
    return RT_OK;
}

void checkAbs(const char *pszPath, uint32_t fFlags, size_t cbBuf)
{
    std::string sBuf(cbBuf + 1, '\x7f');
    size_t cb = cbBuf;
    int32_t rc = RTPathAbsEx(nullptr, pszPath, fFlags, &sBuf[0], &cb);
    if (rc == RTE_BUFFER_OVERFLOW) {
        if (cb <= cbBuf)
            abort();   // the needed size must exceed what was given
        std::string sBig(cb, '\0');
        size_t cbBig = cb;
        rc = RTPathAbsEx(nullptr, pszPath, fFlags, &sBig[0], &cbBig);
        if (rc != RT_OK || strlen(sBig.c_str()) + 1 != cb)
            abort();   // the needed size is exact
        return;
    }
    if (rc != RT_OK)
        return;
    const char *psz = sBuf.c_str();
    size_t const cch = strlen(psz);
    if (cch != cb || cch >= cbBuf)
        abort();
    if (strchr(psz, '/'))
        abort();       // "\" is the only separator
    // Outside the device and long forms nothing is left to resolve after
    // the root (a share may well be called "..": it is part of the root).
    if (!(psz[0] == '\\' && psz[1] == '\\' && (psz[2] == '.' || psz[2] == '?'))) {
        size_t const cchRoot = rtPathRootSpecLen(psz);
        if (cchRoot == 0 || cchRoot > cch)
            abort();   // always absolute
        std::string s = psz + cchRoot - 1;
        if (s.back() != '\\')
            s += '\\';
        if (s.find("\\.\\") != std::string::npos || s.find("\\..\\") != std::string::npos)
            abort();
        if (s.find("\\\\") != std::string::npos)
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    g_pfnPathQueryCurrentDir = fuzzCwd;
    uint8_t const bSel = pbData[0];
    size_t const cbBuf = 1 + pbData[1] % 64;
    std::string const sIn(reinterpret_cast<const char *>(pbData + 2), cbData - 2);
    size_t const offNul = sIn.find('\0');
    std::string const sPath = sIn.substr(0, offNul);
    std::string const sComp = offNul == std::string::npos ? std::string() : sIn.substr(offNul + 1);

    // Append: fits and grows by at most the component and one separator,
    // or leaves the buffer exactly as it was.
    if (sPath.size() < cbBuf) {
        std::string sBuf(cbBuf, '\0');
        memcpy(&sBuf[0], sPath.c_str(), sPath.size() + 1);
        std::string const sBefore = sBuf;
        int32_t const rc = RTPathAddComponent(&sBuf[0], cbBuf, sComp.c_str());
        if (rc == RTE_BUFFER_OVERFLOW) {
            if (sBuf != sBefore)
                abort();
        } else if (rc == RT_OK) {
            size_t const cch = strlen(sBuf.c_str());
            if (cch >= cbBuf || cch > sPath.size() + sComp.size() + 1)
                abort();
        } else
            abort();
    }

    uint32_t const fFlags = (bSel & 1) ? RTPATHABS_F_ENSURE_TRAILING_SLASH : 0;
    if (!sPath.empty())
        checkAbs(sPath.c_str(), fFlags, cbBuf * 4);

    const char *pszExt = RTPathExtension(sPath.c_str());
    if (pszExt) {
        size_t const off = static_cast<size_t>(pszExt - sPath.c_str());
        if (off == 0 || off >= sPath.size() - 1 || *pszExt != '.')
            abort();
    }
    return 0;
}
