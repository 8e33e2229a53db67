// Portable path operations: components, joins, absolute paths against a
// replaced current directory, the current drive and extensions.
#include <gtest/gtest.h>

#include <string>

#include <quab/path.h>
#include <quab/string.h>

namespace {

// A current directory the tests choose; per-drive directories for the
// drive-relative form.
struct FakeCwd {
    const char *pszCwd = "D:\\w";
    const char *pszDriveE = "E:\\e";
    int32_t rcFail = RT_OK;
    int cCalls = 0;
};
FakeCwd g_Cwd;

int32_t fakeQueryCurrentDir(char chDrive, char *pszPath, size_t cbPath)
{
    g_Cwd.cCalls++;
    if (g_Cwd.rcFail != RT_OK)
        return g_Cwd.rcFail;
    std::string s = chDrive == 0 ? g_Cwd.pszCwd : chDrive == 'E' ? g_Cwd.pszDriveE : std::string(1, chDrive) + ":\\";
    if (s.size() >= cbPath)
        return RTE_BUFFER_OVERFLOW;
    memcpy(pszPath, s.c_str(), s.size() + 1);
    return RT_OK;
}

class PathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pfnSaved = g_pfnPathQueryCurrentDir;
        g_Cwd = FakeCwd();
        g_pfnPathQueryCurrentDir = fakeQueryCurrentDir;
    }
    void TearDown() override { g_pfnPathQueryCurrentDir = m_pfnSaved; }
    PathQueryCurrentDirFn m_pfnSaved = nullptr;
};

std::string absEx(const char *pszBase, const char *pszPath, uint32_t fFlags, int32_t *prc)
{
    char szBuf[256];
    size_t cb = sizeof(szBuf);
    *prc = RTPathAbsEx(pszBase, pszPath, fFlags, szBuf, &cb);
    return RT_SUCCESS_NP(*prc) ? std::string(szBuf) : std::string("<fail>");
}

} // namespace

TEST_F(PathTest, AddComponentTable)
{
    struct Case {
        const char *pszPath, *pszComp, *pszResult;
    } const aCases[] = {
        {"a", "b", "a\\b"},
        {"a\\", "b", "a\\b"},
        {"a\\\\\\", "\\b", "a\\b"},
        {"a", "\\\\b", "a\\b"},
        {"C:", "b", "C:b"},
        {"C:\\", "b", "C:\\b"},
        {"\\", "b", "\\b"},
        {"", "b", "b"},
        {"", "\\\\b", "\\\\b"},           // an empty path takes the component unchanged
        {"a/", "//b", "a/b"},             // the path's own separator is kept
        {"a", "/b", "a/b"},
        {"C:\\\\\\", "b", "C:\\b"},
        {"\\\\srv\\sh\\\\\\", "b", "\\\\srv\\sh\\b"},
        {"a", "", "a"},
        {"a\\", "\\", "a\\"},             // nothing left of the component after its separators
        {"c:x", "y", "c:x\\y"},
        {"ab:", "y", "ab:\\y"},           // not a drive letter: a normal path
    };
    for (auto const &c : aCases) {
        char szBuf[64];
        strcpy(szBuf, c.pszPath);
        EXPECT_EQ(RTPathAddComponent(szBuf, sizeof(szBuf), c.pszComp), RT_OK) << c.pszPath << " + " << c.pszComp;
        EXPECT_STREQ(szBuf, c.pszResult) << c.pszPath << " + " << c.pszComp;
    }
    char szBuf[8] = "a";
    EXPECT_EQ(RTPathAddComponent(szBuf, sizeof(szBuf), nullptr), RT_OK);
    EXPECT_STREQ(szBuf, "a");
}

TEST_F(PathTest, AddComponentBufferLimits)
{
    // "abc\de" needs 7 bytes with its terminator.
    char szBuf[8];
    strcpy(szBuf, "abc");
    EXPECT_EQ(RTPathAddComponent(szBuf, 6, "de"), RTE_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "abc");
    EXPECT_EQ(RTPathAddComponent(szBuf, 7, "de"), RT_OK);
    EXPECT_STREQ(szBuf, "abc\\de");

    // No terminator within the stated size.
    memcpy(szBuf, "abcdefgh", 8);
    EXPECT_EQ(RTPathAddComponent(szBuf, 8, "x"), RTE_INVALID_PARAMETER);
}

