// A program linked like the stub that divides 64-bit numbers with the
// runtime's own division: each argument pair "N D" (hexadecimal) gives a line
// "Q R" with N / D and N % D. Reading and printing go by shifts only, so that
// no result depends on the division under test.
#include <quab/stream.h>

namespace {

uint64_t ParseHex(const char *psz)
{
    uint64_t u = 0;
    for (; *psz; psz++) {
        char const ch = *psz;
        unsigned const uDigit = ch >= '0' && ch <= '9' ? unsigned(ch - '0') : unsigned((ch | 0x20) - 'a' + 10);
        u = (u << 4) | uDigit;
    }
    return u;
}

void ToHex(uint64_t u, char *pszOut)
{
    static constexpr char s_achHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; i++)
        pszOut[i] = s_achHex[(u >> (60 - 4 * i)) & 15];
    pszOut[16] = '\0';
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        // volatile: the compiler must call the division, not fold it.
        uint64_t volatile uNum = ParseHex(argv[i]);
        uint64_t volatile uDen = ParseHex(argv[i + 1]);
        uint64_t const uQuot = uNum / uDen;
        uint64_t const uRem = uNum % uDen;
        char szQuot[17], szRem[17];
        ToHex(uQuot, szQuot);
        ToHex(uRem, szRem);
        RTStdOutPrintf("%s %s\n", szQuot, szRem);
    }
    return 0;
}
