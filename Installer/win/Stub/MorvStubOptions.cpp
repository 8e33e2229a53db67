// The installer's command line: the option table, the effect of each
// parser result, the MSI parameter string, and the help and version texts.
#include <quab/getopt.h>
#include <quab/path.h>
#include <quab/string.h>

#include "MorvStub.h"
#include "MorvStubOptions.h"
#include "morv-version.h"

bool g_fSilent = false;
uint32_t g_cVerbosity = 0;

namespace {

constexpr char g_szProductName[] = "Morvaquill Installer";
constexpr char g_szWhiteSpace[] = " \t\n\r";
constexpr char g_szReinstallParams[] = "REINSTALLMODE=vomus REINSTALL=ALL";
constexpr char g_szOutOfParamSpace[] = "Out of space for MSI parameters and properties";
constexpr int32_t kMsiLogFileOpt = 1000;

// The written forms are free text, so each spelling a user might type is a
// row of its own. Rows sharing a short code: the first one answers "-<c>".
constexpr RTOPTDEF g_aInstallerOptions[] = {
    {"--extract", 'x', RTOPT_TYPE_NONE},
    {"-extract", 'x', RTOPT_TYPE_NONE},
    {"/extract", 'x', RTOPT_TYPE_NONE},
    {"--silent", 's', RTOPT_TYPE_NONE},
    {"-silent", 's', RTOPT_TYPE_NONE},
    {"/silent", 's', RTOPT_TYPE_NONE},
    {"--no-silent-cert", 'c', RTOPT_TYPE_NONE},
    {"-no-silent-cert", 'c', RTOPT_TYPE_NONE},
    {"/no-silent-cert", 'c', RTOPT_TYPE_NONE},
    {"--no-install-timestamp-ca", 't', RTOPT_TYPE_NONE},
    {"--force-install-timestamp-ca", 'T', RTOPT_TYPE_NONE},
    {"--logging", 'l', RTOPT_TYPE_NONE},
    {"-logging", 'l', RTOPT_TYPE_NONE},
    {"--msi-log-file", kMsiLogFileOpt, RTOPT_TYPE_STRING},
    {"-msilogfile", kMsiLogFileOpt, RTOPT_TYPE_STRING},
    {"/logging", 'l', RTOPT_TYPE_NONE},
    {"--path", 'p', RTOPT_TYPE_STRING},
    {"-path", 'p', RTOPT_TYPE_STRING},
    {"/path", 'p', RTOPT_TYPE_STRING},
    {"--msiparams", 'm', RTOPT_TYPE_STRING},
    {"-msiparams", 'm', RTOPT_TYPE_STRING},
    {"--msi-prop", 'P', RTOPT_TYPE_STRING},
    {"--reinstall", 'f', RTOPT_TYPE_NONE},
    {"-reinstall", 'f', RTOPT_TYPE_NONE},
    {"/reinstall", 'f', RTOPT_TYPE_NONE},
    {"--ignore-reboot", 'r', RTOPT_TYPE_NONE},
    {"--verbose", 'v', RTOPT_TYPE_NONE},
    {"-verbose", 'v', RTOPT_TYPE_NONE},
    {"/verbose", 'v', RTOPT_TYPE_NONE},
    {"--version", 'V', RTOPT_TYPE_NONE},
    {"-version", 'V', RTOPT_TYPE_NONE},
    {"/version", 'V', RTOPT_TYPE_NONE},
    {"--help", 'h', RTOPT_TYPE_NONE},
    {"-help", 'h', RTOPT_TYPE_NONE},
    {"/help", 'h', RTOPT_TYPE_NONE},
    {"/?", 'h', RTOPT_TYPE_NONE},
};
static_assert(RT_ELEMENTS(g_aInstallerOptions) == 36);

// Raw text: the backslashes and doubled quotes are what the user types.
constexpr char g_szHelpText[] = R"HELPTEXT(-- %s v%u.%u.%ur%u --

Command Line Parameters:

--extract
    Extract file contents to temporary directory
--logging
    Enables MSI installer logging (to extract path)
--msi-log-file <path/to/file>
    Sets MSI logging to <file>
--msiparams <parameters>
    Specifies extra parameters for the MSI installers
    double quoted arguments must be doubled and put
    in quotes: --msiparams "PROP=""a b c"""
--msi-prop <prop> <value>
    Adds <prop>=<value> to the MSI parameters,
    quoting the property value if necessary
--no-silent-cert
    Do not install Morvaquill Certificate automatically
    when --silent option is specified
--path
    Sets the path of the extraction directory
--reinstall
    Forces Morvaquill to get re-installed
--ignore-reboot
   Do not set exit code to 3010 if a reboot is required
--silent
   Enables silent mode installation
--version
   Displays version number and exit
-?, -h, --help
   Displays this help text and exit

Examples:
  %s --msiparams "INSTALLDIR=""C:\Program Files\Morvaquill""""
  %s --extract -path C:\Morv)HELPTEXT";

struct ParseContext {
    InstallerOptions *pOpts;
    RTOPTSTATE *pState;
    const char *pszArgv0;
};

size_t StrLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch])
        cch++;
    return cch;
}

// Adds one text to the parameter string, space-separated, in command-line
// order; the MSI engine gets it exactly as the user wrote it.
int AppendMsiParameter(InstallerOptions *pOpts, const char *pszText)
{
    if (pOpts->msiParameters[0] != '\0'
        && RTStrAppendBounded(pOpts->msiParameters, sizeof(pOpts->msiParameters), " ") < 0)
        return NotifyUsageError(g_szOutOfParamSpace);
    if (RTStrAppendBounded(pOpts->msiParameters, sizeof(pOpts->msiParameters), pszText) < 0)
        return NotifyUsageError(g_szOutOfParamSpace);
    return MORV_CONTINUE_RUN;
}

// An empty value brings the default back; anything else is taken relative
// to the current directory now, before the run changes directory.
int SetPathValue(char *pszField, size_t cbField, const char *pszValue, const char *pszTooLong)
{
    if (*pszValue == '\0') {
        __builtin_memset(pszField, 0, cbField);
        return MORV_CONTINUE_RUN;
    }
    int32_t const rc = RTPathMakeAbs(pszValue, pszField, cbField);
    if (RT_FAILURE_NP(rc))
        return NotifyUsageError(pszTooLong, rc);
    return MORV_CONTINUE_RUN;
}

int OnExtract(ParseContext *pCtx, RTOPTVALUE const *)
{
    pCtx->pOpts->extractOnly = true;
    return MORV_CONTINUE_RUN;
}

int OnSilent(ParseContext *, RTOPTVALUE const *)
{
    g_fSilent = true;
    return MORV_CONTINUE_RUN;
}

int OnNoSilentCert(ParseContext *pCtx, RTOPTVALUE const *)
{
    pCtx->pOpts->installCertificate = false;
    return MORV_CONTINUE_RUN;
}

// Kept so that command lines written for earlier releases still run.
int OnIgnored(ParseContext *, RTOPTVALUE const *)
{
    return MORV_CONTINUE_RUN;
}

int OnLogging(ParseContext *pCtx, RTOPTVALUE const *)
{
    pCtx->pOpts->logging = true;
    return MORV_CONTINUE_RUN;
}

int OnMsiLogFile(ParseContext *pCtx, RTOPTVALUE const *pValue)
{
    return SetPathValue(pCtx->pOpts->msiLogFile, sizeof(pCtx->pOpts->msiLogFile), pValue->str,
                        "MSI log file path is too long (%Rrc)");
}

int OnPath(ParseContext *pCtx, RTOPTVALUE const *pValue)
{
    return SetPathValue(pCtx->pOpts->extractPath, sizeof(pCtx->pOpts->extractPath), pValue->str,
                        "Extraction path is too long (%Rrc)");
}

int OnMsiParams(ParseContext *pCtx, RTOPTVALUE const *pValue)
{
    return AppendMsiParameter(pCtx->pOpts, pValue->str);
}

// --msi-prop NAME VALUE: the value is quoted when it has white space, so
// that the engine sees one property.
int OnMsiProp(ParseContext *pCtx, RTOPTVALUE const *pValue)
{
    const char *pszName = pValue->str;
    if (StrFindAnyOf(pszName, g_szWhiteSpace))
        return NotifyUsageError("The first argument to --msi-prop must not contain spaces: %s", pszName);

    RTOPTVALUE Value2;
    int32_t const rc = RTGetOptNextValue(pCtx->pState, &Value2, RTOPT_TYPE_STRING);
    if (rc == RTE_OPTION_MISSING_VALUE)
        return NotifyUsageError("--msi-prop takes two arguments, the 2nd is missing");
    if (RT_FAILURE_NP(rc))
        return NotifyUsageError("Failed to get 2nd --msi-prop argument: %Rrc", rc);

    char *pszParams = pCtx->pOpts->msiParameters;
    size_t const cchUsed = StrLen(pszParams);
    const char *pszSep = cchUsed ? " " : "";
    const char *pszFormat = StrFindAnyOf(Value2.str, g_szWhiteSpace) ? "%s%s=\"%s\"" : "%s%s=%s";
    ptrdiff_t const cch = RTStrFmtToBufEx(&pszParams[cchUsed], sizeof(pCtx->pOpts->msiParameters) - cchUsed,
                                          pszFormat, pszSep, pszName, Value2.str);
    if (cch < 2)
        return NotifyUsageError(g_szOutOfParamSpace);
    return MORV_CONTINUE_RUN;
}

int OnReinstall(ParseContext *pCtx, RTOPTVALUE const *)
{
    return AppendMsiParameter(pCtx->pOpts, g_szReinstallParams);
}

int OnIgnoreReboot(ParseContext *pCtx, RTOPTVALUE const *)
{
    pCtx->pOpts->ignoreReboot = true;
    return MORV_CONTINUE_RUN;
}

int OnVerbose(ParseContext *, RTOPTVALUE const *)
{
    g_cVerbosity++;
    return MORV_CONTINUE_RUN;
}

int OnVersion(ParseContext *, RTOPTVALUE const *)
{
    NotifyInfo("Version: %u.%u.%ur%u", MORV_VERSION_MAJOR, MORV_VERSION_MINOR, MORV_VERSION_BUILD,
               MORV_VERSION_REVISION);
    return 0;
}

int OnHelp(ParseContext *pCtx, RTOPTVALUE const *)
{
    NotifyInfo(g_szHelpText, g_szProductName, MORV_VERSION_MAJOR, MORV_VERSION_MINOR, MORV_VERSION_BUILD,
               MORV_VERSION_REVISION, pCtx->pszArgv0, pCtx->pszArgv0);
    return 0;
}

int CommandLineError(int rc, RTOPTVALUE const *pValue)
{
    if (g_fSilent)
        return RTGetOptShowError(rc, pValue);
    if (rc == RTE_OPTION_UNKNOWN)
        return NotifyUsageError("Unknown option \"%s\"\n"
                                "Please refer to the command line help by specifying \"-?\"\n"
                                "to get more information.",
                                pValue->str);
    return NotifyUsageError("Parameter parsing error: %Rrc\n"
                            "Please refer to the command line help by specifying \"-?\"\n"
                            "to get more information.",
                            rc);
}

// Positional arguments continue a parameter string; before one exists they
// are most likely a mistyped option.
int OnPositional(ParseContext *pCtx, RTOPTVALUE const *pValue)
{
    if (pCtx->pOpts->msiParameters[0] == '\0')
        return CommandLineError(RTI_NOT_OPTION, pValue);
    return AppendMsiParameter(pCtx->pOpts, pValue->str);
}

using OptionHandler = int (*)(ParseContext *pCtx, RTOPTVALUE const *pValue);

struct OptionEffect {
    int32_t rc;
    OptionHandler pfnHandler;
};

constexpr OptionEffect g_aOptionEffects[] = {
    {'x', OnExtract},
    {'s', OnSilent},
    {'c', OnNoSilentCert},
    {'t', OnIgnored},
    {'T', OnIgnored},
    {'l', OnLogging},
    {kMsiLogFileOpt, OnMsiLogFile},
    {'p', OnPath},
    {'m', OnMsiParams},
    {'P', OnMsiProp},
    {'f', OnReinstall},
    {'r', OnIgnoreReboot},
    {'v', OnVerbose},
    {'V', OnVersion},
    {'h', OnHelp},
    {RTI_NOT_OPTION, OnPositional},
};

} // namespace

const char *StrFindAnyOf(const char *psz, const char *pszSet)
{
    for (; *psz; psz++)
        for (const char *pszSetChar = pszSet; *pszSetChar; pszSetChar++)
            if (*psz == *pszSetChar)
                return psz;
    return nullptr;
}

int ParseInstallerCommandLine(int argc, char **argv, InstallerOptions *pOpts)
{
    __builtin_memset(pOpts, 0, sizeof(*pOpts));
    pOpts->installCertificate = true;
    g_fSilent = false;
    g_cVerbosity = 0;

    RTOPTSTATE State;
    int32_t const rcInit = RTGetOptInit(&State, argc, argv, g_aInstallerOptions, RT_ELEMENTS(g_aInstallerOptions),
                                        1, 0);
    if (RT_FAILURE_NP(rcInit))
        return NotifyError("RTGetOptInit failed: %Rrc", rcInit);

    ParseContext Ctx = {pOpts, &State, argc > 0 ? argv[0] : ""};
    for (;;) {
        RTOPTVALUE Value;
        int const rc = RTGetOpt(&State, &Value);
        if (rc == 0)
            return MORV_CONTINUE_RUN;
        OptionHandler pfnHandler = nullptr;
        for (OptionEffect const &Effect : g_aOptionEffects)
            if (Effect.rc == rc) {
                pfnHandler = Effect.pfnHandler;
                break;
            }
        int const rcRun = pfnHandler ? pfnHandler(&Ctx, &Value) : CommandLineError(rc, &Value);
        if (rcRun != MORV_CONTINUE_RUN)
            return rcRun;
    }
}
