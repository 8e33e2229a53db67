/* The baseline of the extraction benchmark: the system's own copy of a
 * file, so that extraction is measured against what the platform does for
 * the same bytes in the same prefix.
 *
 * usage: copyfile SOURCE TARGET   (exit code 0, or the copy's last error) */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: copyfile SOURCE TARGET\n");
        return 120;
    }
    if (!CopyFileW(argv[1], argv[2], FALSE)) {
        DWORD const err = GetLastError();
        fwprintf(stderr, L"copyfile: CopyFileW failed: %lu\n", err);
        return err ? (int)err : 1;
    }
    return 0;
}
