"""Runs the built Windows programs under Wine for the system tests.

One Xvfb display and one fully initialised "base" Wine prefix are shared by
every test module (creating a prefix takes ~10 s; copying one takes well under
a second). Each test gets a private copy of the base through WinePrefix, with
its own wineserver, so tests cannot see each other's registry, files or
windows' processes, and two modules can run at the same time.

Environment:
  MIRROWCAST_EXE           unix path of the built VelmorathisMirrowcast.exe
  MIRROWCAST_STANDIN_EXE   unix path of the built teams_standin.exe
  MIRROWCAST_WINE_BASE     directory for the base prefix, the Xvfb record and
                           the lock that serialises their creation
  MIRROWCAST_KEEP_PREFIX=1 leave each test's prefix on disk for a post-mortem

`python3 harness.py setup` prepares the base (handy as a ctest fixture);
`python3 harness.py teardown` stops the Xvfb it started.
"""

import contextlib
import fcntl
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

# Keeps Wine from offering to download Mono and Gecko, which would hang a
# headless run on a dialog nobody answers.
_DLL_OVERRIDES = "mscoree,mshtml="
_READY_MARKER = ".mirrowcast-base-ready"


class HarnessError(RuntimeError):
    pass


def _env_path(name, must_exist=True):
    value = os.environ.get(name)
    if not value:
        raise HarnessError(f"{name} is not set; the Wine tests are run by ctest, which sets it")
    if must_exist and not os.path.exists(value):
        raise HarnessError(f"{name}={value} does not exist (build it first)")
    return os.path.abspath(value)


def mirrowcast_exe():
    return _env_path("MIRROWCAST_EXE")


def standin_exe():
    return _env_path("MIRROWCAST_STANDIN_EXE")


def base_dir():
    path = _env_path("MIRROWCAST_WINE_BASE", must_exist=False)
    os.makedirs(path, exist_ok=True)
    return path


def _base_prefix():
    return os.path.join(base_dir(), "base-prefix")


@contextlib.contextmanager
def _locked(exclusive):
    with open(os.path.join(base_dir(), "lock"), "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX if exclusive else fcntl.LOCK_SH)
        try:
            yield
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)


def _wine_env(prefix, display):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES=_DLL_OVERRIDES, DISPLAY=f":{display}")
    return env


# --- Xvfb -------------------------------------------------------------------

def _xvfb_record():
    return os.path.join(base_dir(), "xvfb")


def _running_xvfb():
    """The display number of our Xvfb if it is still alive, else None."""
    try:
        with open(_xvfb_record()) as f:
            display, pid = (int(x) for x in f.read().split())
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = f.read().split(b"\0")
    except (OSError, ValueError):
        return None
    # A recycled pid would pass a bare kill(pid, 0).
    if not cmdline or not cmdline[0].endswith(b"Xvfb"):
        return None
    if not os.path.exists(f"/tmp/.X11-unix/X{display}"):
        return None
    return display


def _start_xvfb():
    # -displayfd makes Xvfb pick a free display itself and tell us which, so
    # there is no race with other X servers being started on the machine.
    read_end, write_end = os.pipe()
    log = open(os.path.join(base_dir(), "xvfb.log"), "ab")
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
        start_new_session=True)  # outlives this test; `teardown` stops it
    os.close(write_end)
    with os.fdopen(read_end) as f:
        text = f.readline().strip()
    log.close()
    if not text.isdigit():
        proc.kill()
        raise HarnessError("Xvfb did not start; see xvfb.log in MIRROWCAST_WINE_BASE")
    with open(_xvfb_record(), "w") as f:
        f.write(f"{text} {proc.pid}\n")
    return int(text)


def display():
    """The display number of the shared Xvfb (ensure_base() starts it)."""
    number = _running_xvfb()
    if number is None:
        raise HarnessError("the shared Xvfb is not running; call ensure_base() first")
    return number


# --- the base prefix --------------------------------------------------------

