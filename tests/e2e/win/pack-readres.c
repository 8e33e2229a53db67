/* Reads resources of an executable the way the system finds them, so that
 * tests see what the loader sees of a packed installer.
 *
 * usage: pack-readres FILE TYPE NAME OUTFILE [TYPE NAME OUTFILE]...
 *
 * TYPE and NAME are "#123" for numbers, else strings. Each resource found is
 * written to OUTFILE; a line "TYPE NAME SIZE" or "TYPE NAME missing" goes to
 * standard output. Exit code: 0 all found, 1 some missing, 2 FILE not loaded. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static LPCWSTR res_id(const wchar_t *s)
{
    if (s[0] == L'#')
        return MAKEINTRESOURCEW(_wtoi(s + 1));
    return s;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 5 || (argc - 2) % 3 != 0) {
        fwprintf(stderr, L"usage: pack-readres FILE TYPE NAME OUTFILE...\n");
        return 3;
    }
    HMODULE h = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!h) {
        printf("load failed %lu\n", GetLastError());
        return 2;
    }
    int missing = 0;
    for (int i = 2; i + 2 < argc; i += 3) {
        /* Language neutral: the system's fallback has to find what the
         * packer stored under 1033. */
        HRSRC r = FindResourceExW(h, res_id(argv[i]), res_id(argv[i + 1]), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        HGLOBAL g = r ? LoadResource(h, r) : NULL;
        const void *p = g ? LockResource(g) : NULL;
        if (!p) {
            printf("%ls %ls missing\n", argv[i], argv[i + 1]);
            missing = 1;
            continue;
        }
        DWORD cb = SizeofResource(h, r);
        FILE *f = _wfopen(argv[i + 2], L"wb");
        if (!f || fwrite(p, 1, cb, f) != cb) {
            printf("cannot write %ls\n", argv[i + 2]);
            return 4;
        }
        fclose(f);
        printf("%ls %ls %lu\n", argv[i], argv[i + 1], (unsigned long)cb);
    }
    FreeLibrary(h);
    return missing;
}
