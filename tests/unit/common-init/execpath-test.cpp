// Taking the executable path apart: name offset and directory length.
#include <gtest/gtest.h>

#include <cstring>

#include <quab/init.h>

namespace {

struct PathCase {
    const char *path;
    size_t offName;
    size_t cchDir;
};

constexpr PathCase kCases[] = {
    { "C:\\dir\\prog.exe", 7, 6 },
    { "C:\\prog.exe", 3, 3 },
    { "C:prog.exe", 2, 2 },
    { "C:\\dir\\\\\\prog.exe", 9, 6 },
    { "C:/dir/sub/prog.exe", 11, 10 },
    { "C:\\\\prog.exe", 4, 4 },
    { "\\\\server\\share\\prog.exe", 15, 14 },
    { "\\\\server\\prog.exe", 9, 9 },
    { "\\\\server\\\\prog.exe", 10, 10 },
    { "/usr/bin/prog", 9, 8 },
    { "/prog", 1, 1 },
    { "prog.exe", 0, 0 },
    { "", 0, 0 },
    { "C:\\d\xc3\xa9j\xc3\xa0\\pr\xc3\xb6g.exe", 10, 9 },
};

TEST(ExecPath, ParseTable)
{
    for (PathCase const &c : kCases) {
        std::strcpy(g_szExecPath, c.path);
        rtR3InitParseExecPath();
        EXPECT_EQ(g_cchExecPath, std::strlen(c.path)) << c.path;
        EXPECT_EQ(g_offExecName, c.offName) << c.path;
        EXPECT_EQ(g_cchExecDir, c.cchDir) << c.path;
    }
}

// A record without a terminator must not be read past its end.
TEST(ExecPath, UnterminatedRecordIsCut)
{
    std::memset(g_szExecPath, 'a', sizeof(g_szExecPath));
    rtR3InitParseExecPath();
    EXPECT_EQ(g_cchExecPath, sizeof(g_szExecPath) - 1);
    EXPECT_EQ(g_szExecPath[sizeof(g_szExecPath) - 1], '\0');
    EXPECT_EQ(g_offExecName, 0u);
    g_szExecPath[0] = '\0';
}

} // namespace
