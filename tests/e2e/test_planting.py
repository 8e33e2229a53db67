"""DLL planting: canary DLLs under the names of system DLLs that an installer
is likely to load (or that the libraries it uses load for it), placed beside
the installer and in its current directory, with Wine told to prefer such
native copies. A canary leaves a marker file beside itself when it is
loaded; no marker may appear after a complete silent installation or an
interactive run. A control program that loads the same names by bare name
must leave markers, or the canaries prove nothing."""
import os
import pathlib
import re
import shutil
import signal
import subprocess
import time

import pytest

import winrun
from fixtures import build

PACKER = winrun.PACKER
STUB = winrun.STUB
NAIVELOAD = winrun.E2E_BIN / "naiveload.exe"
UIDRIVER = winrun.E2E_BIN / "uidriver.exe"
CC = "i686-w64-mingw32-gcc-posix"
CAPTION = "Morvaquill Installer"

# Names the system never takes from an application's directory: Windows
# maps them from its known-DLL section. Wine has no such section and would
# take a planted copy of the system libraries the installer loads (ole32,
# shlwapi, user32 and what they pull in) from wherever its own search goes,
# which shows nothing about the installer; these stay on Wine's built-in
# copies in its runs.
KNOWN_DLLS = ["ole32", "oleaut32", "shlwapi", "gdiplus", "imm32", "setupapi", "shell32", "user32", "gdi32",
              "advapi32", "kernel32", "combase", "rpcrt4", "sechost", "shcore", "msvcrt", "ws2_32"]

# Loaded on demand, by name: each is a way in if the installer or a library
# it uses searches the application's or the current directory.
PLANTABLE = [
    "msi", "version", "cryptbase", "uxtheme", "dwmapi", "propsys", "userenv", "comctl32", "windows.storage",
    "profapi", "netmsg", "crypt32", "wintrust", "msasn1", "riched20", "winmm", "dbghelp", "cabinet", "secur32",
    "sspicli", "cryptsp", "bcrypt", "rsaenh", "cfgmgr32", "msimg32", "dwrite", "wldp", "apphelp", "ntmarta",
    "srvcli",
]

# Planted beside the installer and in its current directory: every name.
CANARIES = PLANTABLE + ["ole32", "oleaut32", "shlwapi", "gdiplus", "imm32", "setupapi"]

# Leaves "<its own path>.loaded" when it is mapped into a process and then
# refuses to load, so that a program that took it fails at once instead of
# running on with a library that exports nothing.
CANARY_SOURCE = r"""
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hinst, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 8];
        DWORD n = GetModuleFileNameW(hinst, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            static const WCHAR suffix[] = L".loaded";
            for (DWORD i = 0; i < sizeof(suffix) / sizeof(suffix[0]); i++)
                path[n + i] = suffix[i];
            HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }
    }
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
"""


# Wine's own DLLs that the installer's imports (KERNEL32, ntdll) pull in when
# the process starts (Wine's user32, loaded later, imports version, which the
# system's does not):
# a planted copy of one of these is taken before the installer runs a single
# instruction, under Wine only. They are planted but left on built-in copies.
WINE_DLL_DIRS = [pathlib.Path(p) for p in ("/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/wine/i386-windows",
                                           "/usr/lib32/wine/i386-windows", "/usr/local/lib/wine/i386-windows")]


def pe_imports(path):
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(path)], capture_output=True, text=True).stdout
    return {m.lower().removesuffix(".dll") for m in re.findall(r"DLL Name: (\S+)", out)}


def wine_start_up_closure(exe):
    seen, todo = set(), sorted(pe_imports(exe))
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for d in WINE_DLL_DIRS:
            if (d / f"{name}.dll").is_file():
                todo.extend(sorted(pe_imports(d / f"{name}.dll") - seen))
                break
    return seen


def overrides(names=PLANTABLE):
    # Native first: Wine would otherwise take its built-in copies and never
    # look at a planted file.
    return {"WINEDLLOVERRIDES": ",".join(names) + "=n,b"}


@pytest.fixture(scope="module")
def canary(tmp_path_factory):
    for f in (STUB, PACKER, NAIVELOAD):
        if not f.exists():
            pytest.fail(f"missing {f}: build the Windows tree (make build)")
    d = tmp_path_factory.mktemp("canary")
    (d / "canary.c").write_text(CANARY_SOURCE)
    out = d / "canary.dll"
    subprocess.run([CC, "-shared", "-O1", "-s", "-nostdlib", "-Wl,-e,_DllMain@12", "-o", str(out),
                    str(d / "canary.c"), "-lkernel32"], check=True, capture_output=True)
    return out


def installer_overrides():
    wine_only = wine_start_up_closure(STUB)
    names = [n for n in PLANTABLE if n not in wine_only]
    print(f"planted on Wine's built-in copies (loaded by Wine at start-up): {sorted(set(PLANTABLE) & wine_only)}")
    assert len(names) >= 20, names
    return overrides(names)