TEST_F(PathTest, JoinBufAndJoinA)
{
    char szBuf[16];
    memset(szBuf, 'Q', sizeof(szBuf));
    szBuf[15] = '\0';
    // Size equal to the joined length: no room for the terminator.
    EXPECT_EQ(RTPathJoinBuf(szBuf, 8, "dir", "file"), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(std::string(szBuf, 8), "QQQQQQQQ");
    EXPECT_EQ(RTPathJoinBuf(szBuf, 3, "dir", "f"), RTE_BUFFER_OVERFLOW);   // the first path alone is too long
    EXPECT_EQ(RTPathJoinBuf(szBuf, 9, "dir", "file"), RT_OK);
    EXPECT_STREQ(szBuf, "dir\\file");
    EXPECT_EQ(RTPathJoinBuf(szBuf, sizeof(szBuf), "C:\\x\\", "\\pkg.msi"), RT_OK);
    EXPECT_STREQ(szBuf, "C:\\x\\pkg.msi");

    char *psz = RTPathJoinA("C:\\tmp\\abc", ".custom");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\tmp\\abc\\.custom");
    RTStrDispose(psz);
    psz = RTPathJoinA("C:", "x");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:x");
    RTStrDispose(psz);
}

TEST_F(PathTest, AbsExTable)
{
    struct Case {
        const char *pszBase, *pszPath;
        uint32_t fFlags;
        const char *pszResult;
    } const aCases[] = {
        {nullptr, "C:/x/./y/../z", 0, "C:\\x\\z"},
        {nullptr, "\\x", 0, "D:\\x"},
        {nullptr, "y", 0, "D:\\w\\y"},
        {nullptr, "c:\\a\\.\\b", 0, "C:\\a\\b"},          // no "..": drive upper-cased
        {nullptr, "c:\\a\\..\\b", 0, "c:\\b"},            // "..": the drive keeps its case
        {nullptr, "C:\\\\a//b\\", 0, "C:\\a\\b\\"},
        {nullptr, "C:\\..\\..\\a", 0, "C:\\a"},           // never above the root
        {nullptr, "C:\\a\\..", 0, "C:\\"},
        {nullptr, "C:\\a\\..\\", 0, "C:\\"},              // no component: no extra separator
        {nullptr, "C:\\", 0, "C:\\"},
        {nullptr, "C:/", RTPATHABS_F_ENSURE_TRAILING_SLASH, "C:\\"},
        {nullptr, "C:\\a", RTPATHABS_F_ENSURE_TRAILING_SLASH, "C:\\a\\"},
        {nullptr, "..\\..\\..", 0, "D:\\"},
        {nullptr, "y\\", 0, "D:\\w\\y\\"},
        {nullptr, ".", 0, "D:\\w"},
        {nullptr, "E:f", 0, "E:\\e\\f"},                  // that drive's own current directory
        {nullptr, "e:..\\f", 0, "E:\\f"},
        {nullptr, "//srv/sh/a/../../b", 0, "\\\\srv\\sh\\b"},
        {nullptr, "\\\\srv\\sh", 0, "\\\\srv\\sh\\"},
        {nullptr, "\\\\?\\C:\\x", 0, "\\\\?\\C:\\x"},
        {nullptr, "\\\\.\\pipe\\p", 0, "\\\\.\\pipe\\p"},
        {"C:\\base", "x\\y", 0, "C:\\base\\x\\y"},
        {"c:/base/", "..\\x", 0, "C:\\x"},
        {"c:\\base", "C:x", 0, "C:\\base\\x"},            // same drive as the base
        {"C:\\base", "E:x", 0, "E:\\e\\x"},               // another drive: its own directory
        {"C:\\base", "F:\\x", 0, "F:\\x"},                // absolute paths ignore the base
        {"sub", "x", 0, "D:\\w\\sub\\x"},                 // a relative base is made absolute first
    };
    for (auto const &c : aCases) {
        int32_t rc;
        std::string s = absEx(c.pszBase, c.pszPath, c.fFlags, &rc);
        EXPECT_EQ(rc, RT_OK) << c.pszPath;
        EXPECT_EQ(s, c.pszResult) << (c.pszBase ? c.pszBase : "-") << " | " << c.pszPath;
    }
}

TEST_F(PathTest, AbsExFromUncCurrentDirectory)
{
    g_Cwd.pszCwd = "\\\\srv\\share\\dir";
    int32_t rc;
    EXPECT_EQ(absEx(nullptr, "\\x", 0, &rc), "\\\\srv\\share\\x");
    EXPECT_EQ(rc, RT_OK);
    EXPECT_EQ(absEx(nullptr, "..\\..\\y", 0, &rc), "\\\\srv\\share\\y");
    EXPECT_EQ(rc, RT_OK);
    g_Cwd.pszCwd = "d:\\lower";
    EXPECT_EQ(absEx(nullptr, "a", 0, &rc), "D:\\lower\\a");   // a drive from the current directory is upper-case
}

TEST_F(PathTest, AbsExErrors)
{
    char szBuf[32];
    size_t cb = sizeof(szBuf);
    EXPECT_EQ(RTPathAbsEx(nullptr, "", 0, szBuf, &cb), RTE_PATH_EMPTY);
    struct FlagCase {
        uint32_t fFlags;
        int32_t rc;
    } const aFlags[] = {
        {3, RTE_INVALID_FLAGS},
        {0x80, RTE_INVALID_FLAGS},
        {0x80000, RTE_INVALID_FLAGS},
        {RTPATH_STR_F_STYLE_DOS | RTPATHABS_F_STOP_AT_BASE | RTPATHABS_F_STOP_AT_CWD, RT_OK},
    };
    for (auto const &f : aFlags) {
        cb = sizeof(szBuf);
        EXPECT_EQ(RTPathAbsEx(nullptr, "C:\\a", f.fFlags, szBuf, &cb), f.rc) << std::hex << f.fFlags;
    }

    // "C:\x\z" needs 7 bytes; the needed size comes back on overflow.
    cb = 6;
    EXPECT_EQ(RTPathAbsEx(nullptr, "C:/x/./y/../z", 0, szBuf, &cb), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(cb, 7u);
    cb = 7;
    EXPECT_EQ(RTPathAbsEx(nullptr, "C:/x/./y/../z", 0, szBuf, &cb), RT_OK);
    EXPECT_STREQ(szBuf, "C:\\x\\z");
    EXPECT_EQ(RTPathMakeAbs("C:/x/./y/../z", szBuf, 6), RTE_BUFFER_OVERFLOW);

    // A failing current directory is passed up; absolute paths never ask.
    g_Cwd.rcFail = RTE_ACCESS_DENIED;
    cb = sizeof(szBuf);
    EXPECT_EQ(RTPathAbsEx(nullptr, "rel", 0, szBuf, &cb), RTE_ACCESS_DENIED);
    g_Cwd.cCalls = 0;
    EXPECT_EQ(RTPathMakeAbs("C:\\abs", szBuf, sizeof(szBuf)), RT_OK);
    EXPECT_EQ(g_Cwd.cCalls, 0);

    // A current directory that is not absolute cannot anchor anything.
    g_Cwd.rcFail = RT_OK;
    g_Cwd.pszCwd = "/tmp";
    cb = sizeof(szBuf);
    EXPECT_EQ(RTPathAbsEx(nullptr, "rel", 0, szBuf, &cb), RTE_INTERNAL_ERROR_D);
}

TEST_F(PathTest, AbsExDupGrowsPastItsFirstBuffer)
{
    std::string sPath = "C:";
    for (int i = 0; i < 600; i++)
        sPath += "\\comp" + std::to_string(i % 10);   // 3602 characters
    char *psz = RTPathAbsExDup(nullptr, sPath.c_str(), 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), sPath);
    RTStrDispose(psz);

    psz = RTPathAbsExDup(nullptr, "x\\", RTPATHABS_F_ENSURE_TRAILING_SLASH);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "D:\\w\\x\\");
    RTStrDispose(psz);
    EXPECT_EQ(RTPathAbsExDup(nullptr, "", 0), nullptr);
}

