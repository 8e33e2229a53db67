/* Finds, reads and presses the windows of other processes for the
 * interactive end-to-end tests.
 *
 * usage: uidriver list
 *        uidriver wait-window CLASS|* CAPTION|* TIMEOUT_MS
 *        uidriver box-text CAPTION TIMEOUT_MS
 *        uidriver press CAPTION BUTTON_TEXT|IDOK|IDCANCEL TIMEOUT_MS
 *
 * Every window is printed as one line of tab-separated key=value fields
 * (hwnd, class, caption, style, exstyle, parent, owner, rect, visible, pid,
 * exe); values are UTF-8 with \\, \t, \n and \r escaped, so a line never
 * breaks inside a field. box-text prints "text=...<TAB>icon=error|information|
 * warning|question|none". Exit code: 0 done, 1 time-out or not found,
 * 2 usage. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define MAX_WINDOWS 1024
#define ICON_STATIC_WINE 0x0440 /* the icon control of Wine's box (stc1) */
#define ICON_STATIC_NT 0x0014   /* ... and of the system's own */
#define TEXT_STATIC 0xFFFF

static char g_out[65536];
static size_t g_cch;

static void out_raw(const char *s, size_t n)
{
    if (g_cch + n >= sizeof(g_out))
        n = sizeof(g_out) - 1 - g_cch;
    memcpy(g_out + g_cch, s, n);
    g_cch += n;
}

static void out_str(const char *s) { out_raw(s, strlen(s)); }

static void out_fmt(const char *fmt, ...)
{
    char buf[512];
    va_list va;
    va_start(va, fmt);
    int n = vsnprintf(buf, sizeof(buf), fmt, va);
    va_end(va);
    if (n > 0)
        out_raw(buf, (size_t)n < sizeof(buf) ? (size_t)n : sizeof(buf) - 1);
}

/* UTF-16 to UTF-8 with the line-keeping escapes. */
static void out_wide(const wchar_t *w)
{
    for (; *w; w++) {
        switch (*w) {
        case L'\\': out_str("\\\\"); continue;
        case L'\t': out_str("\\t"); continue;
        case L'\n': out_str("\\n"); continue;
        case L'\r': out_str("\\r"); continue;
        default: break;
        }
        int units = (*w >= 0xD800 && *w <= 0xDBFF && w[1] >= 0xDC00 && w[1] <= 0xDFFF) ? 2 : 1;
        char mb[8];
        int n = WideCharToMultiByte(CP_UTF8, 0, w, units, mb, sizeof(mb), NULL, NULL);
        if (n > 0)
            out_raw(mb, (size_t)n);
        w += units - 1;
    }
}

/* Whole lines go out with one WriteFile so that a reader polling the pipe
 * never sees half a record. */
static void flush_out(void)
{
    DWORD done;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), g_out, (DWORD)g_cch, &done, NULL);
    g_cch = 0;
}

static void window_text(HWND hwnd, wchar_t *buf, int cch)
{
    buf[0] = 0;
    /* WM_GETTEXT rather than GetWindowText: the latter does not read the
     * text of controls that belong to another process. */
    SendMessageTimeoutW(hwnd, WM_GETTEXT, (WPARAM)cch, (LPARAM)buf, SMTO_ABORTIFHUNG, 2000, NULL);
    buf[cch - 1] = 0;
}

static void exe_name(DWORD pid, wchar_t *buf, DWORD cch)
{
    buf[0] = 0;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h)
        return;
    wchar_t full[MAX_PATH * 2];
    DWORD n = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(h, 0, full, &n)) {
        const wchar_t *base = full;
        for (const wchar_t *p = full; *p; p++)
            if (*p == L'\\' || *p == L'/')
                base = p + 1;
        lstrcpynW(buf, base, (int)cch);
    }
    CloseHandle(h);
}

