// Splash screen: a borderless window with the installer's picture and a dot
// circling on it, on a thread of its own, while an interactive run extracts.
#include <windows.h>
#include <shlwapi.h>

#include <quab/err.h>
#include <quab/lazy.h>
#include <quab/mem.h>
#include <quab/thread.h>

#include "MorvStub.h"

namespace {

constexpr uint32_t kSplashWaitMs = 5000;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 50;
constexpr char kClassName[] = "MorvSplashScreenClass";

// The decoded picture: a GDI+ image with the platform image class's two
// virtual operations, its destructor and Clone. It lives in GDI+'s own heap
// (GdipAlloc/GdipFree), so its deleting destructor returns it there.
class SplashImage {
public:
    static void *operator new(size_t cb) noexcept { return g_pfnGdipAlloc(cb); }
    static void operator delete(void *pv) { g_pfnGdipFree(pv); }

    explicit SplashImage(Gdiplus::GpImage *pNative, Gdiplus::GpStatus lastStatus)
        : m_pNative(pNative), m_lastStatus(lastStatus) {}
    virtual ~SplashImage() { g_pfnGdipDisposeImage(m_pNative); }

    virtual SplashImage *Clone()
    {
        Gdiplus::GpImage *pClone = nullptr;
        m_lastStatus = g_pfnGdipCloneImage(m_pNative, &pClone);
        return new SplashImage(pClone, m_lastStatus);
    }

    // A failed query keeps its status and reads 0.
    UINT Width()
    {
        UINT cx = 0;
        m_lastStatus = g_pfnGdipGetImageWidth(m_pNative, &cx);
        return m_lastStatus == Gdiplus::Ok ? cx : 0;
    }
    UINT Height()
    {
        UINT cy = 0;
        m_lastStatus = g_pfnGdipGetImageHeight(m_pNative, &cy);
        return m_lastStatus == Gdiplus::Ok ? cy : 0;
    }

    Gdiplus::GpImage *Native() const { return m_pNative; }

private:
    Gdiplus::GpImage *m_pNative;
    Gdiplus::GpStatus m_lastStatus;
};

} // namespace

struct SplashScreen {
    HINSTANCE hInstance;
    HWND hWnd;
    RTTHREAD thread;
    SplashImage *image;
    uint32_t angle;
    HDC memDC;
    HBITMAP bitmap;
    // Who owns the record once start-up is over: the thread claims it as
    // ready, or the main thread, after its wait ran out, gives it up to the
    // thread. Whichever comes first decides.
    uint32_t handover;
};

