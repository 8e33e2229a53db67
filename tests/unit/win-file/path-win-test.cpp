// Windows paths: the Win32 and NT forms, long and non-ASCII paths end to
// end, the environment, the temporary, current and program directories.
#include "fs-test-util.h"

#include <quab/dir.h>
#include <quab/file.h>
#include <quab/init.h>
#include <quab/path.h>

namespace {

std::u16string ntForm(const char *pszPath, int32_t *prc)
{
    NTUTF16STRING Nt = {1, 1, nullptr};
    *prc = PathToNtUtf16(pszPath, &Nt);
    if (RT_FAILURE_NP(*prc)) {
        EXPECT_EQ(Nt.Buffer, nullptr);
        return u"<fail>";
    }
    std::u16string s(Nt.Buffer, Nt.Length / 2);
    EXPECT_EQ(Nt.MaximumLength, Nt.Length + 2);
    EXPECT_EQ(Nt.Buffer[Nt.Length / 2], 0);
    RTPathFreeNt(&Nt);
    return s;
}

std::string win32Form(const std::string &sPath, int32_t *prc)
{
    RTUTF16 *pwsz = nullptr;
    *prc = PathToWin32Utf16(sPath.c_str(), &pwsz);
    if (RT_FAILURE_NP(*prc))
        return "<fail>";
    std::string s = fsUtf8(reinterpret_cast<wchar_t *>(pwsz));
    RTStrDispose(pwsz);
    return s;
}

std::string cwd()
{
    wchar_t wsz[4100];
    GetCurrentDirectoryW(4100, wsz);
    return fsUtf8(wsz);
}

class PathWinTest : public FsScratchTest {
protected:
    void SetUp() override
    {
        FsScratchTest::SetUp();
        m_sOldCwd = cwd();
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(fsWide(m_sOldCwd).c_str());
        FsScratchTest::TearDown();
    }
    std::string m_sOldCwd;
};

// Environment variables set for one test and restored afterwards.
class EnvGuard {
public:
    explicit EnvGuard(std::initializer_list<const wchar_t *> names)
    {
        for (const wchar_t *pwsz : names) {
            wchar_t wsz[4096];
            DWORD const cwc = GetEnvironmentVariableW(pwsz, wsz, 4096);
            m_aSaved.push_back({pwsz, cwc ? std::wstring(wsz) : std::wstring(), cwc != 0 || GetLastError() == 0});
        }
    }
    ~EnvGuard()
    {
        for (auto const &s : m_aSaved)
            SetEnvironmentVariableW(s.wsName.c_str(), s.fSet ? s.wsValue.c_str() : nullptr);
    }

private:
    struct Saved {
        std::wstring wsName, wsValue;
        bool fSet;
    };
    std::vector<Saved> m_aSaved;
};

} // namespace

TEST(PathForms, NtFormTable)
{
    struct Case {
        const char *pszPath;
        const char16_t *pwszNt;
    } const aCases[] = {
        {"\\\\srv\\sh\\f", u"\\??\\UNC\\srv\\sh\\f"},
        {"//srv/sh/a/../f", u"\\??\\UNC\\srv\\sh\\f"},
        {"C:\\dir", u"\\??\\C:\\dir"},
        {"c:/dir/./x/", u"\\??\\C:\\dir\\x\\"},
        {"\\\\?\\C:\\x\\..\\y", u"\\??\\C:\\x\\..\\y"},     // the long form is taken as it is
        {"//?/C:/x", u"\\??\\C:/x"},
        {"\\\\.\\pipe\\p", u"\\??\\pipe\\p"},
        {"C:\\\xc3\xa4\xe6\x97\xa5", u"\\??\\C:\\\u00e4\u65e5"},
    };
    for (auto const &c : aCases) {
        int32_t rc;
        EXPECT_EQ(ntForm(c.pszPath, &rc), c.pwszNt) << c.pszPath;
        EXPECT_EQ(rc, RT_OK) << c.pszPath;
    }
    int32_t rc;
    ntForm("C:\\bad\xff", &rc);
    EXPECT_EQ(rc, RTE_INVALID_UTF8);
    ntForm("", &rc);
    EXPECT_EQ(rc, RTE_PATH_EMPTY);
    std::string sHuge = "C:";
    while (sHuge.size() < 40000)
        sHuge += "\\abcdefghij";
    ntForm(sHuge.c_str(), &rc);
    EXPECT_EQ(rc, RTE_FILENAME_TOO_LONG);
    // Long but within the limit: built in heap buffers past the first 4100 bytes.
    std::string sLong = "C:";
    while (sLong.size() < 20000)
        sLong += "\\abcdefghij";
    EXPECT_EQ(ntForm(sLong.c_str(), &rc).size(), sLong.size() + 4);
    EXPECT_EQ(rc, RT_OK);
}

