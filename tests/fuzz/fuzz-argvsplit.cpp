// Command lines from fuzz input through the splitter: no crash, the vector
// is well formed, and re-quoting the arguments by the C runtime's rules and
// splitting again gives the same arguments back.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <quab/getopt.h>

#define CHECK(expr)           \
    do {                      \
        if (!(expr))          \
            __builtin_trap(); \
    } while (0)

namespace {

std::string Quote(std::string const &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\r\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    size_t cBackslashes = 0;
    for (char ch : arg) {
        if (ch == '\\') {
            cBackslashes++;
            continue;
        }
        if (ch == '"')
            out.append(2 * cBackslashes + 1, '\\');
        else
            out.append(cBackslashes, '\\');
        out += ch;
        cBackslashes = 0;
    }
    out.append(2 * cBackslashes, '\\');
    out += '"';
    return out;
}

int32_t Split(std::string const &text, uint32_t fFlags, const char *pszSeps, std::vector<std::string> *pArgs)
{
    // An exact-size copy, so that a read past the terminator is caught.
    char *pszBuf = static_cast<char *>(malloc(text.size() + 1));
    memcpy(pszBuf, text.c_str(), text.size() + 1);
    char **papszArgv = nullptr;
    int cArgs = -1;
    int32_t const rc = RTGetOptArgvSplit(&papszArgv, &cArgs, pszBuf, fFlags, pszSeps);
    if (RT_SUCCESS_NP(rc)) {
        CHECK(papszArgv != nullptr && cArgs >= 0);
        for (int i = 0; i < cArgs; i++) {
            CHECK(papszArgv[i] != nullptr);
            pArgs->push_back(papszArgv[i]);
            CHECK(pArgs->back().size() <= text.size());
        }
        CHECK(papszArgv[cArgs] == nullptr);
        if (!(fFlags & RTGETOPTARGV_IN_PLACE))
            CHECK(memcmp(pszBuf, text.c_str(), text.size() + 1) == 0);
        RTGetOptArgvFree(papszArgv, fFlags);
    } else {
        CHECK(papszArgv == nullptr && cArgs == 0);
    }
    free(pszBuf);
    return rc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    uint8_t const bCtl = pbData[0];
    std::string const text(reinterpret_cast<const char *>(pbData + 1), strnlen(reinterpret_cast<const char *>(pbData + 1), cbData - 1));
    uint32_t const fFlags = bCtl & 1 ? RTGETOPTARGV_IN_PLACE : 0;

    // Now and then a separator set of its own, taken from the input's end.
    if (bCtl & 2) {
        std::vector<std::string> args;
        std::string seps = text.substr(text.size() > 3 ? text.size() - 3 : 0);
        if (!seps.empty())
            Split(text, fFlags, seps.c_str(), &args);
        return 0;
    }

    std::vector<std::string> args;
    if (RT_FAILURE_NP(Split(text, fFlags, nullptr, &args)))
        return 0;
    std::string requoted;
    for (std::string const &arg : args)
        requoted += Quote(arg) + " ";
    std::vector<std::string> again;
    CHECK(RT_SUCCESS_NP(Split(requoted, fFlags, nullptr, &again)));
    CHECK(again == args);
    return 0;
}
