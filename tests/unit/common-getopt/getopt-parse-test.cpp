// The option parser's walk over argument vectors: matching, groups, values,
// indexes, built-in rows, terminators and permutation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <quab/getopt.h>

namespace {

constexpr RTOPTDEF g_aOpts[] = {
    {"--extract", 'x', RTOPT_TYPE_NONE},
    {"--silent", 's', RTOPT_TYPE_NONE},
    {"--path", 'p', RTOPT_TYPE_STRING},
    {"--count", 'c', RTOPT_TYPE_UINT8},
    {"--long-name", 'l', RTOPT_TYPE_NONE},
    {"--Mode", 'm', RTOPT_TYPE_STRING | RTOPT_IGNORE_CASE},
    {nullptr, 'q', RTOPT_TYPE_NONE},
    {"--id", 1001, RTOPT_TYPE_UINT16},
    {"--disk", 'd', RTOPT_TYPE_UINT32 | RTOPT_INDEXED | RTOPT_INDEX_DASH},
    {"--slot", 1002, RTOPT_TYPE_STRING | RTOPT_INDEXED | RTOPT_INDEX_DEFAULT_1},
    {"--port", 1003, RTOPT_TYPE_NONE | RTOPT_INDEXED | RTOPT_INDEX_DEFAULT_0},
    {"--nic", 1004, RTOPT_TYPE_NONE | RTOPT_INDEXED},
    {"--bad", 'b', 12},
    {"--flag", 'f', RTOPT_TYPE_BOOL},
};

std::string CodeName(int rc)
{
    if (rc >= 33 && rc <= 126)
        return std::string(1, static_cast<char>(rc));
    return std::to_string(rc);
}

// One readable token per result, so that a whole run compares as one list.
std::string Describe(int rc, RTOPTVALUE const &Value, RTOPTSTATE const &State)
{
    if (rc == 0)
        return "end";
    if (rc == RTI_NOT_OPTION)
        return "pos:" + std::string(Value.str);
    if (rc == RTE_OPTION_UNKNOWN)
        return "unknown:" + std::string(Value.str);
    if (rc < 0)
        return "err" + std::to_string(rc) + "@" + (Value.def && Value.def->longName ? Value.def->longName : "-");
    std::string s = CodeName(rc);
    RTOPTDEF const *pDef = State.lastDef;
    if (!pDef)
        return s + "(no lastDef)";
    if (State.index != RTOPT_NO_INDEX)
        s += "#" + std::to_string(State.index);
    switch (pDef->flags & RTOPT_TYPE_MASK) {
        case RTOPT_TYPE_NONE:
            if (Value.def != pDef)
                s += "(def mismatch)";
            break;
        case RTOPT_TYPE_STRING: s += "=" + std::string(Value.str); break;
        case RTOPT_TYPE_UINT8: s += "=" + std::to_string(Value.u8); break;
        case RTOPT_TYPE_UINT16: s += "=" + std::to_string(Value.u16); break;
        case RTOPT_TYPE_UINT32: s += "=" + std::to_string(Value.u32); break;
        case RTOPT_TYPE_BOOL: s += Value.f ? "=true" : "=false"; break;
        default: s += "=?"; break;
    }
    return s;
}

struct RunResult {
    std::vector<std::string> tokens;
    std::vector<std::string> argvAfter;
};

// Runs the parser from index 1 (index 0 is the program) until it ends or
// reports an error, and records what it returned.
RunResult RunParser(std::vector<std::string> const &args, uint32_t fInitFlags = 0, RTOPTDEF const *paOpts = g_aOpts,
              uint32_t cOpts = RT_ELEMENTS(g_aOpts))
{
    std::vector<std::string> storage = {"prog.exe"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    RunResult Result;
    RTOPTSTATE State;
    EXPECT_EQ(RTGetOptInit(&State, static_cast<int>(storage.size()), argv.data(), paOpts, cOpts, 1, fInitFlags),
              RT_OK);
    for (int i = 0; i < 64; i++) {
        RTOPTVALUE Value;
        int const rc = RTGetOpt(&State, &Value);
        Result.tokens.push_back(Describe(rc, Value, State));
        if (rc <= 0 && rc != RTI_NOT_OPTION)
            break;
    }
    for (size_t i = 1; i < storage.size(); i++)
        Result.argvAfter.push_back(argv[i]);
    return Result;
}

using Tokens = std::vector<std::string>;

struct ParseCase {
    const char *name;
    std::vector<std::string> args;
    Tokens expected;
};

const ParseCase g_aParseCases[] = {
    {"nothing", {}, {"end"}},
    {"group of value-less shorts", {"-xs", "next"}, {"x", "s", "pos:next", "end"}},
    {"group then long", {"-sx", "--path", "v"}, {"s", "x", "p=v", "end"}},
    {"short value attached", {"-pC:\\dir"}, {"p=C:\\dir", "end"}},
    {"short value after =", {"-p=C:\\dir"}, {"p=C:\\dir", "end"}},
    {"short value after :", {"-p:C:\\dir"}, {"p=C:\\dir", "end"}},
    {"short value as next argument", {"-p", "C:\\dir"}, {"p=C:\\dir", "end"}},
    {"short value next argument looks like option", {"-p", "--silent"}, {"p=--silent", "end"}},
    {"value ends a group", {"-xpC:\\dir", "-s"}, {"x", "p=C:\\dir", "s", "end"}},
    {"group value from next argument", {"-xp", "v", "-s"}, {"x", "p=v", "s", "end"}},
    {"group value missing", {"-xp"}, {"x", "err-826@--path"}},
    {"long value after =", {"--path=x"}, {"p=x", "end"}},
    {"long value after :", {"--path:x"}, {"p=x", "end"}},
    {"long value empty", {"--path="}, {"p=", "end"}},
    {"long value as next argument", {"--path", "x"}, {"p=x", "end"}},
    {"long value missing", {"--path"}, {"err-826@--path"}},
    {"long name with junk", {"--pathx"}, {"unknown:--pathx"}},
    {"value-less given a value", {"--silent=1"}, {"unknown:--silent=1"}},
    {"value-less prefix only", {"--sil"}, {"unknown:--sil"}},
    {"terminator", {"-s", "--", "-x", "--path"}, {"s", "pos:-x", "pos:--path", "end"}},
    {"unicode terminator", {"\u2013\u2014", "-x"}, {"pos:-x", "end"}},
    {"en dash short", {"\u2013x"}, {"x", "end"}},
    {"unicode dashes in long name", {"\u2014\u2013long\u2212name", "\uFF0D-long\u2010name"}, {"l", "l", "end"}},
    {"one dash short of the name reads as a group", {"\u2014long"}, {"l", "unknown:ong"}},
    {"unicode dash spelling still needs the whole name", {"--long\u2013nam"}, {"unknown:--long\u2013nam"}},
    {"other code point where the name has a dash", {"--long\u00e9name"}, {"unknown:--long\u00e9name"}},
    {"lone dash", {"-"}, {"unknown:-"}},
    {"lone slash", {"/"}, {"pos:/", "end"}},
    {"slash option not in table", {"/x"}, {"pos:/x", "end"}},
    {"unknown unicode dash option is positional", {"\u2013zz"}, {"pos:\u2013zz", "end"}},
    {"empty argument", {""}, {"pos:", "end"}},
    {"plain words", {"a", "b"}, {"pos:a", "pos:b", "end"}},
    {"question mark", {"-?"}, {"h", "end"}},
    {"built-in long rows", {"--help", "-help", "--version", "-version", "-h", "-V"}, {"h", "h", "V", "V", "h", "V", "end"}},
    {"unknown in group", {"-xzs"}, {"x", "unknown:zs"}},
    {"dash inside a group is no option", {"-x-s"}, {"x", "unknown:-s"}},
    {"short-only row", {"-q"}, {"q", "end"}},
    {"code without short form", {"--id=7", "-\xe8"}, {"1001=7", "unknown:-\xe8"}},
    {"ignore case", {"--MODE=a", "--mode:b", "--mOdE", "c"}, {"m=a", "m=b", "m=c", "end"}},
    {"case matters without the flag", {"--SILENT"}, {"unknown:--SILENT"}},
    {"number converted", {"-c", "0x1F", "--count=200"}, {"c=31", "c=200", "end"}},
    {"number refused", {"--count=1F"}, {"err-827@--count"}},
    {"number out of range", {"-c300"}, {"err-827@--count"}},
    {"boolean word", {"--flag=Y", "-fDISABLE", "-f", "En"}, {"f=true", "f=false", "f=true", "end"}},
    {"boolean refused", {"--flag=ye"}, {"unknown:ye"}},
    {"indexed with value", {"--disk3=7", "--disk-4:8", "--disk12", "9"}, {"d#3=7", "d#4=8", "d#12=9", "end"}},
    {"indexed missing index", {"--disk", "5"}, {"err-829@--disk"}},
    {"indexed no digits", {"--disk=5"}, {"err-827@--disk"}},
    {"indexed value missing", {"--disk2"}, {"err-826@--disk"}},
    {"index dash needs a digit", {"--disk-=5"}, {"unknown:--disk-=5"}},
    {"index default", {"--slot=a", "--slot", "b", "--slot7=c"}, {"1002#1=a", "1002#1=b", "1002#7=c", "end"}},
    {"value-less indexed", {"--port", "--port2", "--nic4"}, {"1003", "1003#2", "1004#4", "end"}},
    {"value-less indexed missing index", {"--nic"}, {"err-829@--nic"}},
    {"value-less indexed junk", {"--port2x"}, {"unknown:--port2x"}},
    {"undefined value type", {"--bad=1"}, {"err-225@--bad"}},
};

TEST(GetOptParse, Cases)
{
    for (ParseCase const &Case : g_aParseCases) {
        SCOPED_TRACE(Case.name);
        EXPECT_EQ(RunParser(Case.args).tokens, Case.expected);
    }
}

TEST(GetOptParse, ArgumentTextsAreNeverChanged)
{
    std::vector<std::string> const args = {"-xpC:\\dir", "--path=v", "\u2013x", "--", "a"};
    EXPECT_EQ(RunParser(args).argvAfter, args);
}

TEST(GetOptParse, NoStdOptions)
{
    EXPECT_EQ(RunParser({"-?"}, RTOPTINIT_NO_STD_OPTS).tokens, Tokens{"unknown:-?"});
    EXPECT_EQ(RunParser({"--help"}, RTOPTINIT_NO_STD_OPTS).tokens, Tokens{"unknown:--help"});
    EXPECT_EQ(RunParser({"-V"}, RTOPTINIT_NO_STD_OPTS).tokens, Tokens{"unknown:-V"});
}

TEST(GetOptParse, CallerRowsWinOverBuiltIns)
{
    static constexpr RTOPTDEF s_aOpts[] = {
        {"--help", 1000, RTOPT_TYPE_NONE},
        {"-?", '?', RTOPT_TYPE_NONE},
        {"-H", 'h', RTOPT_TYPE_NONE},
    };
    EXPECT_EQ(RunParser({"--help", "-?", "-h", "--version"}, 0, s_aOpts, RT_ELEMENTS(s_aOpts)).tokens,
              (Tokens{"1000", "?", "h", "V", "end"}));
}

TEST(GetOptParse, QuestionMarkReturnsTheHelpRow)
{
    char szProg[] = "prog", szArg[] = "-?";
    char *argv[] = {szProg, szArg, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 2, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0), RT_OK);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'h');
    ASSERT_NE(Value.def, nullptr);
    EXPECT_STREQ(Value.def->longName, "--help");
}

