// The installer's command line as a user types it: option effects, the MSI
// parameter string, path values, help and version, and every error with
// its report, interactive (message boxes) and silent (standard streams).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report-capture.h"

// The installer's own sources, built here against the fakes of
// report-capture.cpp instead of the real system calls.
#include "Installer/win/Stub/MorvStubNotify.cpp"
#include "Installer/win/Stub/MorvStubOptions.cpp"

namespace {

struct ParseOutcome {
    int rc;
    InstallerOptions opts;
    bool silent;
    uint32_t verbosity;
    std::vector<CapturedBox> boxes;
    std::string stdErr;
    std::string stdOut;
};

constexpr char g_szProg[] = "C:\\tools\\MorvStub.exe";

ParseOutcome Parse(std::vector<std::string> const &args)
{
    std::vector<std::string> storage = {g_szProg};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    static InstallerOptions s_Opts;   // 12 KiB: not on the test's stack
    __builtin_memset(&s_Opts, 0xAA, sizeof(s_Opts));
    ParseOutcome Outcome{};
    {
        ReportCapture Capture;
        Outcome.rc = ParseInstallerCommandLine(static_cast<int>(storage.size()), argv.data(), &s_Opts);
        Outcome.boxes = Capture.Boxes();
        Outcome.stdErr = Capture.StdErr();
        Outcome.stdOut = Capture.StdOut();
    }
    Outcome.opts = s_Opts;
    Outcome.silent = g_fSilent;
    Outcome.verbosity = g_cVerbosity;
    EXPECT_EQ(std::vector<std::string>(argv.begin(), argv.end() - 1), storage) << "argument texts stay as they were";
    return Outcome;
}

std::string Rrc(int32_t rc)
{
    char sz[256];
    RTStrFmtToBuf(sz, sizeof(sz), "%Rrc", rc);
    return sz;
}

std::string Rrs(int32_t rc)
{
    char sz[256];
    RTStrFmtToBuf(sz, sizeof(sz), "%Rrs", rc);
    return sz;
}

const char g_szSeeHelp[] = "\nPlease refer to the command line help by specifying \"-?\"\nto get more information.";

// Exactly one error box with the given text, and nothing on the streams.
void ExpectUsageBox(ParseOutcome const &Outcome, std::string const &strText)
{
    EXPECT_EQ(Outcome.rc, 2);
    ASSERT_EQ(Outcome.boxes.size(), 1u);
    EXPECT_EQ(Outcome.boxes[0].text, strText);
    EXPECT_EQ(Outcome.boxes[0].caption, "Morvaquill Installer");
    EXPECT_EQ(Outcome.boxes[0].style, 0x10u);
    EXPECT_EQ(Outcome.boxes[0].owner, g_hwndFakeDesktop);
    EXPECT_TRUE(Outcome.boxes[0].wide);
    EXPECT_EQ(Outcome.stdErr, "");
    EXPECT_EQ(Outcome.stdOut, "");
}

TEST(InstallerOptions, Defaults)
{
    ParseOutcome const Outcome = Parse({});
    EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
    EXPECT_FALSE(Outcome.opts.extractOnly);
    EXPECT_TRUE(Outcome.opts.installCertificate);
    EXPECT_FALSE(Outcome.opts.logging);
    EXPECT_FALSE(Outcome.opts.ignoreReboot);
    EXPECT_FALSE(Outcome.silent);
    EXPECT_EQ(Outcome.verbosity, 0u);
    // Zero-filled, not merely terminated.
    for (char ch : Outcome.opts.extractPath)
        ASSERT_EQ(ch, '\0');
    for (char ch : Outcome.opts.msiParameters)
        ASSERT_EQ(ch, '\0');
    for (char ch : Outcome.opts.msiLogFile)
        ASSERT_EQ(ch, '\0');
    EXPECT_TRUE(Outcome.boxes.empty());
}

struct FlagCase {
    std::vector<std::string> args;
    bool extractOnly, installCertificate, logging, ignoreReboot, silent;
    uint32_t verbosity;
};

TEST(InstallerOptions, ValueLessOptions)
{
    const FlagCase aCases[] = {
        {{"--extract"}, true, true, false, false, false, 0},
        {{"-extract"}, true, true, false, false, false, 0},
        {{"/extract"}, true, true, false, false, false, 0},
        {{"-xs"}, true, true, false, false, true, 0},
        {{"--silent", "-silent", "/silent"}, false, true, false, false, true, 0},
        {{"--no-silent-cert"}, false, false, false, false, false, 0},
        {{"/no-silent-cert"}, false, false, false, false, false, 0},
        {{"-c"}, false, false, false, false, false, 0},
        {{"--logging"}, false, true, true, false, false, 0},
        {{"/logging"}, false, true, true, false, false, 0},
        {{"-l"}, false, true, true, false, false, 0},
        {{"--ignore-reboot"}, false, true, false, true, false, 0},
        {{"-r"}, false, true, false, true, false, 0},
        {{"--verbose", "-v", "/verbose"}, false, true, false, false, false, 3},
        {{"-vvv", "-verbose"}, false, true, false, false, false, 4},
        {{"--no-install-timestamp-ca", "--force-install-timestamp-ca", "-t", "-T"}, false, true, false, false, false, 0},
        {{"\u2013\u2013silent", "\u2014x"}, true, true, false, false, true, 0},
    };
    for (FlagCase const &Case : aCases) {
        SCOPED_TRACE(Case.args[0]);
        ParseOutcome const Outcome = Parse(Case.args);
        EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
        EXPECT_EQ(Outcome.opts.extractOnly, Case.extractOnly);
        EXPECT_EQ(Outcome.opts.installCertificate, Case.installCertificate);
        EXPECT_EQ(Outcome.opts.logging, Case.logging);
        EXPECT_EQ(Outcome.opts.ignoreReboot, Case.ignoreReboot);
        EXPECT_EQ(Outcome.silent, Case.silent);
        EXPECT_EQ(Outcome.verbosity, Case.verbosity);
        EXPECT_TRUE(Outcome.boxes.empty());
    }
}

struct ParamCase {
    const char *name;
    std::vector<std::string> args;
    const char *pszExpected;
};

TEST(InstallerOptions, ParameterString)
{
    const ParamCase aCases[] = {
        {"msiparams then positional", {"--msiparams", "A=1", "B=2"}, "A=1 B=2"},
        {"quoted property value", {"--msiparams", "A=1", "B=2", "--msi-prop", "PROP", "a b"}, "A=1 B=2 PROP=\"a b\""},
        {"property alone", {"--msi-prop", "PROP", "value"}, "PROP=value"},
        {"property value taken whatever it looks like", {"--msi-prop", "PROP", "--silent"}, "PROP=--silent"},
        {"tab in value quotes it", {"--msi-prop", "P", "a\tb"}, "P=\"a\tb\""},
        {"quotes inside value are left alone", {"--msi-prop", "P", "say \"hi\""}, "P=\"say \"hi\"\""},
        {"empty property value", {"--msi-prop", "P", ""}, "P="},
        {"reinstall after msiparams", {"--msiparams", "X=1", "--reinstall"}, "X=1 REINSTALLMODE=vomus REINSTALL=ALL"},
        {"reinstall twice", {"-f", "/reinstall"}, "REINSTALLMODE=vomus REINSTALL=ALL REINSTALLMODE=vomus REINSTALL=ALL"},
        {"positional after reinstall", {"--reinstall", "/V"}, "REINSTALLMODE=vomus REINSTALL=ALL /V"},
        {"short forms", {"-mA=1", "-P", "B", "2", "-m:C=3"}, "A=1 B=2 C=3"},
        {"empty msiparams adds nothing", {"--msiparams=", "--msiparams", "A=1"}, "A=1"},
        {"command-line order", {"--msi-prop", "Z", "1", "--msiparams", "A=1", "x"}, "Z=1 A=1 x"},
    };
    for (ParamCase const &Case : aCases) {
        SCOPED_TRACE(Case.name);
        ParseOutcome const Outcome = Parse(Case.args);
        EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
        EXPECT_STREQ(Outcome.opts.msiParameters, Case.pszExpected);
        EXPECT_TRUE(Outcome.boxes.empty());
    }
    // --msi-prop consumed --silent as its value: the run is not silent.
    EXPECT_FALSE(Parse({"--msi-prop", "PROP", "--silent"}).silent);
}

TEST(InstallerOptions, ParameterStringLimit)
{
    std::string const strFull(4095, 'a');
    ParseOutcome Outcome = Parse({"--msiparams", strFull});
    EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
    EXPECT_EQ(std::string(Outcome.opts.msiParameters), strFull);

    const char szOut[] = "Out of space for MSI parameters and properties";
    ExpectUsageBox(Parse({"--msiparams", strFull + "a"}), szOut);
    // The separator alone no longer fits.
    ExpectUsageBox(Parse({"--msiparams", strFull, "--reinstall"}), szOut);
    ExpectUsageBox(Parse({"--msiparams", std::string(4094, 'a'), "b"}), szOut);
    Outcome = Parse({"--msiparams", std::string(4093, 'a'), "b"});
    EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
    EXPECT_EQ(std::string(Outcome.opts.msiParameters), std::string(4093, 'a') + " b");

    // " P=v" is four characters: 4091 + 4 = 4095 fits, one more does not.
    Outcome = Parse({"--msiparams", std::string(4091, 'a'), "--msi-prop", "P", "v"});
    EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
    EXPECT_EQ(std::string(Outcome.opts.msiParameters), std::string(4091, 'a') + " P=v");
    ExpectUsageBox(Parse({"--msiparams", std::string(4092, 'a'), "--msi-prop", "P", "v"}), szOut);
}

TEST(InstallerOptions, MsiPropErrors)
{
    ExpectUsageBox(Parse({"--msi-prop", "P Q", "v"}), "The first argument to --msi-prop must not contain spaces: P Q");
    ExpectUsageBox(Parse({"--msi-prop", "P\nQ", "v"}), "The first argument to --msi-prop must not contain spaces: P\nQ");
    ExpectUsageBox(Parse({"--msi-prop", "PROP"}), "--msi-prop takes two arguments, the 2nd is missing");
    // The name comes from the option itself: without one it is the parser's missing value.
    ExpectUsageBox(Parse({"--msi-prop"}), "Parameter parsing error: " + Rrc(RTE_OPTION_MISSING_VALUE) + g_szSeeHelp);
}

TEST(InstallerOptions, PathValues)
{
    char szCwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof(szCwd), szCwd), 0u);
    std::string strCwd = szCwd;
    if (strCwd.back() != '\\')
        strCwd += '\\';

    ParseOutcome Outcome = Parse({"--path", "C:\\x"});
    EXPECT_STREQ(Outcome.opts.extractPath, "C:\\x");
    Outcome = Parse({"-pC:\\dir\\..\\y", "--msi-log-file=sub\\log.txt"});
    EXPECT_STREQ(Outcome.opts.extractPath, "C:\\y");
    EXPECT_EQ(std::string(Outcome.opts.msiLogFile), strCwd + "sub\\log.txt");
    EXPECT_FALSE(Outcome.opts.logging) << "a log file name alone is applied later, by main";

    // An empty value brings the default back.
    Outcome = Parse({"--path", "C:\\x", "--path="});
    EXPECT_EQ(Outcome.rc, MORV_CONTINUE_RUN);
    EXPECT_STREQ(Outcome.opts.extractPath, "");
    Outcome = Parse({"--logging", "-msilogfile", "C:\\l.txt", "-msilogfile="});
    EXPECT_STREQ(Outcome.opts.msiLogFile, "");
    EXPECT_TRUE(Outcome.opts.logging);

    // A later occurrence wins.
    Outcome = Parse({"/path", "C:\\a", "-path:C:\\b"});
    EXPECT_STREQ(Outcome.opts.extractPath, "C:\\b");

    std::string const strLong = "C:\\" + std::string(4200, 'd');
    Outcome = Parse({"--path", strLong});
    ASSERT_EQ(Outcome.boxes.size(), 1u);
    EXPECT_EQ(Outcome.rc, 2);
    EXPECT_EQ(Outcome.boxes[0].text.rfind("Extraction path is too long (", 0), 0u) << Outcome.boxes[0].text;
    Outcome = Parse({"--msi-log-file", strLong});
    ASSERT_EQ(Outcome.boxes.size(), 1u);
    EXPECT_EQ(Outcome.rc, 2);
    EXPECT_EQ(Outcome.boxes[0].text.rfind("MSI log file path is too long (", 0), 0u) << Outcome.boxes[0].text;
}

