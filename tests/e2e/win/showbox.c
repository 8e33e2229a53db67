/* Shows one message box, for tests of the UI driver itself.
 *
 * usage: showbox CAPTION TEXT STYLE
 *
 * STYLE is the MessageBoxW style word (e.g. 0x10); the text's "\n" become
 * line breaks. The exit code is the box's answer (IDOK is 1). */
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4)
        return 100;
    wchar_t *text = argv[2];
    wchar_t *w = text;
    for (const wchar_t *r = text; *r; r++) {
        if (r[0] == L'\\' && r[1] == L'n') {
            *w++ = L'\n';
            r++;
        } else {
            *w++ = *r;
        }
    }
    *w = 0;
    return MessageBoxW(GetDesktopWindow(), text, argv[1], (UINT)wcstoul(argv[3], NULL, 0));
}