TEST(GetOptParse, UnknownGroupCharacterRepeats)
{
    char szProg[] = "prog", szArg[] = "-xz", szNext[] = "-s";
    char *argv[] = {szProg, szArg, szNext, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 3, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0), RT_OK);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'x');
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(RTGetOpt(&State, &Value), RTE_OPTION_UNKNOWN);
        EXPECT_EQ(Value.str, szArg + 2);
        EXPECT_EQ(State.lastDef, nullptr);
    }
}

TEST(GetOptParse, MissingValueLeavesTheDefinition)
{
    char szProg[] = "prog", szArg[] = "--path";
    char *argv[] = {szProg, szArg, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 2, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0), RT_OK);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), RTE_OPTION_MISSING_VALUE);
    EXPECT_EQ(Value.def, &g_aOpts[2]);
    EXPECT_EQ(State.lastDef, nullptr);
    EXPECT_EQ(State.index, RTOPT_NO_INDEX);
}

TEST(GetOptParse, MalformedUtf8ArgumentReturnsTheDecodingStatus)
{
    RunResult const Result = RunParser({"\xff" "abc"});
    EXPECT_EQ(Result.tokens, Tokens{"err" + std::to_string(RTE_INVALID_UTF8) + "@-"});
}

TEST(GetOptParse, InitRejectsUnknownFlagsAndSetsState)
{
    char szProg[] = "prog";
    char *argv[] = {szProg, nullptr};
    RTOPTSTATE State;
    EXPECT_EQ(RTGetOptInit(&State, 1, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 4), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, 1, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0x80000000u), RTE_INVALID_PARAMETER);
    ASSERT_EQ(RTGetOptInit(&State, 1, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, RTOPTINIT_PERMUTE | RTOPTINIT_NO_STD_OPTS),
              RT_OK);
    EXPECT_EQ(State.nextIndex, 1);
    EXPECT_EQ(State.clusterPos, nullptr);
    EXPECT_EQ(State.lastDef, nullptr);
    EXPECT_EQ(State.index, RTOPT_NO_INDEX);
    EXPECT_EQ(State.movedCount, 0);
}

