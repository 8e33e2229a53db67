// Captures what the installer shows: message boxes through fakes in the
// lazy-import slots, and the standard streams re-pointed at files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <quab/stream.h>

struct CapturedBox {
    std::string caption;
    std::string text;
    UINT style;
    bool wide;      // came through MessageBoxW
    HWND owner;
};

class ReportCapture {
public:
    ReportCapture();
    ~ReportCapture();

    std::vector<CapturedBox> const &Boxes() const;
    std::string StdErr() const;
    std::string StdOut() const;

private:
    std::string m_strErrPath;
    std::string m_strOutPath;
    RtStream *m_pErr = nullptr;
    RtStream *m_pOut = nullptr;
    RtStream *m_pSavedErr = nullptr;
    RtStream *m_pSavedOut = nullptr;
};

// The window the fakes hand out as the desktop.
inline HWND const g_hwndFakeDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

// The program-name prefix of message lines ("<name>: ").
std::string MessagePrefix();