static void describe(HWND hwnd)
{
    wchar_t cls[256], caption[1024], exe[MAX_PATH];
    RECT rc = {0};
    DWORD pid = 0;
    GetClassNameW(hwnd, cls, 256);
    window_text(hwnd, caption, 1024);
    GetWindowRect(hwnd, &rc);
    GetWindowThreadProcessId(hwnd, &pid);
    exe_name(pid, exe, MAX_PATH);
    HWND parent = GetAncestor(hwnd, GA_PARENT);
    if (parent == GetDesktopWindow())
        parent = NULL;
    out_fmt("hwnd=0x%lx\tclass=", (unsigned long)(ULONG_PTR)hwnd);
    out_wide(cls);
    out_str("\tcaption=");
    out_wide(caption);
    out_fmt("\tstyle=0x%08lx\texstyle=0x%08lx\tparent=0x%lx\towner=0x%lx\trect=%ld,%ld,%ld,%ld\tvisible=%d\tpid=%lu\texe=",
            (unsigned long)GetWindowLongW(hwnd, GWL_STYLE), (unsigned long)GetWindowLongW(hwnd, GWL_EXSTYLE),
            (unsigned long)(ULONG_PTR)parent, (unsigned long)(ULONG_PTR)GetWindow(hwnd, GW_OWNER),
            rc.left, rc.top, rc.right, rc.bottom, IsWindowVisible(hwnd) ? 1 : 0, (unsigned long)pid);
    out_wide(exe);
    out_str("\n");
}

struct window_list {
    HWND h[MAX_WINDOWS];
    int n;
};

static BOOL CALLBACK collect(HWND hwnd, LPARAM lp)
{
    struct window_list *l = (struct window_list *)lp;
    if (l->n < MAX_WINDOWS)
        l->h[l->n++] = hwnd;
    return TRUE;
}

static int matches(const wchar_t *pattern, const wchar_t *value)
{
    return wcscmp(pattern, L"*") == 0 || wcscmp(pattern, value) == 0;
}

/* The first visible top-level window of that class and caption, or NULL. */
static HWND find_window(const wchar_t *cls_pattern, const wchar_t *caption_pattern)
{
    static struct window_list l;
    l.n = 0;
    EnumWindows(collect, (LPARAM)&l);
    for (int i = 0; i < l.n; i++) {
        wchar_t cls[256], caption[1024];
        if (!IsWindowVisible(l.h[i]))
            continue;
        GetClassNameW(l.h[i], cls, 256);
        if (!matches(cls_pattern, cls))
            continue;
        window_text(l.h[i], caption, 1024);
        if (matches(caption_pattern, caption))
            return l.h[i];
    }
    return NULL;
}

static HWND wait_window(const wchar_t *cls, const wchar_t *caption, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND h = find_window(cls, caption);
        if (h || GetTickCount() - start >= timeout_ms)
            return h;
        Sleep(50);
    }
}

static int cmd_list(void)
{
    static struct window_list l;
    EnumWindows(collect, (LPARAM)&l);
    for (int i = 0; i < l.n; i++)
        describe(l.h[i]);
    flush_out();
    return 0;
}

static int cmd_wait_window(wchar_t **argv)
{
    HWND h = wait_window(argv[0], argv[1], (DWORD)_wtoi(argv[2]));
    if (!h) {
        fprintf(stderr, "uidriver: no such window\n");
        return 1;
    }
    describe(h);
    flush_out();
    return 0;
}

/* --- the message box's icon -------------------------------------------------
 * An icon handle from another process cannot be read here, so the icon is
 * recognised by its pixels: the control's area of the screen is compared
 * with each of the system's stock icons drawn as the control draws it. */

struct stock_icon {
    const char *name;
    LPCWSTR id;
};

static const struct stock_icon g_icons[] = {
    {"error", IDI_HAND},
    {"information", IDI_ASTERISK},
    {"warning", IDI_EXCLAMATION},
    {"question", IDI_QUESTION},
};

static DWORD *capture(HDC hdcScreen, const RECT *rc, HDC *phdc, HBITMAP *phbm)
{
    int w = rc->right - rc->left, h = rc->bottom - rc->top;
    BITMAPINFO bi = {0};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    *phdc = CreateCompatibleDC(hdcScreen);
    *phbm = CreateDIBSection(hdcScreen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!*phdc || !*phbm || !bits)
        return NULL;
    SelectObject(*phdc, *phbm);
    if (hdcScreen)
        BitBlt(*phdc, 0, 0, w, h, hdcScreen, rc->left, rc->top, SRCCOPY);
    return (DWORD *)bits;
}

/* The colour the control's border pixels show most often: the box's
 * background behind the icon. */