struct PermuteCase {
    const char *name;
    std::vector<std::string> args;
    Tokens expected;
    std::vector<std::string> argvAfter;
};

const PermuteCase g_aPermuteCases[] = {
    {"positional ones come last, in order",
     {"a", "-x", "b", "-s", "c"},
     {"x", "s", "pos:a", "pos:b", "pos:c", "end"},
     {"-x", "-s", "a", "b", "c"}},
    {"value after moved arguments",
     {"a", "-p", "v", "b"},
     {"p=v", "pos:a", "pos:b", "end"},
     {"-p", "v", "a", "b"}},
    {"group after moved argument",
     {"a", "-xs", "b"},
     {"x", "s", "pos:a", "pos:b", "end"},
     {"-xs", "a", "b"}},
    {"terminator moves in front",
     {"a", "--", "-x", "b"},
     {"pos:a", "pos:-x", "pos:b", "end"},
     {"--", "a", "-x", "b"}},
    {"only positional", {"a", "b"}, {"pos:a", "pos:b", "end"}, {"a", "b"}},
    {"unknown dash option is an error", {"a", "-z"}, {"unknown:-z"}, {"a", "-z"}},
    {"unknown unicode dash option is an error", {"\u2013zz"}, {"unknown:\u2013zz"}, {"\u2013zz"}},
    {"value missing after moved arguments", {"a", "--path"}, {"err-826@--path"}, {"--path", "a"}},
};