TEST(PathForms, Win32FormKeepsShortPathsAndLengthensLongOnes)
{
    int32_t rc;
    EXPECT_EQ(win32Form("C:/a/b", &rc), "C:/a/b");
    EXPECT_EQ(win32Form("\\\\srv\\share\\x", &rc), "\\\\srv\\share\\x");
    EXPECT_EQ(win32Form("rel\\x", &rc), "rel\\x");
    EXPECT_EQ(win32Form("\\\\?\\C:\\x", &rc), "\\\\?\\C:\\x");

    std::string sLong = "C:/";
    while (sLong.size() < 300)
        sLong += "abcdefghi/";
    std::string sExpected = "\\\\?\\" + sLong;
    for (char &ch : sExpected)
        if (ch == '/')
            ch = '\\';
    EXPECT_EQ(win32Form(sLong, &rc), sExpected);
    EXPECT_EQ(rc, RT_OK);

    // Around the limit of a drive path: 243 characters stay as they are.
    std::string s243 = "C:\\" + std::string(240, 'a');
    EXPECT_EQ(win32Form(s243, &rc), s243);
    EXPECT_EQ(win32Form(s243 + "b", &rc), "\\\\?\\" + s243 + "b");
    std::string sUnc240 = "\\\\s\\h\\" + std::string(234, 'u');
    EXPECT_EQ(win32Form(sUnc240, &rc), sUnc240);
    EXPECT_EQ(win32Form(sUnc240 + "v", &rc), "\\\\?\\UNC\\s\\h\\" + std::string(234, 'u') + "v");
}

TEST_F(PathWinTest, LongPathEndToEnd)
{
    // A 300-character path: a directory with a 200-character name and a file in it.
    std::string const sDir = path(std::string(200, 'd'));
    std::string sFile = sDir + "\\";
    sFile += std::string(300 - sFile.size() - 4, 'f') + ".bin";
    ASSERT_GE(sFile.size(), 300u);
    ASSERT_EQ(RTDirMake(sDir.c_str(), 0700, 0), RT_OK);
    FileHandle h;
    FileOpenAction enmAction;
    ASSERT_EQ(RTFileOpenPath(&h, sFile.c_str(), 0x1C000322, &enmAction), RT_OK);
    EXPECT_EQ(enmAction, FileOpenAction_Created);
    EXPECT_EQ(RTFileWrite(h, "long path data", 14, nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h), RT_OK);

    ASSERT_EQ(RTFileOpenPath(&h, sFile.c_str(), 0x721, nullptr), RT_OK);
    char ab[14];
    EXPECT_EQ(RTFileRead(h, ab, sizeof(ab), nullptr), RT_OK);
    EXPECT_EQ(std::string(ab, 14), "long path data");
    FsObjectInfo Info;
    EXPECT_EQ(RTFileQueryInfo(h, &Info, InfoDetail_Unix), RT_OK);
    EXPECT_EQ(Info.cbObject, 14);
    EXPECT_EQ(RTFileClose(h), RT_OK);
    EXPECT_EQ(RTPathGetObjInfo(sFile.c_str(), &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.cbObject, 14);
    EXPECT_TRUE(exists(sFile));

    EXPECT_EQ(RTFileUnlink(sFile.c_str()), RT_OK);
    EXPECT_FALSE(exists(sFile));
    EXPECT_EQ(RTDirDelete(sDir.c_str()), RT_OK);
    EXPECT_FALSE(exists(sDir));
}

TEST_F(PathWinTest, NonAsciiNamesEndToEnd)
{
    std::string const sName = "\xc3\x9cn\xc3\xaf" "c\xc3\xb8" "d\xc3\xa9-\xe6\x97\xa5\xe6\x9c\xac-\xf0\x9f\x93\xa6.msi";
    std::string const sDir = path("\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0");
    ASSERT_EQ(RTDirMake(sDir.c_str(), 0700, 0), RT_OK);
    EXPECT_TRUE(RTDirExists(sDir.c_str()));
    std::string const sFile = sDir + "\\" + sName;
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, sFile.c_str(), 0x1C000322, nullptr), RT_OK);
    EXPECT_EQ(RTFileWrite(h, "payload", 7, nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h), RT_OK);

    // The name on disk is the UTF-16 form of the UTF-8 name.
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW((fsWide(sDir) + L"\\*.msi").c_str(), &Data);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::wstring(Data.cFileName), fsWide(sName));
    FindClose(hFind);
    EXPECT_EQ(readFile(sFile), "payload");

    EXPECT_EQ(RTFileUnlink(sFile.c_str()), RT_OK);
    EXPECT_EQ(RTDirDelete(sDir.c_str()), RT_OK);
    EXPECT_FALSE(RTDirExists(sDir.c_str()));
}

