// Message lines under Wine: the per-line prefix, empty lines, the two
// destinations, and the initialisation-failure report with and without a
// program name. The standard streams are pointed at files and read back.
#include <gtest/gtest.h>

#include <quab/init.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "stream-fixture.h"

namespace {

constexpr char g_szFakeExecPath[] = "C:\\Program Files\\Morv\\setup-x.exe";

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The message functions remember the program name at their first use,
        // so every test of this program sees the same recorded path.
        ASSERT_EQ(RTStrCopyBounded(g_szExecPath, sizeof(g_szExecPath), g_szFakeExecPath), RT_OK);
        rtR3InitParseExecPath();
        ASSERT_EQ(RTStreamOpenByName(m_strErr.c_str(), "w", &m_pErr), RT_OK);
        ASSERT_EQ(RTStreamOpenByName(m_strOut.c_str(), "w", &m_pOut), RT_OK);
        m_pSavedErr = g_pStreamStdErr;
        m_pSavedOut = g_pStreamStdOut;
        g_pStreamStdErr = m_pErr;
        g_pStreamStdOut = m_pOut;
    }
    void TearDown() override
    {
        g_pStreamStdErr = m_pSavedErr;
        g_pStreamStdOut = m_pSavedOut;
        rtStreamTerm();
    }
    std::string Err()
    {
        EXPECT_EQ(rtStreamFlush(m_pErr), RT_OK);
        return ReadWholeFile(m_strErr);
    }
    std::string Out()
    {
        EXPECT_EQ(rtStreamFlush(m_pOut), RT_OK);
        return ReadWholeFile(m_strOut);
    }

    ScratchDir m_Dir;
    std::string m_strErr = m_Dir.Path("err.txt");
    std::string m_strOut = m_Dir.Path("out.txt");
    RtStream *m_pErr = nullptr;
    RtStream *m_pOut = nullptr;
    RtStream *m_pSavedErr = nullptr;
    RtStream *m_pSavedOut = nullptr;
};

TEST_F(MessageTest, ErrorLinesAreSplitAndPrefixed)
{
    struct Case {
        const char *pszText;
        const char *pszExpected;
    };
    static const Case s_aCases[] = {
        {"x\n\ny", "setup-x.exe: error: x\r\n\r\nsetup-x.exe: error: y\r\n"},
        {"one line", "setup-x.exe: error: one line\r\n"},
        {"ends with lf\n", "setup-x.exe: error: ends with lf\r\n"},
        {"a\nb\n", "setup-x.exe: error: a\r\nsetup-x.exe: error: b\r\n"},
        {"\nlead", "\r\nsetup-x.exe: error: lead\r\n"},
        {"trail\n\n", "setup-x.exe: error: trail\r\n\r\n"},
    };
    std::string strExpected;
    for (const Case &c : s_aCases) {
        // The text comes through %s: the split is on the formatted text.
        EXPECT_EQ(RTMessageError("%s", c.pszText), 0);
        strExpected += c.pszExpected;
        EXPECT_EQ(Err(), strExpected) << c.pszText;
    }
    EXPECT_EQ(Out(), "");
}

TEST_F(MessageTest, EmptyFormatsWriteOneLineFeed)
{
    EXPECT_EQ(RTMessageError("\n"), 0);
    EXPECT_EQ(Err(), "\r\n");
    EXPECT_EQ(RTMessageError(""), 0);
    EXPECT_EQ(Err(), "\r\n\r\n");
    // "\n" produced by an argument is a piece of text like any other.
    EXPECT_EQ(RTMessageError("%s", "\n"), 0);
    EXPECT_EQ(Err(), "\r\n\r\n\r\n");
}

TEST_F(MessageTest, FormatsItsArguments)
{
    EXPECT_EQ(RTMessageError("Failed %d times: %s\nrc=%Rrc", 3, "copy", RTE_NO_MEMORY), 0);
    EXPECT_EQ(Err(), "setup-x.exe: error: Failed 3 times: copy\r\nsetup-x.exe: error: rc=RTE_NO_MEMORY\r\n");
}

TEST_F(MessageTest, InfoGoesToStandardOutput)
{
    EXPECT_EQ(RTMessageInfo("Reboot required (by %s)\n", "a.msi"), 0);
    EXPECT_EQ(Out(), "setup-x.exe: info: Reboot required (by a.msi)\r\n");
    EXPECT_EQ(Err(), "");
}

TEST_F(MessageTest, MessagesIgnoreAFailedStream)
{
    RtStream *pBroken = nullptr;
    std::string const strPath = m_Dir.Path("ro.txt");
    WriteWholeFile(strPath, "keep");
    ASSERT_EQ(RTStreamOpenByName(strPath.c_str(), "r", &pBroken), RT_OK);
    ASSERT_EQ(RTStreamSetBufferMode(pBroken, RTSTREAMBUF_MODE_NONE), RT_OK);
    g_pStreamStdErr = pBroken;
    EXPECT_EQ(RTMessageError("first"), 0);
    EXPECT_LT(pBroken->rcStatus, 0);
    EXPECT_EQ(RTMessageError("second"), 0);
    EXPECT_EQ(ReadWholeFile(strPath), "keep");
}

TEST_F(MessageTest, InitFailureWithProgramName)
{
    EXPECT_EQ(RTMessageInitFailure(RTE_NO_MEMORY), 3);
    EXPECT_EQ(Err(), "setup-x.exe: fatal error: RTR3Init: RTE_NO_MEMORY\r\n");
    EXPECT_EQ(Out(), "");
}

TEST_F(MessageTest, InitFailureWithoutProgramName)
{
    struct Case {
        const char *pszPath;   // what initialisation recorded
    };
    static const Case s_aCases[] = {{""}, {"C:\\dir\\"}};
    std::string strExpected;
    for (const Case &c : s_aCases) {
        ASSERT_EQ(RTStrCopyBounded(g_szExecPath, sizeof(g_szExecPath), c.pszPath), RT_OK);
        rtR3InitParseExecPath();
        EXPECT_EQ(RTMessageInitFailure(RTE_INVALID_PARAMETER), 3);
        strExpected += "fatal error: RTR3Init: RTE_INVALID_PARAMETER\r\n";
        EXPECT_EQ(Err(), strExpected) << '"' << c.pszPath << '"';
    }
}

} // namespace
