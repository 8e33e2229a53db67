/* Loads DLLs by bare name the way a careless program does, so that the
 * planting test can show its canaries are found where they lie.
 *
 * usage: naiveload NAME...
 * Prints one line per name, "NAME loaded" or "NAME failed LASTERROR".
 * Exit code: 0 when every name loaded, 1 otherwise. */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t **argv)
{
    int rc = 0;
    /* The plain call with the process's default search order: the
     * program's own directory comes first. */
    for (int i = 1; i < argc; i++) {
        HMODULE h = LoadLibraryW(argv[i]);
        if (h)
            printf("%ls loaded\n", argv[i]);
        else {
            printf("%ls failed %lu\n", argv[i], GetLastError());
            rc = 1;
        }
    }
    fflush(stdout);
    return rc;
}
