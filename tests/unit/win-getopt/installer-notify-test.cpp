// The installer's report operations: message boxes when interactive, lines
// on the standard streams when silent, and their return values.
#include <gtest/gtest.h>

#include <string>

#include "Installer/win/Stub/MorvStub.h"
#include "report-capture.h"

namespace {


TEST(InstallerNotify, InteractiveBoxes)
{
    g_fSilent = false;
    ReportCapture Capture;
    EXPECT_EQ(NotifyError("Another installer is already running"), 1);
    NotifyInfo("Files were extracted to: %s", "C:\\t\xc3\xa9mp");
    EXPECT_EQ(NotifyUsageError("Extraction path is too long (%d)", -41), 2);
    // Not valid UTF-8: shown through the 8-bit box, bytes unchanged.
    EXPECT_EQ(NotifyError("bad \xff byte"), 1);
    // Nothing to show: no box.
    EXPECT_EQ(NotifyError("%s", ""), 1);

    auto const &Boxes = Capture.Boxes();
    ASSERT_EQ(Boxes.size(), 4u);
    struct {
        const char *text;
        UINT style;
        bool wide;
    } const aExpected[] = {
        {"Another installer is already running", 0x10, true},
        {"Files were extracted to: C:\\t\xc3\xa9mp", 0x40, true},
        {"Extraction path is too long (-41)", 0x10, true},
        {"bad \xff byte", 0x10, false},
    };
    for (size_t i = 0; i < Boxes.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Boxes[i].text, aExpected[i].text);
        EXPECT_EQ(Boxes[i].style, aExpected[i].style);
        EXPECT_EQ(Boxes[i].wide, aExpected[i].wide);
        EXPECT_EQ(Boxes[i].caption, "Morvaquill Installer");
        EXPECT_EQ(Boxes[i].owner, g_hwndFakeDesktop);
    }
    EXPECT_EQ(Capture.StdErr(), "");
    EXPECT_EQ(Capture.StdOut(), "");
}

TEST(InstallerNotify, SilentLines)
{
    g_fSilent = true;
    {
        ReportCapture Capture;
        EXPECT_EQ(NotifyError("first\nsecond %u", 2u), 1);
        EXPECT_EQ(NotifyUsageError("usage %s", "text"), 2);
        NotifyInfo("line one\nline two");
        EXPECT_TRUE(Capture.Boxes().empty());
        std::string const strPrefix = MessagePrefix() + "error: ";
        EXPECT_EQ(Capture.StdErr(), strPrefix + "first\n" + strPrefix + "second 2\n" + strPrefix + "usage text\n");
        EXPECT_EQ(Capture.StdOut(), "line one\nline two\n");
    }
    g_fSilent = false;
}

TEST(InstallerNotify, StdErrFamilyInEveryMode)
{
    for (bool fSilent : {false, true}) {
        SCOPED_TRACE(fSilent);
        g_fSilent = fSilent;
        ReportCapture Capture;
        EXPECT_EQ(ErrorToStderrOne("Package #%u not found in cleanup records", 3u), 1);
        EXPECT_EQ(ErrorToStderrRc(-42, "rc %d", -42), -42);
        int const cch = ErrorToStderr("plain");
        EXPECT_EQ(cch, static_cast<int>(sizeof("error: plain\n") - 1));
        EXPECT_TRUE(Capture.Boxes().empty());
        EXPECT_EQ(Capture.StdErr(), "error: Package #3 not found in cleanup records\nerror: rc -42\nerror: plain\n");
        EXPECT_EQ(Capture.StdOut(), "");
    }
    g_fSilent = false;
}

} // namespace