TEST(GetOptParse, Permutation)
{
    for (PermuteCase const &Case : g_aPermuteCases) {
        SCOPED_TRACE(Case.name);
        RunResult const Result = RunParser(Case.args, RTOPTINIT_PERMUTE);
        EXPECT_EQ(Result.tokens, Case.expected);
        EXPECT_EQ(Result.argvAfter, Case.argvAfter);
    }
}

TEST(GetOptParse, NextValueTakesWhateverFollows)
{
    char szProg[] = "prog", sz1[] = "--path", sz2[] = "a", sz3[] = "b", sz4[] = "--silent", sz5[] = "300";
    char *argv[] = {szProg, sz1, sz2, sz3, sz4, sz5, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 6, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0), RT_OK);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'p');
    EXPECT_STREQ(Value.str, "a");

    ASSERT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_STRING), RT_OK);
    EXPECT_STREQ(Value.str, "b");
    ASSERT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_STRING), RT_OK);
    EXPECT_STREQ(Value.str, "--silent");
    ASSERT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_UINT8), RTE_OPTION_INVALID_VALUE);
    EXPECT_EQ(Value.def, &g_aOpts[2]);
    EXPECT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_STRING), RTE_OPTION_MISSING_VALUE);
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
}

TEST(GetOptParse, NextValueFlagChecks)
{
    char szProg[] = "prog", sz1[] = "1f";
    char *argv[] = {szProg, sz1, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 2, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0), RT_OK);
    RTOPTVALUE Value;
    for (uint32_t fFlags : {0u, RTOPT_HEX, RTOPT_TYPE_STRING | 0x20u, RTOPT_TYPE_STRING | 0x1000000u,
                            RTOPT_TYPE_UINT8 | 0x8000u}) {
        SCOPED_TRACE(fFlags);
        EXPECT_EQ(RTGetOptNextValue(&State, &Value, fFlags), RTE_INVALID_PARAMETER);
    }
    // The refusals consumed nothing: the argument is still there for a valid request.
    ASSERT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_UINT32 | RTOPT_HEX), RT_OK);
    EXPECT_EQ(Value.u32, 0x1Fu);
}