static DWORD background(const DWORD *shot, int w, int h)
{
    DWORD best = shot[0];
    int best_n = 0;
    for (int k = 0; k < 2 * (w + h); k += 3) {
        int x = k < w ? k : k < 2 * w ? k - w : k < 2 * w + h ? 0 : w - 1;
        int y = k < w ? 0 : k < 2 * w ? h - 1 : k < 2 * w + h ? k - 2 * w : k - 2 * w - h;
        DWORD c = shot[y * w + x] & 0xFFFFFF;
        int n = 0;
        for (int i = 0; i < w; i++)
            n += (shot[i] & 0xFFFFFF) == c;
        for (int i = 0; i < w; i++)
            n += (shot[(h - 1) * w + i] & 0xFFFFFF) == c;
        if (n > best_n) {
            best_n = n;
            best = c;
        }
    }
    return best;
}

static int channel_far(DWORD a, DWORD b)
{
    for (int s = 0; s < 24; s += 8) {
        int d = (int)((a >> s) & 0xFF) - (int)((b >> s) & 0xFF);
        if (d > 24 || d < -24)
            return 1;
    }
    return 0;
}

/* Fraction (per mille) of pixels that differ when the stock icon is drawn
 * the way the control draws it (centred, its own size, over the box's
 * background), or -1 when it cannot tell. */
static int icon_difference(const RECT *rc, const DWORD *shot, LPCWSTR id)
{
    int w = rc->right - rc->left, h = rc->bottom - rc->top;
    HDC hdc;
    HBITMAP hbm;
    DWORD *ref = capture(NULL, rc, &hdc, &hbm);
    int result = -1;
    HICON icon = LoadIconW(NULL, id);
    if (ref && icon) {
        DWORD bg = background(shot, w, h);
        for (long i = 0; i < (long)w * h; i++)
            ref[i] = bg;
        int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        if (DrawIconEx(hdc, (w - cx) / 2, (h - cy) / 2, icon, cx, cy, 0, NULL, DI_NORMAL)) {
            GdiFlush();
            long diff = 0;
            for (long i = 0; i < (long)w * h; i++)
                diff += channel_far(ref[i], shot[i]);
            result = (int)(diff * 1000 / ((long)w * h));
        }
    }
    if (hbm)
        DeleteObject(hbm);
    if (hdc)
        DeleteDC(hdc);
    return result;
}