namespace {

constexpr uint32_t kHandoverStarting = 0;
constexpr uint32_t kHandoverReady = 1;
constexpr uint32_t kHandoverAbandoned = 2;

bool SplashClaim(SplashScreen *pSplash, uint32_t uNewState)
{
    uint32_t uExpected = kHandoverStarting;
    return __atomic_compare_exchange_n(&pSplash->handover, &uExpected, uNewState, false, __ATOMIC_ACQ_REL,
                                       __ATOMIC_ACQUIRE);
}

// sin and cos without a C runtime: the angles are whole degrees, and the
// dot's position truncates the products, so the series must be accurate to
// well below 1e-12 near the quarter turns.
void SplashSinCos(double x, double *pSin, double *pCos)
{
    constexpr double kTwoPi = 6.283185307179586476925;
    constexpr double kPi = 3.141592653589793238462;
    while (x > kPi)
        x -= kTwoPi;
    while (x < -kPi)
        x += kTwoPi;
    double term = x, sum = x;                 // sin: x - x^3/3! + ...
    for (int n = 1; n < 20; n++) {
        term *= -x * x / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    *pSin = sum;
    term = 1.0;
    sum = 1.0;                                // cos: 1 - x^2/2! + ...
    for (int n = 1; n < 20; n++) {
        term *= -x * x / ((2 * n - 1) * (2 * n));
        sum += term;
    }
    *pCos = sum;
}

void PaintSplash(SplashScreen *pSplash, HDC hdcTarget)
{
    UINT const w = pSplash->image->Width();
    UINT const h = pSplash->image->Height();

    // One off-screen surface for every frame, so the window never shows a
    // half-drawn picture.
    if (!pSplash->memDC) {
        pSplash->memDC = CreateCompatibleDC(hdcTarget);
        pSplash->bitmap = CreateCompatibleBitmap(hdcTarget, static_cast<int>(w), static_cast<int>(h));
        SelectObject(pSplash->memDC, pSplash->bitmap);
    }

    Gdiplus::GpGraphics *pGraphics = nullptr;
    g_pfnGdipCreateFromHDC(pSplash->memDC, &pGraphics);
    g_pfnGdipGraphicsClear(pGraphics, 0xFFFFFFFF);
    g_pfnGdipDrawImageRectI(pGraphics, pSplash->image->Native(), 0, 0, static_cast<INT>(w), static_cast<INT>(h));

    double const theta = pSplash->angle * 3.14159 / 180;
    double dSin, dCos;
    SplashSinCos(theta, &dSin, &dCos);
    int32_t const dx = static_cast<int32_t>(dCos * -10);
    int32_t const dy = static_cast<int32_t>(dSin * -10);
    INT const left = static_cast<INT>(w / 2) - dx - 5;
    INT const top = static_cast<INT>(h / 2) - dy + 75;

    Gdiplus::GpSolidFill *pBrush = nullptr;
    g_pfnGdipCreateSolidFill(0xFF000064, &pBrush);
    g_pfnGdipFillEllipseI(pGraphics, pBrush, left, top, 10, 10);

    BitBlt(hdcTarget, 0, 0, static_cast<int>(w), static_cast<int>(h), pSplash->memDC, 0, 0, SRCCOPY);

    g_pfnGdipDeleteBrush(pBrush);
    g_pfnGdipDeleteGraphics(pGraphics);
}

LRESULT CALLBACK SplashWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_NCCREATE: {
        CREATESTRUCTA const *pCreate = reinterpret_cast<CREATESTRUCTA const *>(lParam);
        SetWindowLongA(hWnd, GWL_USERDATA, reinterpret_cast<LONG>(pCreate->lpCreateParams));
        break;
    }
    case WM_TIMER: {
        SplashScreen *pSplash = reinterpret_cast<SplashScreen *>(GetWindowLongA(hWnd, GWL_USERDATA));
        if (!pSplash)
            return 0;
        pSplash->angle = (pSplash->angle + 10) % 360;
        InvalidateRect(hWnd, nullptr, FALSE);
        break;
    }
    case WM_PAINT: {
        SplashScreen *pSplash = reinterpret_cast<SplashScreen *>(GetWindowLongA(hWnd, GWL_USERDATA));
        if (!pSplash)
            return 0;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hWnd, &ps);
        if (hdc) {
            PaintSplash(pSplash, hdc);
            EndPaint(hWnd, &ps);
        }
        break;
    }
    case WM_DESTROY:
        KillTimer(hWnd, kTimerId);
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Decodes the "PNG"/102 resource; the image object exists even when GDI+
// could not decode the bytes (its size then reads 0).
SplashImage *LoadSplashImage(HINSTANCE hInstance)
{
    HRSRC hRes = FindResourceW(hInstance, MAKEINTRESOURCEW(102), L"PNG");
    if (!hRes)
        return nullptr;
    HGLOBAL hGlobal = LoadResource(hInstance, hRes);
    DWORD const cb = SizeofResource(hInstance, hRes);
    void const *pv = hGlobal ? LockResource(hGlobal) : nullptr;
    if (!pv || cb == 0)
        return nullptr;
    IStream *pStream = SHCreateMemStream(static_cast<const BYTE *>(pv), cb);
    if (!pStream)
        return nullptr;
    Gdiplus::GpImage *pNative = nullptr;
    Gdiplus::GpStatus const rcGdip = g_pfnGdipLoadImageFromStream(pStream, &pNative);
    SplashImage *pImage = new SplashImage(pNative, rcGdip);
    pStream->Release();
    return pImage;
}

int32_t SplashThread(RTTHREAD hSelf, void *pvUser)
{
    SplashScreen *pSplash = static_cast<SplashScreen *>(pvUser);

    Gdiplus::GdiplusStartupInput startupInput;   // version 1, no debug callback
    ULONG_PTR uToken = 0;
    g_pfnGdiplusStartup(&uToken, &startupInput, nullptr);

    pSplash->image = LoadSplashImage(pSplash->hInstance);
    if (pSplash->image) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = SplashWndProc;
        wc.hInstance = pSplash->hInstance;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kClassName;
        RegisterClassA(&wc);

        int const w = static_cast<int>(pSplash->image->Width());
        int const h = static_cast<int>(pSplash->image->Height());
        int const x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        int const y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        pSplash->hWnd = CreateWindowExA(0, kClassName, "Morvaquill Installer", WS_POPUP | WS_VISIBLE, x, y, w, h,
                                        nullptr, nullptr, pSplash->hInstance, pSplash);
        if (!pSplash->hWnd) {
            DWORD const dwErr = GetLastError();
            NotifyError("Error creating splash window, rc=%Rrc (%#x)", RTErrConvertFromWinError(dwErr), dwErr);
        } else
            SetTimer(pSplash->hWnd, kTimerId, kTimerMs, nullptr);
    } else
        NotifyError("Error loading splash image");