def end_processes_running(exe):
    """Ends the processes (under Wine: their emulator processes) whose command
    line names exe, a path only this test uses, and waits until they are gone."""
    needle = winrun.to_win(exe).encode()
    pids = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and needle in (entry / "cmdline").read_bytes():
                pids.append(int(entry.name))
        except OSError:
            pass
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and any(pathlib.Path(f"/proc/{pid}").exists() for pid in pids):
        time.sleep(0.1)


def plant(canary, d):
    d.mkdir(parents=True, exist_ok=True)
    for name in CANARIES:
        shutil.copyfile(canary, d / f"{name}.dll")
    return d


def planted_setup(canary, tmp_path, name, package):
    """An installer of the one package, packed into a directory of canaries,
    and a second directory of canaries to run it from: (beside, cwd, setup)."""
    beside = plant(canary, tmp_path / "beside")
    setup = beside / name
    r = subprocess.run([str(PACKER), "--stub", str(STUB), "--output", str(setup), f"all:{package}"],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return beside, plant(canary, tmp_path / "cwd"), setup


def markers(*dirs):
    return sorted(p.name for d in dirs for p in d.glob("*.loaded"))


def test_installer_imports_only_known_dlls():
    # Static imports are resolved before the installer can restrict the
    # search: anything outside the known-DLL section would be looked for
    # beside it first. Everything else must be loaded on demand, by path.
    names = sorted(pe_imports(STUB))
    assert "kernel32" in names, names
    assert [n for n in names if n not in KNOWN_DLLS + ["ntdll"]] == [], names


def test_control_program_loads_every_planted_canary(tmp_path, canary):
    # The control sits beside its canaries and loads them by bare name: if
    # this leaves no markers, neither the canaries nor the overrides work.
    d = plant(canary, tmp_path / "control")
    shutil.copyfile(NAIVELOAD, d / "naiveload.exe")
    r = winrun.run(d / "naiveload.exe", *[f"{n}.dll" for n in CANARIES], cwd=d, env=overrides(CANARIES))
    # Each canary refuses to stay loaded: the loads fail, the markers remain.
    assert r.code == 1 and "loaded" not in r.stdout, r
    assert markers(d) == sorted(f"{n}.dll.loaded" for n in CANARIES), r.stdout


def test_silent_installation_loads_no_planted_dll(tmp_path, canary):
    msi = build.build_msi("multiarch", "x86", tmp_path / "pkg", variant="planting")
    beside, cwd, setup = planted_setup(canary, tmp_path, "Setup.exe", msi)
    code = "{" + build.product_code("multiarch", "x86", "planting") + "}"
    try:
        r = winrun.run(setup, "--silent", "--no-silent-cert", cwd=cwd, env=installer_overrides(), timeout=180)
        assert markers(beside, cwd) == [], r
        assert (r.code, r.stderr) == (0, ""), r
        # The engine did install: the product is registered and can go again.
        removed = winrun.wine("msiexec", "/x", code, "/qn", check=False)
        assert removed.returncode == 0, removed
    finally:
        winrun.wine("msiexec", "/x", code, "/qn", check=False)
    assert markers(beside, cwd) == []


# Measured under this Wine, also where i386 programs run natively: with the
# planted names on native-first overrides, an interactive run takes a canary
# for a dependency of the window and picture libraries (propsys beside the
# installer, msimg32 from the current directory), although the installer
# restricted the DLL search to the system directory; the canary fails to
# initialise and the run aborts on a missing export (windowscodecs'
# WICCreateImagingFactory_Proxy, msimg32's AlphaBlend). On Windows these are
# known system libraries, never searched for.
@pytest.mark.xfail(strict=True, reason="Wine searches the dependencies of the picture decoder's libraries beside "
                   "the installer and in the current directory despite the system-directory-only DLL search")
def test_interactive_run_loads_no_planted_dll(tmp_path, canary):
    if not UIDRIVER.exists():
        pytest.fail(f"missing {UIDRIVER}: build the Windows tree (make build)")
    (tmp_path / "p.cab").write_bytes(b"MSCF" + bytes(range(200)))
    beside, cwd, setup = planted_setup(canary, tmp_path, "PlantSetup.exe", tmp_path / "p.cab")
    out = tmp_path / "out"
    # Not silent: the splash window, then the information box at the end.
    # Output goes to files: the window station Wine starts for the first
    # window would hold pipes open long after the installer ended.
    with open(tmp_path / "stdout", "wb") as fo, open(tmp_path / "stderr", "wb") as fe:
        proc, codefile = winrun.start(setup, "--extract", "--path", winrun.to_win(out), cwd=cwd,
                                      env=installer_overrides(), stdout=fo, stderr=fe)
        try:
            pressed = subprocess.run(["wine", str(UIDRIVER), "press", CAPTION, "IDOK", "60000"],
                                     env=winrun.wine_env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, timeout=180)
            proc.wait(timeout=60)
        finally:
            # A run that hangs is ended here: the launcher's end would not
            # end the installer, which would keep its single-instance guard
            # for the tests that follow.
            if proc.poll() is None:
                end_processes_running(setup)
                proc.kill()
                proc.wait()
    assert markers(beside, cwd) == []
    assert pressed.returncode == 0, "no information box to press"
    assert int(codefile.read_text().strip()) == 0
    assert (out / "p.cab").read_bytes() == (tmp_path / "p.cab").read_bytes()
