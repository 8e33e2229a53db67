"""The installer's command line as a deployment script sees it: the help and
version texts on standard output, every command-line error on standard error
with exit code 2, and the MSI parameter string the options assemble (read
back from the verbose summary)."""
import pathlib
import re

import pytest

import winrun

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROG_NAME = "MorvStub.exe"

# The help text, raw: backslashes and doubled quotes are literal.
HELP_LINES = [
    "-- Morvaquill Installer v{version} --",
    "",
    "Command Line Parameters:",
    "",
    "--extract",
    "    Extract file contents to temporary directory",
    "--logging",
    "    Enables MSI installer logging (to extract path)",
    "--msi-log-file <path/to/file>",
    "    Sets MSI logging to <file>",
    "--msiparams <parameters>",
    "    Specifies extra parameters for the MSI installers",
    "    double quoted arguments must be doubled and put",
    '    in quotes: --msiparams "PROP=""a b c"""',
    "--msi-prop <prop> <value>",
    "    Adds <prop>=<value> to the MSI parameters,",
    "    quoting the property value if necessary",
    "--no-silent-cert",
    "    Do not install Morvaquill Certificate automatically",
    "    when --silent option is specified",
    "--path",
    "    Sets the path of the extraction directory",
    "--reinstall",
    "    Forces Morvaquill to get re-installed",
    "--ignore-reboot",
    "   Do not set exit code to 3010 if a reboot is required",
    "--silent",
    "   Enables silent mode installation",
    "--version",
    "   Displays version number and exit",
    "-?, -h, --help",
    "   Displays this help text and exit",
    "",
    "Examples:",
    '  {prog} --msiparams "INSTALLDIR=""C:\\Program Files\\Morvaquill""""',
    "  {prog} --extract -path C:\\Morv",
]


@pytest.fixture(scope="module")
def stub():
    if not winrun.STUB.exists():
        pytest.skip(f"{winrun.STUB} has not been built")
    return winrun.STUB


def build_version():
    header = winrun.WIN_BUILD / "generated" / "morv-version.h"
    values = dict(re.findall(r"#define MORV_VERSION_(\w+) (\d+)u", header.read_text()))
    return "{MAJOR}.{MINOR}.{BUILD}r{REVISION}".format(**values)


def status_message(name):
    """The message text of a status code (what %Rrs prints)."""
    for line in (ROOT / "Runtime" / "common" / "err" / "status.tsv").read_text().splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[1] == name:
            return fields[2]
    raise KeyError(name)


def lines_of(text):
    # Standard output is a text stream: line feeds may arrive as CR LF.
    return text.replace("\r\n", "\n")


@pytest.mark.parametrize("help_arg", ["--help", "-?", "/?", "-h", "/help"])
def test_help_text(stub, help_arg):
    r = winrun.run(stub, "--silent", help_arg)
    assert r.code == 0, r
    prog = winrun.to_win(stub)
    expected = "\n".join(HELP_LINES).format(version=build_version(), prog=prog) + "\n"
    assert lines_of(r.stdout) == expected
    assert r.stderr == ""


@pytest.mark.parametrize("version_arg", ["--version", "-V", "/version"])
def test_version_line(stub, version_arg):
    r = winrun.run(stub, "--silent", version_arg)
    assert r.code == 0, r
    assert lines_of(r.stdout) == f"Version: {build_version()}\n"
    assert r.stderr == ""


# Silent command-line errors: the parser's own report (or the installer's
# usage text), one prefixed line on standard error, exit code 2.
ERROR_CASES = [
    (["--bogus"], "Unknown option: '--bogus'"),
    (["--Silent"], "Unknown option: '--Silent'"),
    (["-x5"], "Unknown option: '5'"),
    (["--silent=1"], "Unknown option: '--silent=1'"),
    (["B=2", "--msiparams", "A=1"], "Invalid parameter: B=2"),
    (["/V"], "Invalid parameter: /V"),
    (["/x"], "Invalid parameter: /x"),
    (["--msi-prop", "PROP"], "--msi-prop takes two arguments, the 2nd is missing"),
    (["--msi-prop", "P Q", "v"], "The first argument to --msi-prop must not contain spaces: P Q"),
    (["--msiparams", "a" * 4096], "Out of space for MSI parameters and properties"),
    (["--msiparams", "a" * 4000, "--msi-prop", "P", "v" * 100], "Out of space for MSI parameters and properties"),
]


@pytest.mark.parametrize("args,line", ERROR_CASES, ids=[" ".join(a)[:40] for a, _ in ERROR_CASES])
def test_silent_command_line_errors(stub, args, line):
    r = winrun.run(stub, "--silent", *args)
    assert r.code == 2, r
    assert lines_of(r.stderr) == f"{PROG_NAME}: error: {line}\n"
    assert r.stdout == ""


def test_silent_missing_value_names_the_option(stub):
    # The status text's own wording (capital, full stop) belongs to the status
    # table's renderer; what matters here is the option and the status.
    r = winrun.run(stub, "--silent", "--path")
    assert r.code == 2, r
    prefix = f"{PROG_NAME}: error: --path: "
    err = lines_of(r.stderr)
    assert err.startswith(prefix) and err.endswith("\n") and err.count("\n") == 1, r
    rest = err[len(prefix):-1]
    assert rest.rstrip(".").lower() == status_message("RTE_OPTION_MISSING_VALUE").lower()


def test_silent_path_too_long(stub):
    r = winrun.run(stub, "--silent", "--path", "C:\\" + "d" * 4200)
    assert r.code == 2, r
    assert lines_of(r.stderr).startswith(f"{PROG_NAME}: error: Extraction path is too long (")
    r = winrun.run(stub, "--silent", "--msi-log-file", "C:\\" + "d" * 4200)
    assert r.code == 2, r
    assert lines_of(r.stderr).startswith(f"{PROG_NAME}: error: MSI log file path is too long (")


PARAM_CASES = [
    (["--msiparams", "A=1", "B=2"], "A=1 B=2"),
    (["--msiparams", "A=1", "B=2", "--msi-prop", "PROP", "a b"], 'A=1 B=2 PROP="a b"'),
    (["--msi-prop", "PROP", "value"], "PROP=value"),
    (["--msiparams", "X=1", "--reinstall"], "X=1 REINSTALLMODE=vomus REINSTALL=ALL"),
    (["--msiparams", "a" * 4095], "a" * 4095),
    ([], "<None>"),
]


@pytest.mark.parametrize("args,params", PARAM_CASES, ids=[" ".join(a)[:40] for a, _ in PARAM_CASES])
def test_parameter_string_in_verbose_summary(stub, tmp_path, args, params):
    # Extract-only into a directory of the test's own, so that the run
    # touches nothing else whatever the stub carries.
    r = winrun.run(stub, "--silent", "--verbose", "--extract", "--path", winrun.to_win(tmp_path), *args)
    out = lines_of(r.stdout)
    assert f"Additional MSI parameters: {params}\n" in out, r
    assert "Silent installation      : true\n" in out