struct ErrorCase {
    std::vector<std::string> args;
    std::string interactive;   // the box text
    std::string silentLine;    // the parser's report after "error: " (run with --silent first)
};

TEST(InstallerOptions, CommandLineErrors)
{
    const ErrorCase aCases[] = {
        {{"-x5"}, "Unknown option \"5\"" + std::string(g_szSeeHelp), "Unknown option: '5'"},
        {{"--Silent"}, "Unknown option \"--Silent\"" + std::string(g_szSeeHelp), "Unknown option: '--Silent'"},
        {{"--silent=1"}, "Unknown option \"--silent=1\"" + std::string(g_szSeeHelp), "Unknown option: '--silent=1'"},
        {{"-"}, "Unknown option \"-\"" + std::string(g_szSeeHelp), "Unknown option: '-'"},
        {{"B=2", "--msiparams", "A=1"}, "Parameter parsing error: " + Rrc(RTI_NOT_OPTION) + g_szSeeHelp,
         "Invalid parameter: B=2"},
        {{"/V"}, "Parameter parsing error: " + Rrc(RTI_NOT_OPTION) + g_szSeeHelp, "Invalid parameter: /V"},
        {{"/x"}, "Parameter parsing error: " + Rrc(RTI_NOT_OPTION) + g_szSeeHelp, "Invalid parameter: /x"},
        {{"--path"}, "Parameter parsing error: " + Rrc(RTE_OPTION_MISSING_VALUE) + g_szSeeHelp,
         "--path: " + Rrs(RTE_OPTION_MISSING_VALUE)},
    };
    for (ErrorCase const &Case : aCases) {
        SCOPED_TRACE(Case.args[0]);
        ExpectUsageBox(Parse(Case.args), Case.interactive);

        std::vector<std::string> silentArgs = {"--silent"};
        silentArgs.insert(silentArgs.end(), Case.args.begin(), Case.args.end());
        ParseOutcome const Outcome = Parse(silentArgs);
        EXPECT_EQ(Outcome.rc, 2);
        EXPECT_TRUE(Outcome.boxes.empty());
        EXPECT_EQ(Outcome.stdOut, "");
        EXPECT_EQ(Outcome.stdErr, MessagePrefix() + "error: " + Case.silentLine + "\n");
    }
}