TEST_F(PathWinTest, EnvGetValue)
{
    EnvGuard Guard({L"QUAB_T_VAR", L"QUAB_T_EMPTY", L"QUAB_T_LONG"});
    SetEnvironmentVariableW(L"QUAB_T_VAR", L"v\u00e4lue");
    SetEnvironmentVariableW(L"QUAB_T_EMPTY", L"");
    std::wstring wsLong(3000, L'L');
    SetEnvironmentVariableW(L"QUAB_T_LONG", wsLong.c_str());
    SetEnvironmentVariableW(L"QUAB_T_MISSING", nullptr);

    char szBuf[4000];
    EXPECT_EQ(RTEnvGetValue("QUAB_T_VAR", szBuf, sizeof(szBuf)), RT_OK);
    EXPECT_STREQ(szBuf, "v\xc3\xa4lue");
    strcpy(szBuf, "junk");
    EXPECT_EQ(RTEnvGetValue("QUAB_T_EMPTY", szBuf, sizeof(szBuf)), RT_OK);
    EXPECT_STREQ(szBuf, "");
    EXPECT_EQ(RTEnvGetValue("QUAB_T_LONG", szBuf, sizeof(szBuf)), RT_OK);   // past the first 512 units
    EXPECT_EQ(std::string(szBuf), std::string(3000, 'L'));
    EXPECT_EQ(RTEnvGetValue("QUAB_T_MISSING", szBuf, sizeof(szBuf)), RTE_ENV_VAR_NOT_FOUND);
    EXPECT_EQ(RTEnvGetValue("A=B", szBuf, sizeof(szBuf)), RTE_ENV_INVALID_VAR_NAME);
    EXPECT_EQ(RTEnvGetValue("QUAB_T_VAR", szBuf, 6), RTE_BUFFER_OVERFLOW);   // "välue" needs 7 bytes
    EXPECT_EQ(RTEnvGetValue("QUAB_T_VAR", szBuf, 7), RT_OK);
    EXPECT_EQ(RTEnvGetValue("QUAB_T_VAR", szBuf, 0), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTEnvGetValue("QUAB_T_VAR", nullptr, 10), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTEnvGetValue(nullptr, szBuf, 10), RTE_INVALID_POINTER);
}

TEST_F(PathWinTest, TempDirOrder)
{
    EnvGuard Guard({L"QUAB_TMPDIR", L"TMP", L"TEMP", L"USERPROFILE"});
    struct Case {
        const wchar_t *pwszQuab, *pwszTmp, *pwszTemp, *pwszProfile;
        const char *pszResult;
    } const aCases[] = {
        {L"C:\\Q", L"C:\\T", L"C:\\E", L"C:\\P", "C:\\Q"},
        {nullptr, L"C:\\T", L"C:\\E", L"C:\\P", "C:\\T"},
        {nullptr, L"", L"C:\\E", L"C:\\P", ""},            // empty is a value: TEMP is not consulted
        {nullptr, nullptr, L"C:\\E", L"C:\\P", "C:\\E"},
        {nullptr, nullptr, nullptr, L"C:\\P", "C:\\P"},
        {nullptr, nullptr, nullptr, nullptr, "/tmp"},
        {L"rel/x", nullptr, nullptr, nullptr, "rel/x"},    // taken literally
    };
    for (auto const &c : aCases) {
        SetEnvironmentVariableW(L"QUAB_TMPDIR", c.pwszQuab);
        SetEnvironmentVariableW(L"TMP", c.pwszTmp);
        SetEnvironmentVariableW(L"TEMP", c.pwszTemp);
        SetEnvironmentVariableW(L"USERPROFILE", c.pwszProfile);
        char szBuf[64];
        EXPECT_EQ(RTPathTempDir(szBuf, sizeof(szBuf)), RT_OK) << c.pszResult;
        EXPECT_STREQ(szBuf, c.pszResult);
    }
    SetEnvironmentVariableW(L"QUAB_TMPDIR", nullptr);
    char szBuf[5];
    EXPECT_EQ(RTPathTempDir(szBuf, 4), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathTempDir(szBuf, 5), RT_OK);
    SetEnvironmentVariableW(L"TMP", L"C:\\toolong");
    EXPECT_EQ(RTPathTempDir(szBuf, 5), RTE_BUFFER_OVERFLOW);   // an overflow does not move on
}

