// A program linked like the stub that prints the argument vector start-up
// built, one argument a line as hexadecimal bytes, so that every byte of
// quoting and encoding can be checked whatever the console's code page.
#include <quab/init.h>
#include <quab/stream.h>

int main(int argc, char **argv, char **envp)
{
    RTStdOutPrintf("argc %d%s\n", argc, envp ? " envp" : "");
    for (int i = 0; i < argc; i++) {
        static constexpr char s_achHex[] = "0123456789abcdef";
        char szHex[2048];
        size_t off = 0;
        for (const unsigned char *pb = reinterpret_cast<const unsigned char *>(argv[i]); *pb && off + 3 < sizeof(szHex);
             pb++) {
            szHex[off++] = s_achHex[*pb >> 4];
            szHex[off++] = s_achHex[*pb & 15];
        }
        szHex[off] = '\0';
        RTStdOutPrintf("%d:%s\n", i, szHex);
    }
    RTStdOutPrintf("end %s\n", argv[argc] == nullptr ? "null" : "NOT-NULL");
    return 0;
}