TEST(InstallerOptions, SilentUsageErrorIsAPrefixedLine)
{
    ParseOutcome const Outcome = Parse({"-s", "--msi-prop", "PROP"});
    EXPECT_EQ(Outcome.rc, 2);
    EXPECT_TRUE(Outcome.boxes.empty());
    EXPECT_EQ(Outcome.stdErr, MessagePrefix() + "error: --msi-prop takes two arguments, the 2nd is missing\n");
}

TEST(InstallerOptions, ErrorBeforeSilentStillShowsABox)
{
    ParseOutcome const Outcome = Parse({"--Silent", "--silent"});
    ExpectUsageBox(Outcome, "Unknown option \"--Silent\"" + std::string(g_szSeeHelp));
}

std::vector<std::string> Lines(std::string const &s)
{
    std::vector<std::string> lines;
    size_t off = 0;
    for (;;) {
        size_t const offEnd = s.find('\n', off);
        lines.push_back(s.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off));
        if (offEnd == std::string::npos)
            return lines;
        off = offEnd + 1;
    }
}

std::string VersionDigits()
{
    return std::to_string(MORV_VERSION_MAJOR) + "." + std::to_string(MORV_VERSION_MINOR) + "."
         + std::to_string(MORV_VERSION_BUILD) + "r" + std::to_string(MORV_VERSION_REVISION);
}