TEST_F(PathWinTest, DriveRelativeWin32FormIsTheFullPath)
{
    ASSERT_EQ(RTPathChdir(m_sDir.c_str()), RT_OK);
    std::string const sDrive = m_sDir.substr(0, 2);
    int32_t rc;
    EXPECT_EQ(win32Form(sDrive + "x.bin", &rc), path("x.bin"));
    EXPECT_EQ(rc, RT_OK);
    // Created through the drive-relative form, found at the full path.
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, (sDrive + "rel.bin").c_str(), 0x322, nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h), RT_OK);
    EXPECT_TRUE(exists(path("rel.bin")));
}

TEST_F(PathWinTest, ChdirAndAbsoluteFromTheRealCurrentDirectory)
{
    CreateDirectoryW(fsWide(path("sub")).c_str(), nullptr);
    EXPECT_EQ(RTPathChdir((path("sub") + "\\").c_str()), RT_OK);
    EXPECT_EQ(cwd(), path("sub"));
    char szAbs[4100];
    EXPECT_EQ(RTPathMakeAbs("x\\..\\y", szAbs, sizeof(szAbs)), RT_OK);
    EXPECT_EQ(std::string(szAbs), path("sub") + "\\y");
    char szDrive[8];
    EXPECT_EQ(RTPathGetCurrentDrive(szDrive, sizeof(szDrive)), RT_OK);
    EXPECT_EQ(std::string(szDrive), path("").substr(0, 2));

    EXPECT_EQ(RTPathChdir("C:\\"), RT_OK);
    EXPECT_EQ(cwd(), "C:\\");
    EXPECT_EQ(RTPathChdir(""), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTPathChdir(nullptr), RTE_INVALID_POINTER);
    int32_t const rc = RTPathChdir(path("missing").c_str());
    EXPECT_TRUE(rc == RTE_FILE_NOT_FOUND || rc == RTE_PATH_NOT_FOUND) << rc;
    EXPECT_EQ(cwd(), "C:\\");
}

TEST(PathProgramDir, FromTheExecutablePathRecord)
{
    char szSaved[RTPATH_EXEC_MAX];
    memcpy(szSaved, g_szExecPath, sizeof(szSaved));
    size_t const cchPath = g_cchExecPath, offName = g_offExecName, cchDir = g_cchExecDir;

    strcpy(g_szExecPath, "C:\\inst\\setup.exe");
    g_cchExecPath = 17;
    g_offExecName = 8;
    g_cchExecDir = 7;
    char szBuf[16];
    EXPECT_EQ(RTPathProgramDir(szBuf, sizeof(szBuf)), RT_OK);
    EXPECT_STREQ(szBuf, "C:\\inst");
    EXPECT_EQ(RTPathProgramDir(szBuf, 7), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathProgramDir(szBuf, 8), RT_OK);

    strcpy(g_szExecPath, "C:\\setup.exe");
    g_cchExecPath = 12;
    g_offExecName = 3;
    g_cchExecDir = 3;
    EXPECT_EQ(RTPathProgramDir(szBuf, sizeof(szBuf)), RT_OK);
    EXPECT_STREQ(szBuf, "C:\\");   // a drive root keeps its separator

    g_szExecPath[0] = '\0';
    g_cchExecPath = 0;
    EXPECT_EQ(RTPathProgramDir(szBuf, sizeof(szBuf)), RTE_WRONG_SEQUENCE);

    memcpy(g_szExecPath, szSaved, sizeof(szSaved));
    g_cchExecPath = cchPath;
    g_offExecName = offName;
    g_cchExecDir = cchDir;
}