TEST(GetOptParse, NextValueUnderPermutationSkipsMovedArguments)
{
    char szProg[] = "prog", sz1[] = "a", sz2[] = "--path", sz3[] = "v", sz4[] = "w";
    char *argv[] = {szProg, sz1, sz2, sz3, sz4, nullptr};
    RTOPTSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, 5, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, RTOPTINIT_PERMUTE), RT_OK);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'p');
    EXPECT_STREQ(Value.str, "v");
    ASSERT_EQ(RTGetOptNextValue(&State, &Value, RTOPT_TYPE_STRING), RT_OK);
    EXPECT_STREQ(Value.str, "w");
    ASSERT_EQ(RTGetOpt(&State, &Value), RTI_NOT_OPTION);
    EXPECT_STREQ(Value.str, "a");
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
}

} // namespace

namespace {

// Each argument alone in an allocation of its exact size, so that the
// sanitizer build catches a read past the terminator.
TEST(GetOptParse, ShortArgumentsAreNotReadPast)
{
    for (uint32_t fInit : {0u, RTOPTINIT_PERMUTE}) {
        for (const char *pszArg : {"", "-", "\u2013", "--"}) {
            SCOPED_TRACE(pszArg);
            size_t const cb = std::string(pszArg).size() + 1;
            std::unique_ptr<char[]> pszExact(new char[cb]);
            memcpy(pszExact.get(), pszArg, cb);
            char szProg[] = "prog";
            char *argv[] = {szProg, pszExact.get(), nullptr};
            RTOPTSTATE State;
            ASSERT_EQ(RTGetOptInit(&State, 2, argv, g_aOpts, RT_ELEMENTS(g_aOpts), 1, fInit), RT_OK);
            RTOPTVALUE Value;
            int const rc = RTGetOpt(&State, &Value);
            EXPECT_TRUE(rc == 0 || rc == RTI_NOT_OPTION || rc == RTE_OPTION_UNKNOWN) << rc;
        }
    }
}

} // namespace