TEST_F(PathTest, CurrentDrive)
{
    struct Case {
        const char *pszCwd;
        int32_t rc;
        const char *pszDrive;
    } const aCases[] = {
        {"D:\\w", RT_OK, "D:"},
        {"c:\\", RT_OK, "c:"},
        {"\\\\srv\\share\\dir\\x", RT_OK, "\\\\srv\\share"},
        {"\\\\srv\\share", RT_OK, "\\\\srv\\share"},
        {"/tmp", RTE_INTERNAL_ERROR_D, nullptr},
        {"rel", RTE_INTERNAL_ERROR_D, nullptr},
    };
    for (auto const &c : aCases) {
        g_Cwd.pszCwd = c.pszCwd;
        char szBuf[64];
        EXPECT_EQ(RTPathGetCurrentDrive(szBuf, sizeof(szBuf)), c.rc) << c.pszCwd;
        if (c.pszDrive) {
            EXPECT_STREQ(szBuf, c.pszDrive);
        }
    }

    // The current directory does not fit the caller's buffer, the drive does.
    g_Cwd.pszCwd = "D:\\a\\rather\\long\\directory";
    char szSmall[3];
    EXPECT_EQ(RTPathGetCurrentDrive(szSmall, sizeof(szSmall)), RT_OK);
    EXPECT_STREQ(szSmall, "D:");
    EXPECT_EQ(RTPathGetCurrentDrive(szSmall, 2), RTE_BUFFER_OVERFLOW);
}

TEST(PathPlain, Extension)
{
    struct Case {
        const char *pszPath;
        const char *pszExt;   // nullptr: none
    } const aCases[] = {
        {"pkg.msi", ".msi"},  {".msi", nullptr},   {"pkg.", nullptr},       {"dir.d\\pkg", nullptr},
        {"dir.d/pkg", nullptr}, {"C:.x", ".x"},    {"C:x.tar.gz", ".gz"},   {"a\\.hidden", ".hidden"},
        {"", nullptr},         {"noext", nullptr}, {"d:\\x.y\\a.b", ".b"},
    };
    for (auto const &c : aCases) {
        const char *psz = RTPathExtension(c.pszPath);
        if (c.pszExt) {
            ASSERT_NE(psz, nullptr) << c.pszPath;
            EXPECT_STREQ(psz, c.pszExt) << c.pszPath;
            EXPECT_GE(psz, c.pszPath);   // a pointer into the path itself
        } else {
            EXPECT_EQ(psz, nullptr) << c.pszPath;
        }
    }
}

TEST(PathPlain, ToBackslashes)
{
    char sz[] = "C:/a\\b//c/";
    EXPECT_EQ(RTPathToBackslashes(sz), sz);
    EXPECT_STREQ(sz, "C:\\a\\b\\\\c\\");
}
