// Streams under Wine: opening by name, text and binary output, the buffering
// policies, the sticky error status, standard handles and termination.
#include <gtest/gtest.h>

#include <quab/file.h>
#include <quab/stream.h>

#include "stream-fixture.h"

namespace {

class StreamTest : public ::testing::Test {
protected:
    // Closes every stream opened by name, so the scratch files can go.
    void TearDown() override { rtStreamTerm(); }

    RtStream *Open(const std::string &strPath, const char *pszMode)
    {
        RtStream *pStream = nullptr;
        EXPECT_EQ(RTStreamOpenByName(strPath.c_str(), pszMode, &pStream), RT_OK) << pszMode;
        return pStream;
    }

    ScratchDir m_Dir;
};

TEST_F(StreamTest, ModeStringsThatAreRejected)
{
    static const char *const s_apszBad[] = {"", "z", "rz", "rx", "ax", "xr", "+", "b", "t", "bt+", "NE", "w ", "W"};
    std::string const strPath = m_Dir.Path("bad-mode.txt");
    for (const char *pszMode : s_apszBad) {
        RtStream *pStream = reinterpret_cast<RtStream *>(0x1234);
        EXPECT_EQ(RTStreamOpenByName(strPath.c_str(), pszMode, &pStream), RTE_INVALID_FLAGS) << '"' << pszMode << '"';
        EXPECT_EQ(pStream, nullptr);
    }
    RtStream *pStream = reinterpret_cast<RtStream *>(0x1234);
    EXPECT_EQ(RTStreamOpenByName(strPath.c_str(), nullptr, &pStream), RTE_INVALID_FLAGS);
    EXPECT_EQ(pStream, nullptr);
    EXPECT_EQ(RTStreamOpenByName(nullptr, "w", &pStream), RTE_INVALID_PARAMETER);
    // Rejected modes never reach the file system.
    EXPECT_EQ(GetFileAttributesW(m_Dir.WPath("bad-mode.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StreamTest, AccessKindsOpenTheFileAsTheModeSays)
{
    std::string const strOld = m_Dir.Path("old.txt");
    WriteWholeFile(strOld, "old");

    // "w" truncates.
    RtStream *pW = Open(strOld, "wb");
    ASSERT_NE(pW, nullptr);
    EXPECT_EQ(ReadWholeFile(strOld), "");

    // "a" keeps the content and writes at the end.
    std::string const strAppend = m_Dir.Path("append.txt");
    WriteWholeFile(strAppend, "old");
    RtStream *pA = Open(strAppend, "ab");
    ASSERT_NE(pA, nullptr);
    EXPECT_EQ(RTStreamPrintf(pA, "new"), 3);
    ASSERT_EQ(rtStreamFlush(pA), RT_OK);
    EXPECT_EQ(ReadWholeFile(strAppend), "oldnew");

    // "r" needs an existing file; "wx" needs a missing one.
    RtStream *pStream = nullptr;
    EXPECT_EQ(RTStreamOpenByName(m_Dir.Path("missing.txt").c_str(), "r", &pStream), RTE_FILE_NOT_FOUND);
    EXPECT_EQ(RTStreamOpenByName(strAppend.c_str(), "wx", &pStream), RTE_ALREADY_EXISTS);
    EXPECT_EQ(pStream, nullptr);
}

// Whether the handle can read and write is seen on the handle itself.
TEST_F(StreamTest, ReadWriteModesGiveHandlesThatCanRead)
{
    struct Case {
        const char *pszMode;
        bool fPrefill;
        bool fCanRead;
        bool fCanWrite;
    };
    static const Case s_aCases[] = {
        {"wx", false, true, true}, {"w", false, false, true}, {"r", true, true, false},
        {"r+", true, true, true},  {"a+", true, true, true},
    };
    int i = 0;
    for (const Case &c : s_aCases) {
        std::string const strPath = m_Dir.Path(("rw" + std::to_string(i++) + ".txt").c_str());
        if (c.fPrefill)
            WriteWholeFile(strPath, "0123");
        RtStream *pStream = Open(strPath, c.pszMode);
        ASSERT_NE(pStream, nullptr) << c.pszMode;
        HANDLE hFile = reinterpret_cast<HANDLE>(pStream->uHandle);
        char ach[4];
        DWORD cb = 0;
        SetFilePointer(hFile, 0, nullptr, FILE_BEGIN);
        EXPECT_EQ(ReadFile(hFile, ach, 1, &cb, nullptr) != FALSE, c.fCanRead) << c.pszMode;
        EXPECT_EQ(WriteFile(hFile, "x", 1, &cb, nullptr) != FALSE, c.fCanWrite) << c.pszMode;
    }
}

TEST_F(StreamTest, InheritanceFollowsTheLastLetter)
{
    struct Case {
        const char *pszMode;
        bool fInherit;
    };
    static const Case s_aCases[] = {{"w", true}, {"wN", false}, {"we", false}, {"wNE", true}, {"wEe", false}};
    int i = 0;
    for (const Case &c : s_aCases) {
        RtStream *pStream = Open(m_Dir.Path(("inh" + std::to_string(i++)).c_str()), c.pszMode);
        ASSERT_NE(pStream, nullptr);
        DWORD fInfo = 0;
        ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(pStream->uHandle), &fInfo));
        EXPECT_EQ((fInfo & HANDLE_FLAG_INHERIT) != 0, c.fInherit) << c.pszMode;
    }
}

TEST_F(StreamTest, TextModeTranslatesLineFeedsBinaryModeDoesNot)
{
    struct Case {
        const char *pszMode;
        const char *pszIn;
        const char *pszOut;
    };
    static const Case s_aCases[] = {
        {"w", "a\nb", "a\r\nb"},       {"wt", "\n\n", "\r\n\r\n"}, {"wb", "a\nb", "a\nb"},
        {"wbt", "a\nb", "a\r\nb"},     {"wtb", "x\r\n", "x\r\n"},  {"w", "x\r\n", "x\r\r\n"},
    };
    int i = 0;
    for (const Case &c : s_aCases) {
        std::string const strPath = m_Dir.Path(("text" + std::to_string(i++)).c_str());
        RtStream *pStream = Open(strPath, c.pszMode);
        ASSERT_NE(pStream, nullptr);
        EXPECT_EQ(RTStreamPrintf(pStream, "%s", c.pszIn), static_cast<int>(strlen(c.pszIn)));
        // Fully buffered: all of it still in the buffer, translated.
        EXPECT_EQ(Unflushed(pStream), c.pszOut) << c.pszMode;
        EXPECT_EQ(ReadWholeFile(strPath), "");
        ASSERT_EQ(rtStreamFlush(pStream), RT_OK);
        EXPECT_EQ(ReadWholeFile(strPath), c.pszOut) << c.pszMode;
    }
}

TEST_F(StreamTest, BufferingPolicies)
{
    struct Case {
        int enmMode;
        const char *pszIn;
        const char *pszWritten;   // on the file right after the printf
        const char *pszKept;      // still buffered
    };
    static const Case s_aCases[] = {
        {RTSTREAMBUF_MODE_LINE, "abc", "", "abc"},
        {RTSTREAMBUF_MODE_LINE, "abc\ndef", "abc\r\n", "def"},
        {RTSTREAMBUF_MODE_LINE, "a\nb\n", "a\r\nb\r\n", ""},
        {RTSTREAMBUF_MODE_LINE, "a\nb\nc", "a\r\nb\r\n", "c"},
        {RTSTREAMBUF_MODE_FULL, "a\nb\n", "", "a\r\nb\r\n"},
        {RTSTREAMBUF_MODE_NONE, "abc", "abc", ""},
    };
    int i = 0;
    for (const Case &c : s_aCases) {
        std::string const strPath = m_Dir.Path(("buf" + std::to_string(i++)).c_str());
        RtStream *pStream = Open(strPath, "w");
        ASSERT_NE(pStream, nullptr);
        ASSERT_EQ(RTStreamSetBufferMode(pStream, c.enmMode), RT_OK);
        RTStreamPrintf(pStream, "%s", c.pszIn);
        EXPECT_EQ(ReadWholeFile(strPath), c.pszWritten) << c.enmMode << " " << c.pszIn;
        EXPECT_EQ(Unflushed(pStream), c.pszKept) << c.enmMode << " " << c.pszIn;
        // What stays buffered sits at the start of the buffer.
        EXPECT_EQ(pStream->offBufFirst, 0u);
    }
}

TEST_F(StreamTest, LineBufferingKeepsThePartialLineAcrossCalls)
{
    std::string const strPath = m_Dir.Path("lines.txt");
    RtStream *pStream = Open(strPath, "w");
    ASSERT_NE(pStream, nullptr);
    ASSERT_EQ(RTStreamSetBufferMode(pStream, RTSTREAMBUF_MODE_LINE), RT_OK);
    RTStreamPrintf(pStream, "one ");
    RTStreamPrintf(pStream, "%d", 2);
    EXPECT_EQ(ReadWholeFile(strPath), "");
    RTStreamPrintf(pStream, " three\nfour");
    EXPECT_EQ(ReadWholeFile(strPath), "one 2 three\r\n");
    RTStreamPrintf(pStream, "\n");
    EXPECT_EQ(ReadWholeFile(strPath), "one 2 three\r\nfour\r\n");
}

// More than a buffer's worth: the buffer is written out as it fills, nothing
// is lost or doubled, and no CR/LF pair is torn at the buffer's end.
TEST_F(StreamTest, OutputLargerThanTheBuffer)
{
    std::string const strPath = m_Dir.Path("big.txt");
    RtStream *pStream = Open(strPath, "w");
    ASSERT_NE(pStream, nullptr);
    RTStreamPrintf(pStream, "-");   // allocates the buffer
    uint32_t const cbBuf = pStream->cbBuf;
    ASSERT_EQ(cbBuf, 64u * 1024u);

    std::string strIn(cbBuf - 2, 'x');   // the line feed lands on the last free byte
    strIn += "\n";
    std::string strTail;
    for (int i = 0; i < 5000; i++)
        strTail += "line " + std::to_string(i) + "\n";
    RTStreamPrintf(pStream, "%s%s", strIn.c_str(), strTail.c_str());
    ASSERT_EQ(rtStreamFlush(pStream), RT_OK);

    std::string strExpected = "-" + std::string(cbBuf - 2, 'x') + "\r\n";
    for (int i = 0; i < 5000; i++)
        strExpected += "line " + std::to_string(i) + "\r\n";
    std::string const strGot = ReadWholeFile(strPath);
    EXPECT_EQ(strGot.size(), strExpected.size());
    EXPECT_TRUE(strGot == strExpected);
}

TEST_F(StreamTest, AFailedWriteIsSticky)
{
    std::string const strPath = m_Dir.Path("readonly.txt");
    WriteWholeFile(strPath, "keep");
    RtStream *pStream = Open(strPath, "r");   // a handle that cannot write
    ASSERT_NE(pStream, nullptr);
    ASSERT_EQ(RTStreamSetBufferMode(pStream, RTSTREAMBUF_MODE_NONE), RT_OK);

    EXPECT_EQ(RTStreamPrintf(pStream, "abc"), 3);   // the count is the formatter's
    EXPECT_LT(pStream->rcStatus, 0);
    int32_t const rcFirst = pStream->rcStatus;
    EXPECT_EQ(RTStreamPrintf(pStream, "more"), -1);
    EXPECT_EQ(RTStreamPrintf(pStream, "%s", "and more"), -1);
    EXPECT_EQ(pStream->rcStatus, rcFirst);
    EXPECT_EQ(ReadWholeFile(strPath), "keep");
}

TEST_F(StreamTest, AFailedFlushIsStickyToo)
{
    std::string const strPath = m_Dir.Path("readonly2.txt");
    WriteWholeFile(strPath, "keep");
    RtStream *pStream = Open(strPath, "r");
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(RTStreamPrintf(pStream, "abc"), 3);   // fully buffered: nothing written yet
    EXPECT_EQ(pStream->rcStatus, 0);
    EXPECT_LT(rtStreamFlush(pStream), 0);
    EXPECT_EQ(RTStreamPrintf(pStream, "x"), -1);
}

TEST_F(StreamTest, SetBufferModeChecksItsArguments)
{
    RtStream *pStream = Open(m_Dir.Path("mode.txt"), "w");
    ASSERT_NE(pStream, nullptr);
    struct Case {
        int enmMode;
        int32_t rc;
        uint32_t enmStored;
    };
    static const Case s_aCases[] = {
        {RTSTREAMBUF_MODE_FULL, RT_OK, RtStreamBuf_Full}, {RTSTREAMBUF_MODE_LINE, RT_OK, RtStreamBuf_Line},
        {RTSTREAMBUF_MODE_NONE, RT_OK, RtStreamBuf_None}, {0, RTE_INVALID_PARAMETER, RtStreamBuf_None},
        {4, RTE_INVALID_PARAMETER, RtStreamBuf_None},     {-1, RTE_INVALID_PARAMETER, RtStreamBuf_None},
    };
    for (const Case &c : s_aCases) {
        EXPECT_EQ(RTStreamSetBufferMode(pStream, c.enmMode), c.rc) << c.enmMode;
        EXPECT_EQ(pStream->enmBufStyle, c.enmStored) << c.enmMode;
    }

    RtStream Bogus = *pStream;
    Bogus.u32Magic = RTSTREAM_MAGIC_DEAD;
    EXPECT_EQ(RTStreamSetBufferMode(&Bogus, RTSTREAMBUF_MODE_FULL), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTStreamSetBufferMode(nullptr, RTSTREAMBUF_MODE_FULL), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTStreamPrintf(&Bogus, "x"), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTStreamPrintf(nullptr, "x"), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTStreamPrintf(reinterpret_cast<RtStream *>(0x10), "x"), RTE_INVALID_PARAMETER);
}

// A record set up like the static standard-error record, so that the test
// decides what the standard handle is without spoiling the real one.
RtStream MakeStdRecord(int iStd)
{
    return RtStream{RTSTREAM_MAGIC, 0,       iStd,    RTSTREAM_NIL_HANDLE, nullptr, 0,       0,       0,
                    RtStreamDir_Idle, RtStreamBuf_None, nullptr, true,    false,   nullptr, nullptr, nullptr};
}

class StdHandleSwap {
public:
    StdHandleSwap(DWORD idStd, HANDLE hNew) : m_idStd(idStd), m_hOld(GetStdHandle(idStd)) { SetStdHandle(idStd, hNew); }
    ~StdHandleSwap() { SetStdHandle(m_idStd, m_hOld); }

private:
    DWORD m_idStd;
    HANDLE m_hOld;
};

TEST_F(StreamTest, StandardHandleIsResolvedAtTheFirstFlush)
{
    std::wstring const wstrPath = m_Dir.WPath("stderr.txt");
    HANDLE hFile = CreateFileW(wstrPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    RtStream Std = MakeStdRecord(2);
    {
        StdHandleSwap Swap(STD_ERROR_HANDLE, hFile);
        EXPECT_GT(RTStreamPrintf(&Std, "first\n"), 0);
    }
    // Unbuffered until the handle showed it is no console: from then on full.
    EXPECT_EQ(Std.uHandle, reinterpret_cast<uintptr_t>(hFile));
    EXPECT_EQ(Std.enmBufStyle, RtStreamBuf_Full);
    EXPECT_EQ(ReadWholeFile(m_Dir.Path("stderr.txt")), "first\r\n");
    RTStreamPrintf(&Std, "second\n");
    EXPECT_EQ(ReadWholeFile(m_Dir.Path("stderr.txt")), "first\r\n");
    rtStreamFlushAndRelease(&Std);
    EXPECT_EQ(ReadWholeFile(m_Dir.Path("stderr.txt")), "first\r\nsecond\r\n");
    EXPECT_EQ(Std.uHandle, RTSTREAM_NIL_HANDLE);   // forgotten, not closed
    EXPECT_EQ(Std.pchBuf, nullptr);
    DWORD cb;
    EXPECT_TRUE(WriteFile(hFile, "!", 1, &cb, nullptr));
    CloseHandle(hFile);
}

TEST_F(StreamTest, MissingStandardHandleFailsTheStream)
{
    RtStream Std = MakeStdRecord(2);
    {
        StdHandleSwap Swap(STD_ERROR_HANDLE, nullptr);
        EXPECT_EQ(RTStreamPrintf(&Std, "lost\n"), 5);
    }
    EXPECT_EQ(Std.rcStatus, RTE_INVALID_HANDLE);
    EXPECT_EQ(RTStreamPrintf(&Std, "x"), -1);
    rtStreamFlushAndRelease(&Std);
}

// The standard streams convert UTF-8 to the ANSI code page; the expected
// bytes come from the system's own conversion.
TEST_F(StreamTest, StandardStreamsConvertToTheAnsiCodePage)
{
    std::string const strPath = m_Dir.Path("acp.txt");
    HANDLE hFile = CreateFileW(m_Dir.WPath("acp.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    RtStream Std = MakeStdRecord(1);
    Std.uHandle = reinterpret_cast<uintptr_t>(hFile);

    char szAcp[16] = {};
    WideCharToMultiByte(CP_ACP, 0, L"caf\u00e9\r\n", -1, szAcp, sizeof(szAcp), nullptr, nullptr);
    RTStreamPrintf(&Std, "caf\xc3\xa9\n");
    // Not UTF-8: that piece is lost but the stream goes on.
    EXPECT_EQ(RTStreamPrintf(&Std, "%s", "bad\xff"), 4);
    EXPECT_EQ(Std.rcStatus, 0);
    EXPECT_EQ(RTStreamPrintf(&Std, "ok"), 2);
    rtStreamFlushAndRelease(&Std);
    CloseHandle(hFile);
    EXPECT_EQ(ReadWholeFile(strPath), std::string(szAcp) + "ok");
}

TEST_F(StreamTest, TerminationFlushesAndClosesNamedStreams)
{
    std::string const strPath = m_Dir.Path("term.txt");
    RtStream *pStream = Open(strPath, "w");
    ASSERT_NE(pStream, nullptr);
    RTStreamPrintf(pStream, "pending\n");
    EXPECT_EQ(ReadWholeFile(strPath), "");
    rtStreamTerm();
    EXPECT_EQ(ReadWholeFile(strPath), "pending\r\n");
    // Closed: nobody holds the file any more, so it can be opened exclusively.
    HANDLE hExcl = CreateFileW(m_Dir.WPath("term.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(hExcl, INVALID_HANDLE_VALUE);
    CloseHandle(hExcl);
}

// The real standard output, pointed at a file before its first use.
TEST_F(StreamTest, StdOutPrintfGoesWhereTheGlobalPoints)
{
    std::string const strPath = m_Dir.Path("redirected.txt");
    RtStream *pStream = Open(strPath, "w");
    ASSERT_NE(pStream, nullptr);
    RtStream *pSaved = g_pStreamStdOut;
    g_pStreamStdOut = pStream;
    EXPECT_EQ(RTStdOutPrintf("to %s\n", "file"), 8);
    g_pStreamStdOut = pSaved;
    ASSERT_EQ(rtStreamFlush(pStream), RT_OK);
    EXPECT_EQ(ReadWholeFile(strPath), "to file\r\n");
}

} // namespace