    // Ready in every case: the creator must not wait out its time-out. If
    // it already did, nobody will ever stop this window: take it down now
    // instead of leaving it over the installer's own windows for the rest
    // of the run, and release the record, which is ours alone then.
    bool const fAbandoned = !SplashClaim(pSplash, kHandoverReady);
    RTThreadUserSignal(hSelf);

    if (pSplash->hWnd && !fAbandoned) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    if (pSplash->image) {
        delete pSplash->image;
        pSplash->image = nullptr;
    }
    DeleteObject(pSplash->bitmap);
    DeleteDC(pSplash->memDC);
    if (pSplash->hWnd) {
        DestroyWindow(pSplash->hWnd);
        pSplash->hWnd = nullptr;
    }
    g_pfnGdiplusShutdown(uToken);
    CoUninitialize();
    if (fAbandoned)
        RTMemFree(pSplash);
    return 0;
}

} // namespace

SplashScreen *SplashStart()
{
    SplashScreen *pSplash = static_cast<SplashScreen *>(RTMemAllocZTag(sizeof(*pSplash), "MorvStubSplash"));
    if (!pSplash)
        return nullptr;
    pSplash->hInstance = GetModuleHandleA(nullptr);
    int32_t rc = RTThreadCreate(&pSplash->thread, SplashThread, pSplash, 0, RTTHREADFLAGS_WAITABLE, "mrvStbSplsh");
    if (RT_FAILURE_NP(rc)) {
        RTMemFree(pSplash);
        return nullptr;
    }
    rc = RTThreadUserWait(pSplash->thread, kSplashWaitMs);
    // A thread that became ready just as the wait ran out is taken as ready;
    // otherwise the record is left to the thread, which ends on its own.
    if (RT_FAILURE_NP(rc) && SplashClaim(pSplash, kHandoverAbandoned))
        return nullptr;
    return pSplash;
}

void SplashStop(SplashScreen *pSplash)
{
    if (!pSplash)
        return;
    if (pSplash->hWnd)
        PostMessageA(pSplash->hWnd, WM_QUIT, 0, 0);
    if (pSplash->thread) {
        int32_t rcThread = 0;
        int32_t const rcWait = RTThreadWait(pSplash->thread, kSplashWaitMs, &rcThread);
        if (RT_FAILURE_NP(rcWait)) {
            // The thread may still use the record: it is left to it, not freed.
            NotifyError("Destruction of splash screen failed with %Rrc\n", rcWait);
            return;
        }
        if (rcThread < 0)
            NotifyError("Destruction of splash screen failed with %Rrc\n", rcThread);
    }
    RTMemFree(pSplash);
}
