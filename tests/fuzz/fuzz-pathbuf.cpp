// Fuzzer for the path functions that write into a caller's buffer: every
// buffer is allocated at exactly the size passed in, so a byte written
// beyond it is an overflow the sanitizer sees; results must be terminated
// inside the buffer, and a refused request must leave the buffer untouched.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <quab/path.h>

namespace {

int32_t fuzzCwd(char chDrive, char *pszPath, size_t cbPath)
{
    const char *psz = chDrive ? "D:\\drive\\d" : "C:\\work\\cur";
    size_t const cch = strlen(psz);
    if (cch >= cbPath)
        return RTE_BUFFER_OVERFLOW;
    memcpy(pszPath, psz, cch + 1);
    return RT_OK;
}

// A heap block of exactly cb bytes filled with a pattern, so that both an
// overrun (sanitizer) and an unterminated result (scan) show.
struct ExactBuf {
    explicit ExactBuf(size_t cb) : cb(cb), p(static_cast<char *>(malloc(cb))) { memset(p, 0x5a, cb); }
    ~ExactBuf() { free(p); }
    ExactBuf(ExactBuf const &) = delete;
    ExactBuf &operator=(ExactBuf const &) = delete;
    size_t terminated() const { return memchr(p, '\0', cb) ? strlen(p) : SIZE_MAX; }
    size_t cb;
    char *p;
};

void checkJoin(std::string const &sSrc, std::string const &sAppend, size_t cbBuf)
{
    ExactBuf Buf(cbBuf);
    std::string const sBefore(Buf.p, cbBuf);
    int32_t const rc = RTPathJoinBuf(Buf.p, cbBuf, sSrc.c_str(), sAppend.c_str());
    if (rc == RT_OK) {
        size_t const cch = Buf.terminated();
        if (cch == SIZE_MAX || cch + 1 > cbBuf)
            abort();   // not terminated inside the buffer
        if (cch > sSrc.size() + sAppend.size() + 1)
            abort();   // more than the two parts and one separator
        bool const fPlainSrc = !sSrc.empty() && sSrc.find_first_of("\\/") == std::string::npos;
        if (fPlainSrc && strncmp(Buf.p, sSrc.c_str(), sSrc.size()) != 0)
            abort();   // a source without separators is kept as it is
    } else if (rc == RTE_BUFFER_OVERFLOW) {
        if (memcmp(Buf.p, sBefore.data(), cbBuf) != 0)
            abort();   // a refused join leaves the buffer as it was
    } else if (rc >= 0)
        abort();
}

void checkAppend(std::string const &sPath, std::string const &sAppend, size_t cbBuf)
{
    if (sPath.size() >= cbBuf)
        return;
    ExactBuf Buf(cbBuf);
    memcpy(Buf.p, sPath.c_str(), sPath.size() + 1);
    std::string const sBefore(Buf.p, cbBuf);
    int32_t const rc = RTPathAddComponent(Buf.p, cbBuf, sAppend.c_str());
    if (rc == RT_OK) {
        size_t const cch = Buf.terminated();
        if (cch == SIZE_MAX || cch + 1 > cbBuf)
            abort();
        // Separators at the seam may merge, nothing else of the path goes.
        if (cch > sPath.size() + sAppend.size() + 1 || (!sPath.empty() && Buf.p[0] != sPath[0]))
            abort();
    } else if (rc == RTE_BUFFER_OVERFLOW) {
        if (memcmp(Buf.p, sBefore.data(), cbBuf) != 0)
            abort();   // a refused append leaves the buffer as it was
    } else
        abort();
}

void checkAbs(std::string const &sPath, uint32_t fFlags, size_t cbBuf)
{
    ExactBuf Buf(cbBuf);
    size_t cb = cbBuf;
    int32_t const rc = RTPathAbsEx(nullptr, sPath.c_str(), fFlags, Buf.p, &cb);
    if (rc == RT_OK) {
        size_t const cch = Buf.terminated();
        if (cch == SIZE_MAX || cch != cb || cch + 1 > cbBuf)
            abort();
    } else if (rc == RTE_BUFFER_OVERFLOW) {
        if (cb <= cbBuf)
            abort();   // the size it asks for must be more than it had
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 3)
        return 0;
    g_pfnPathQueryCurrentDir = fuzzCwd;
    size_t const cbBuf = 1 + pbData[0] % 80;
    uint32_t const fFlags = (pbData[1] & 1 ? RTPATHABS_F_ENSURE_TRAILING_SLASH : 0)
                          | (pbData[1] & 2 ? RTPATH_STR_F_STYLE_UNIX : 0);
    std::string const sIn(reinterpret_cast<const char *>(pbData + 2), cbData - 2);
    size_t const offNul = sIn.find('\0');
    std::string const sFirst = sIn.substr(0, offNul);
    std::string const sSecond = offNul == std::string::npos ? std::string() : sIn.substr(offNul + 1).c_str();

    checkJoin(sFirst, sSecond, cbBuf);
    checkAppend(sFirst, sSecond, cbBuf);
    if (!sFirst.empty())
        checkAbs(sFirst, fFlags, cbBuf);

    const char *pszExt = RTPathExtension(sFirst.c_str());
    if (pszExt && (pszExt < sFirst.c_str() || pszExt >= sFirst.c_str() + sFirst.size() || *pszExt != '.'))
        abort();       // inside the string, at its dot
    return 0;
}