static HWND icon_control(HWND box)
{
    HWND h = GetDlgItem(box, ICON_STATIC_WINE);
    if (!h)
        h = GetDlgItem(box, ICON_STATIC_NT);
    if (h && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        return h;
    return NULL;
}

/* "none" when the box has no visible icon; NULL when the pixels match no
 * stock icon (yet: the box may not be painted). */
static const char *box_icon(HWND box)
{
    HWND ctl = icon_control(box);
    if (!ctl || !IsWindowVisible(ctl))
        return "none";
    LRESULT hicon = 0;
    SendMessageTimeoutW(ctl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, (PDWORD_PTR)&hicon);
    if (!hicon)
        return "none";
    RECT rc;
    GetWindowRect(ctl, &rc);
    if (rc.right - rc.left <= 0 || rc.bottom - rc.top <= 0)
        return "none";
    const char *best = NULL;
    HDC screen = GetDC(NULL);
    HDC hdc;
    HBITMAP hbm;
    DWORD *shot = capture(screen, &rc, &hdc, &hbm);
    if (shot) {
        GdiFlush();
        int best_diff = 1001, second = 1001;
        for (size_t i = 0; i < sizeof(g_icons) / sizeof(g_icons[0]); i++) {
            int d = icon_difference(&rc, shot, g_icons[i].id);
            if (d < 0)
                continue;
            if (d < best_diff) {
                second = best_diff;
                best_diff = d;
                best = g_icons[i].name;
            } else if (d < second) {
                second = d;
            }
        }
        /* A clear winner only: the right icon matches almost exactly. The
         * information and question icons share their blue disc, so the
         * runner-up may differ in only a few per cent of the area. */
        if (!(best_diff <= 20 && second >= best_diff + 40))
            best = NULL;
        if (getenv("UIDRIVER_DEBUG"))
            fprintf(stderr, "uidriver: icon best=%s diff=%d second=%d size=%ldx%ld\n", best ? best : "?", best_diff,
                    second, rc.right - rc.left, rc.bottom - rc.top);
    }
    if (hbm)
        DeleteObject(hbm);
    if (hdc)
        DeleteDC(hdc);
    ReleaseDC(NULL, screen);
    return best;
}

static HWND box_text_control(HWND box)
{
    HWND h = GetDlgItem(box, TEXT_STATIC);
    if (h)
        return h;
    /* Otherwise the static control that is not the icon. */
    for (h = GetWindow(box, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(h, cls, 64);
        if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            return h;
    }
    return NULL;
}

static int cmd_box_text(wchar_t **argv)
{
    DWORD timeout = (DWORD)_wtoi(argv[1]);
    DWORD start = GetTickCount();
    HWND box = wait_window(L"#32770", argv[0], timeout);
    if (!box) {
        fprintf(stderr, "uidriver: no message box\n");
        return 1;
    }
    /* Keep it above anything else on the screen while its pixels are read. */
    SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const char *icon;
    for (;;) {
        RedrawWindow(box, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        icon = box_icon(box);
        if (icon || GetTickCount() - start >= timeout)
            break;
        Sleep(100);
    }
    wchar_t text[8192];
    HWND ctl = box_text_control(box);
    text[0] = 0;
    if (ctl)
        window_text(ctl, text, 8192);
    out_str("text=");
    out_wide(text);
    out_str("\ticon=");
    out_str(icon ? icon : "unknown");
    out_str("\n");
    flush_out();
    return 0;
}

static int button_matches(HWND btn, const wchar_t *want)
{
    wchar_t text[256], plain[256];
    window_text(btn, text, 256);
    int j = 0;
    for (int i = 0; text[i] && j < 255; i++)
        if (text[i] != L'&')
            plain[j++] = text[i];
    plain[j] = 0;
    return lstrcmpiW(plain, want) == 0 || lstrcmpiW(text, want) == 0;
}

static int cmd_press(wchar_t **argv)
{
    DWORD timeout = (DWORD)_wtoi(argv[2]);
    HWND box = wait_window(L"*", argv[0], timeout);
    if (!box) {
        fprintf(stderr, "uidriver: no window with that caption\n");
        return 1;
    }
    static const struct { const wchar_t *name; int id; } named[] = {
        {L"IDOK", IDOK}, {L"IDCANCEL", IDCANCEL}, {L"IDYES", IDYES}, {L"IDNO", IDNO},
    };
    HWND btn = NULL;
    for (size_t i = 0; i < sizeof(named) / sizeof(named[0]) && !btn; i++)
        if (wcscmp(argv[1], named[i].name) == 0)
            btn = GetDlgItem(box, named[i].id);
    for (HWND h = GetWindow(box, GW_CHILD); h && !btn; h = GetWindow(h, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(h, cls, 64);
        if (lstrcmpiW(cls, L"Button") == 0 && button_matches(h, argv[1]))
            btn = h;
    }
    if (!btn || !IsWindowVisible(btn)) {
        fprintf(stderr, "uidriver: no such button\n");
        return 1;
    }
    /* What the button itself tells its dialog when it is clicked. */
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(btn), BN_CLICKED), (LPARAM)btn);
    DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (GetTickCount() - start >= timeout) {
            fprintf(stderr, "uidriver: the window stayed after the press\n");
            return 1;
        }
        Sleep(50);
    }
    out_str("pressed\n");
    flush_out();
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    static const struct {
        const wchar_t *name;
        int nargs;
        int (*fn)(wchar_t **);
    } cmds[] = {
        {L"wait-window", 3, cmd_wait_window},
        {L"box-text", 2, cmd_box_text},
        {L"press", 3, cmd_press},
    };
    if (argc == 2 && wcscmp(argv[1], L"list") == 0)
        return cmd_list();
    for (size_t i = 0; argc >= 2 && i < sizeof(cmds) / sizeof(cmds[0]); i++)
        if (wcscmp(argv[1], cmds[i].name) == 0 && argc == 2 + cmds[i].nargs)
            return cmds[i].fn(argv + 2);
    fprintf(stderr, "usage: uidriver list | wait-window CLASS CAPTION MS | box-text CAPTION MS | "
                    "press CAPTION BUTTON MS\n");
    return 2;
}
