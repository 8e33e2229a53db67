// Argument vectors built from fuzz input, parsed against a table with every
// value type and modifier: no crash, no read past an argument (each one sits
// in an allocation of its exact size), results point into the arguments,
// and permutation only reorders the vector.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include <quab/getopt.h>

#define CHECK(expr)           \
    do {                      \
        if (!(expr))          \
            __builtin_trap(); \
    } while (0)

namespace {

constexpr RTOPTDEF g_aOpts[] = {
    {"--none", 'n', RTOPT_TYPE_NONE},
    {"--str", 's', RTOPT_TYPE_STRING},
    {"--i8", 'a', RTOPT_TYPE_INT8},
    {"--u8", 'b', RTOPT_TYPE_UINT8 | RTOPT_HEX},
    {"--i16", 'c', RTOPT_TYPE_INT16 | RTOPT_OCT},
    {"--u16", 'd', RTOPT_TYPE_UINT16 | RTOPT_DEC},
    {"--i32", 'e', RTOPT_TYPE_INT32},
    {"--u32", 'f', RTOPT_TYPE_UINT32},
    {"--i64", 'g', RTOPT_TYPE_INT64 | RTOPT_HEX},
    {"--u64", 'i', RTOPT_TYPE_UINT64},
    {"--ip", 'j', RTOPT_TYPE_IPV4ADDR},
    {"--cidr", 'k', RTOPT_TYPE_IPV4CIDR},
    {"--mac", 'm', RTOPT_TYPE_MACADDR},
    {"--uuid", 'u', RTOPT_TYPE_UUID},
    {"--onoff", 'o', RTOPT_TYPE_BOOL_ONOFF},
    {"--bool", 'B', RTOPT_TYPE_BOOL},
    {"--p32", 'p', RTOPT_TYPE_PAIR_U32},
    {"--p64", 'q', RTOPT_TYPE_PAIR_U64 | RTOPT_HEX},
    {"--p32o", 'r', RTOPT_TYPE_PAIR_U32_OPT2},
    {"--p64o", 't', RTOPT_TYPE_PAIR_U64_OPT2},
    {"--disk", 'D', RTOPT_TYPE_UINT32 | RTOPT_INDEXED | RTOPT_INDEX_DASH},
    {"--slot", 'S', RTOPT_TYPE_STRING | RTOPT_INDEXED | RTOPT_INDEX_DEFAULT_1},
    {"--port", 'P', RTOPT_TYPE_NONE | RTOPT_INDEXED | RTOPT_INDEX_DEFAULT_0},
    {"--nic", 'N', RTOPT_TYPE_NONE | RTOPT_INDEXED},
    {"--Case", 'C', RTOPT_TYPE_STRING | RTOPT_IGNORE_CASE},
    {"/slash", 'x', RTOPT_TYPE_NONE},
    {"--bad", 'z', 12},
    {nullptr, 'y', RTOPT_TYPE_STRING},
    {"--long", 1000, RTOPT_TYPE_UINT16},
};

bool PointsInto(const char *psz, std::vector<char *> const &args, std::vector<size_t> const &cbs)
{
    for (size_t i = 0; i < args.size(); i++)
        if (psz >= args[i] && psz < args[i] + cbs[i])
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    uint8_t const bCtl = pbData[0];
    pbData++;
    cbData--;

    // Arguments are separated by zero bytes; each gets an allocation of
    // exactly its length plus the terminator.
    std::vector<char *> args;
    std::vector<size_t> cbs;
    size_t off = 0;
    while (off <= cbData && args.size() < 64) {
        size_t cch = 0;
        while (off + cch < cbData && pbData[off + cch] != 0)
            cch++;
        char *psz = static_cast<char *>(malloc(cch + 1));
        memcpy(psz, pbData + off, cch);
        psz[cch] = '\0';
        args.push_back(psz);
        cbs.push_back(cch + 1);
        off += cch + 1;
    }
    std::vector<char *> argv = args;
    argv.push_back(nullptr);

    uint32_t const fInit = bCtl & 3;
    RTOPTSTATE State;
    CHECK(RTGetOptInit(&State, static_cast<int>(args.size()), argv.data(), g_aOpts, RT_ELEMENTS(g_aOpts),
                       (bCtl >> 2) & 1, fInit) == RT_OK);
    bool const fNextValue = (bCtl & 8) != 0;
    for (int i = 0; i < 256; i++) {
        RTOPTVALUE Value;
        int const rc = RTGetOpt(&State, &Value);
        if (rc == 0)
            break;
        if (rc == RTI_NOT_OPTION || rc == RTE_OPTION_UNKNOWN)
            CHECK(PointsInto(Value.str, args, cbs));
        if (rc > 0 && rc != RTI_NOT_OPTION) {
            CHECK(State.lastDef != nullptr && State.lastDef->shortCode == rc);
            uint32_t const uType = State.lastDef->flags & RTOPT_TYPE_MASK;
            if (uType == RTOPT_TYPE_STRING)
                CHECK(PointsInto(Value.str, args, cbs));
            if (fNextValue && uType != RTOPT_TYPE_NONE) {
                int32_t const rcNext = RTGetOptNextValue(&State, &Value, State.lastDef->flags);
                if (rcNext == RT_OK && uType == RTOPT_TYPE_STRING)
                    CHECK(PointsInto(Value.str, args, cbs));
            }
        }
        // Callers stop at the first error; an unknown group character
        // repeats, so going on would loop.
        if (rc < 0)
            break;
        CHECK(State.nextIndex <= State.argc);
    }

    // Permutation reorders the vector but never loses or invents an entry.
    std::vector<char *> sortedBefore = args, sortedAfter(argv.begin(), argv.end() - 1);
    std::sort(sortedBefore.begin(), sortedBefore.end());
    std::sort(sortedAfter.begin(), sortedAfter.end());
    CHECK(sortedBefore == sortedAfter);
    if (!(fInit & RTOPTINIT_PERMUTE))
        CHECK(std::equal(args.begin(), args.end(), argv.begin()));

    for (char *psz : args)
        free(psz);
    return 0;
}