def _create_base(prefix, display_number):
    shutil.rmtree(prefix, ignore_errors=True)  # a half-made one from a killed run
    env = _wine_env(prefix, display_number)

    def run(*cmd):
        subprocess.run(cmd, env=env, check=True, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    run("wineboot", "-i")
    run("wineserver", "-w")
    # wineboot links Desktop, Documents, ... to the unix home directory; a test
    # must not leave files there, so they become ordinary folders in the prefix.
    for folder, dirs, _ in os.walk(os.path.join(prefix, "drive_c", "users")):
        for name in dirs:
            link = os.path.join(folder, name)
            if os.path.islink(link):
                os.remove(link)
                os.mkdir(link)
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    # This Wine build does not find its own fonts unless they are in the prefix.
    for font in glob.glob("/usr/share/wine/fonts/*.ttf"):
        shutil.copy(font, fonts)
    # A crash exits (code 5) instead of waiting for a debugger forever.
    run("wine", "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
        "/v", "Debugger", "/d", "", "/f")
    # Without a window manager, a managed window takes ~2 s to close.
    run("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
    run("wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Segoe UI", "/d", "Tahoma", "/f")
    # Let the server exit by itself so it writes the registry to disk.
    run("wineserver", "-w")
    open(os.path.join(prefix, _READY_MARKER), "w").close()


def _reap_abandoned_prefixes(display_number):
    """Stops and removes prefixes whose test process died without cleaning
    up (killed by a ctest timeout, say): their persistent wineservers and
    windows would otherwise stay on the shared display for good."""
    for owner_file in glob.glob(os.path.join(base_dir(), "prefixes", "*", "owner")):
        root = os.path.dirname(owner_file)
        try:
            with open(owner_file) as f:
                os.kill(int(f.read()), 0)
            continue  # its test is still running
        except ProcessLookupError:
            pass
        except (OSError, ValueError):
            continue
        subprocess.run(["wineserver", "-k"], env=_wine_env(os.path.join(root, "wine"), display_number),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(root, ignore_errors=True)


def ensure_base():
    """Starts the shared Xvfb and creates the base prefix, each only once.

    Safe to call from several processes at once: the first one does the work
    under an exclusive lock, the others wait for it and then find both ready.
    Returns the display number.
    """
    with _locked(exclusive=True):
        number = _running_xvfb()
        if number is None:
            number = _start_xvfb()
        _reap_abandoned_prefixes(number)
        prefix = _base_prefix()
        if not os.path.exists(os.path.join(prefix, _READY_MARKER)):
            _create_base(prefix, number)
        # Copies must be taken of a prefix that no server is writing.
        subprocess.run(["wineserver", "-k"], env=_wine_env(prefix, number),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return number


def stop_xvfb():
    with _locked(exclusive=True):
        number = _running_xvfb()
        if number is not None:
            with open(_xvfb_record()) as f:
                pid = int(f.read().split()[1])
            os.kill(pid, 15)
        with contextlib.suppress(FileNotFoundError):
            os.remove(_xvfb_record())


# --- one test's prefix ------------------------------------------------------

_ESCAPE = re.compile(r"\x1b(\[[?0-9;]*[a-zA-Z]|\][^\x07]*\x07|[()][0-9A-Za-z]|[=>])")


# Wine's own DLLs and programs make up ~690 of the prefix's ~700 MB and are
# only ever read, so a copy shares them with the base through hard links: a
# full `cp -a` costs 1-3 s and as much disk writeback per test again.
_SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".tlb", ".ocx", ".cpl", ".acm", ".ax", ".ds")


def _link_or_copy(src, dst):
    if src.lower().endswith(_SHARED_SUFFIXES):
        os.link(src, dst)
    else:
        shutil.copy2(src, dst)


class WinePrefix:
    """A private copy of the base prefix with its own persistent wineserver."""

    def __init__(self):
        self.root = None
        self._started = []

    def __enter__(self):
        self.display = ensure_base()
        parent = os.path.join(base_dir(), "prefixes")
        os.makedirs(parent, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix="prefix-", dir=parent)
        self.path = os.path.join(self.root, "wine")
        with _locked(exclusive=False):
            shutil.copytree(_base_prefix(), self.path, symlinks=True, copy_function=_link_or_copy)
        self.env = _wine_env(self.path, self.display)
        self.drive_c = os.path.join(self.path, "drive_c")
        self.programdata = os.path.join(self.drive_c, "ProgramData")
        with open(os.path.join(self.root, "owner"), "w") as f:
            f.write(str(os.getpid()))
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # -p keeps the server up between runs: without it every `wine` pays
        # for a server start and a registry load (~1 s instead of ~0.1 s).
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, **quiet)
        # The first program in a prefix starts its services and desktop
        # process, which inherit that program's stdout: were it a test's
        # captured pipe or `script`'s terminal, that would never see EOF.
        subprocess.run(["wine", "wineboot"], env=self.env, check=True, timeout=120, **quiet)
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        for proc in self._started:
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(timeout=10)
        if os.environ.get("MIRROWCAST_KEEP_PREFIX") == "1":
            os.remove(os.path.join(self.root, "owner"))
            print(f"kept Wine prefix {self.path}", file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)
        return False

    def winpath(self, unix_path):
        """The Windows path under which a program in this prefix sees unix_path."""
        unix_path = os.path.abspath(unix_path)
        if unix_path == self.drive_c:
            return "C:\\"
        if unix_path.startswith(self.drive_c + os.sep):
            return "C:" + unix_path[len(self.drive_c):].replace("/", "\\")
        return "Z:" + unix_path.replace("/", "\\")

    def run(self, exe, args=(), timeout=60):
        """Runs exe and waits: (exit code, elapsed seconds).

        `wine` passes each argument through as one Windows argument (it quotes
        them the way CommandLineToArgvW undoes). Raises TimeoutExpired.
        """
        started = time.monotonic()
        proc = subprocess.run(["wine", exe, *args], env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return proc.returncode & 0xFF, time.monotonic() - started

    def run_console(self, exe, args=(), timeout=60):
        """Runs exe from a console, as from cmd.exe: (exit code, console text).

        Only a program started by `start /wait` on a pseudo-terminal finds a
        parent console to attach to under Wine; `script` provides the terminal.
        """
        # /unix: take exe as a unix path. start.exe re-quotes the arguments
        # for the program's command line, so they arrive as given.
        command = shlex.join(["wine", "start", "/wait", "/unix", exe, *args])
        proc = subprocess.run(["script", "-qec", command, "/dev/null"], env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = _ESCAPE.sub("", proc.stdout.decode("utf-8", "replace")).replace("\r", "")
        return proc.returncode & 0xFF, text

    def start(self, exe, args=(), **popen_args):
        """Starts exe in the background; the prefix's exit kills it if still running."""
        popen_args.setdefault("stdin", subprocess.DEVNULL)
        popen_args.setdefault("stdout", subprocess.DEVNULL)
        popen_args.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(["wine", exe, *args], env=self.env, **popen_args)
        self._started.append(proc)
        return proc

    def shell_open(self, url, timeout=60):
        """Hands url to the shell's protocol dispatch, as a browser does; the exit code."""
        proc = subprocess.run(["wine", "start", "/wait", url], env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return proc.returncode & 0xFF

    def reg(self, *args):
        """`wine reg ARGS...`; stdout/stderr decoded (non-ASCII text comes as code page 437)."""
        proc = subprocess.run(["wine", "reg", *args], env=self.env, timeout=60,
                              stdin=subprocess.DEVNULL, capture_output=True)
        proc.stdout = proc.stdout.decode("cp437", "replace").replace("\r", "")
        proc.stderr = proc.stderr.decode("utf-8", "replace")
        return proc

    def copy_in(self, unix_src, windows_dir, name):
        r"""Copies unix_src to C:\<windows_dir>\<name>; returns the unix path of the copy."""
        target_dir = os.path.join(self.drive_c, *windows_dir.replace("\\", "/").strip("/").split("/"))
        os.makedirs(target_dir, exist_ok=True)
        target = os.path.join(target_dir, name)
        # Never write through an existing file: it may be a hard link into the base.
        with contextlib.suppress(FileNotFoundError):
            os.remove(target)
        shutil.copy(unix_src, target)
        return target

    def screenshot(self, png_path):
        subprocess.run(["import", "-display", f":{self.display}", "-window", "root", png_path],
                       check=True, timeout=30, stdin=subprocess.DEVNULL)


if __name__ == "__main__":
    if sys.argv[1:] == ["setup"]:
        print(f"Xvfb on :{ensure_base()}, base prefix in {_base_prefix()}")
    elif sys.argv[1:] == ["teardown"]:
        stop_xvfb()
    else:
        sys.exit("usage: harness.py setup|teardown")
