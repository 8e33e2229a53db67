// Splitting a command line into an argument vector: the quoting rules, in
// place and copied, separators, growth of the vector, and refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quab/getopt.h>

namespace {

using Args = std::vector<std::string>;

struct SplitResult {
    int32_t rc;
    Args args;
};

// Splits a copy of the text; in place the copy is what gets written over.
SplitResult Split(std::string const &text, uint32_t fFlags = RTGETOPTARGV_STYLE_MSCRT,
                  const char *pszSeparators = nullptr)
{
    std::string buf = text;
    char **papszArgv = reinterpret_cast<char **>(uintptr_t(1));
    int cArgs = -1;
    SplitResult Result;
    Result.rc = RTGetOptArgvSplit(&papszArgv, &cArgs, buf.data(), fFlags, pszSeparators);
    if (Result.rc < 0) {
        EXPECT_EQ(papszArgv, nullptr);
        EXPECT_EQ(cArgs, 0);
        return Result;
    }
    EXPECT_NE(papszArgv, nullptr);
    if (!papszArgv)
        return Result;
    for (int i = 0; i < cArgs; i++)
        Result.args.push_back(papszArgv[i]);
    EXPECT_EQ(papszArgv[cArgs], nullptr) << "the vector ends with nullptr";
    if (!(fFlags & RTGETOPTARGV_IN_PLACE)) {
        EXPECT_EQ(buf, text) << "a copying split leaves the command line alone";
    }
    RTGetOptArgvFree(papszArgv, fFlags);
    return Result;
}

struct SplitCase {
    const char *pszText;
    Args expected;
};

// The quoting rules; every case runs both copied and in place.
const SplitCase g_aSplitCases[] = {
    {R"(a b  c)", {"a", "b", "c"}},
    {R"("a b" c)", {"a b", "c"}},
    {R"(a"b c"d)", {"ab cd"}},
    {R"("" x)", {"", "x"}},
    {R"("a""b")", {R"(a"b)"}},
    {R"(a\\b)", {R"(a\\b)"}},
    {R"(a\\"b c")", {R"(a\b c)"}},
    {R"(a\\\"b)", {R"(a\"b)"}},
    {R"("a\"b")", {R"(a"b)"}},
    {R"("a b)", {"a b"}},
    {R"(a"""b)", {R"(a"b)"}},
    {R"(""")", {R"(")"}},
    {R"("x y"z w)", {"x yz", "w"}},
    {"", {}},
    {"   \t ", {}},
    {"a b   ", {"a", "b"}},
    {"\"\"", {""}},
    {"a\tb\rc\nd", {"a", "b", "c", "d"}},
    {R"(\"a b)", {R"("a)", "b"}},
    {R"(a\)", {R"(a\)"}},
    {R"(\\\\"a b")", {R"(\\a b)"}},
    {R"("a\\\\" b)", {R"(a\\)", "b"}},
    {"\"a\tb\" c", {"a\tb", "c"}},
    {"C:\\Program Files\\x.exe --msiparams \"A=1 B=2\"", {"C:\\Program", "Files\\x.exe", "--msiparams", "A=1 B=2"}},
    {"\"C:\\Program Files\\x.exe\" --silent", {"C:\\Program Files\\x.exe", "--silent"}},
    {"\xc3\xa9t\xc3\xa9 \xe2\x80\x93x", {"\xc3\xa9t\xc3\xa9", "\xe2\x80\x93x"}},
};

TEST(GetOptArgvSplit, MsCrtRules)
{
    for (uint32_t fFlags : {RTGETOPTARGV_STYLE_MSCRT, RTGETOPTARGV_STYLE_MSCRT | RTGETOPTARGV_IN_PLACE}) {
        for (SplitCase const &Case : g_aSplitCases) {
            SCOPED_TRACE(std::string("flags ") + std::to_string(fFlags) + " text [" + Case.pszText + "]");
            SplitResult const Result = Split(Case.pszText, fFlags);
            ASSERT_EQ(Result.rc, RT_OK);
            EXPECT_EQ(Result.args, Case.expected);
        }
    }
}

TEST(GetOptArgvSplit, InPlaceUsesTheCommandLineBuffer)
{
    char szCmd[] = "prog \"a b\" c";
    char **papszArgv = nullptr;
    int cArgs = 0;
    ASSERT_EQ(RTGetOptArgvSplit(&papszArgv, &cArgs, szCmd, RTGETOPTARGV_IN_PLACE, nullptr), RT_OK);
    ASSERT_EQ(cArgs, 3);
    for (int i = 0; i < cArgs; i++) {
        EXPECT_GE(papszArgv[i], szCmd);
        EXPECT_LT(papszArgv[i], szCmd + sizeof(szCmd));
    }
    EXPECT_STREQ(papszArgv[0], "prog");
    EXPECT_STREQ(papszArgv[1], "a b");
    EXPECT_STREQ(papszArgv[2], "c");
    RTGetOptArgvFree(papszArgv, RTGETOPTARGV_IN_PLACE);
}

TEST(GetOptArgvSplit, CustomSeparators)
{
    EXPECT_EQ(Split("a,b c,,d", 0, ",").args, (Args{"a", "b c", "d"}));
    EXPECT_EQ(Split("a\xe2\x80\x94" "b\xe2\x80\x94\xe2\x80\x94" "c", 0, "\xe2\x80\x94").args, (Args{"a", "b", "c"}));
    // A separator code point must match as a whole, not by its lead byte.
    EXPECT_EQ(Split("a\xe2\x80\x93" "b", 0, "\xe2\x80\x94").args, (Args{"a\xe2\x80\x93" "b"}));
    EXPECT_EQ(Split("\"a,b\",c", 0, ",").args, (Args{"a,b", "c"}));
}

TEST(GetOptArgvSplit, VectorGrowsPastEachStep)
{
    for (int cWanted : {31, 32, 33, 64, 65, 100}) {
        SCOPED_TRACE(cWanted);
        std::string text;
        Args expected;
        for (int i = 0; i < cWanted; i++) {
            expected.push_back("arg" + std::to_string(i));
            text += (i % 3 == 0 ? "\"" + expected.back() + "\"" : expected.back()) + " ";
        }
        SplitResult const Result = Split(text);
        ASSERT_EQ(Result.rc, RT_OK);
        EXPECT_EQ(Result.args, expected);
    }
}

TEST(GetOptArgvSplit, Refusals)
{
    EXPECT_EQ(Split("a", 2).rc, RTE_INVALID_FLAGS);
    EXPECT_EQ(Split("a", 3 | RTGETOPTARGV_IN_PLACE).rc, RTE_INVALID_FLAGS);
    EXPECT_EQ(Split("a", 0x100).rc, RTE_INVALID_FLAGS);
    EXPECT_EQ(Split("a", 0, "").rc, RTE_INVALID_PARAMETER);
    EXPECT_EQ(Split("a", RTGETOPTARGV_STYLE_SHELL).rc, RTE_NOT_IMPLEMENTED);
}

TEST(GetOptArgvSplit, MalformedUtf8EndsTheSplit)
{
    for (uint32_t fFlags : {0u, RTGETOPTARGV_IN_PLACE}) {
        SCOPED_TRACE(fFlags);
        EXPECT_EQ(Split("ok bad\xff" "x", fFlags).rc, RTE_INVALID_UTF8);
        EXPECT_EQ(Split("\x80", fFlags).rc, RTE_INVALID_UTF8);
        EXPECT_EQ(Split("\"ok \xc3\"", fFlags).rc, RTE_INVALID_UTF8);
    }
}

} // namespace