TEST(InstallerOptions, HelpAndVersion)
{
    for (const char *pszHelp : {"-?", "/?", "-h", "--help", "-help", "/help"}) {
        SCOPED_TRACE(pszHelp);
        ParseOutcome const Outcome = Parse({"--msiparams", "A=1", pszHelp, "--Bogus"});
        EXPECT_EQ(Outcome.rc, 0);
        ASSERT_EQ(Outcome.boxes.size(), 1u);
        EXPECT_EQ(Outcome.boxes[0].style, 0x40u);
        EXPECT_EQ(Outcome.boxes[0].caption, "Morvaquill Installer");
        std::vector<std::string> const lines = Lines(Outcome.boxes[0].text);
        ASSERT_EQ(lines.size(), 36u);
        EXPECT_EQ(lines[0], "-- Morvaquill Installer v" + VersionDigits() + " --");
        EXPECT_EQ(lines[34], std::string("  ") + g_szProg + " --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Morvaquill\"\"\"\"");
        EXPECT_EQ(lines[35], std::string("  ") + g_szProg + " --extract -path C:\\Morv");
    }

    for (const char *pszVersion : {"--version", "-version", "/version", "-V"}) {
        SCOPED_TRACE(pszVersion);
        ParseOutcome const Outcome = Parse({pszVersion});
        EXPECT_EQ(Outcome.rc, 0);
        ASSERT_EQ(Outcome.boxes.size(), 1u);
        EXPECT_EQ(Outcome.boxes[0].text, "Version: " + VersionDigits());
        EXPECT_EQ(Outcome.boxes[0].style, 0x40u);
    }

    ParseOutcome const Outcome = Parse({"-s", "-V"});
    EXPECT_EQ(Outcome.rc, 0);
    EXPECT_TRUE(Outcome.boxes.empty());
    EXPECT_EQ(Outcome.stdOut, "Version: " + VersionDigits() + "\n");
}

TEST(InstallerOptions, StrFindAnyOf)
{
    const char szText[] = "ab\tc d";
    EXPECT_EQ(StrFindAnyOf(szText, " \t"), szText + 2);
    EXPECT_EQ(StrFindAnyOf(szText, "d"), szText + 5);
    EXPECT_EQ(StrFindAnyOf(szText, "xyz"), nullptr);
    EXPECT_EQ(StrFindAnyOf("", " "), nullptr);
    EXPECT_EQ(StrFindAnyOf("abc", ""), nullptr);
    // Byte by byte: a lead byte of a UTF-8 sequence matches on its own.
    const char szUtf8[] = "x\xc3\xa9";
    EXPECT_EQ(StrFindAnyOf(szUtf8, "\xa9"), szUtf8 + 2);
}

} // namespace
