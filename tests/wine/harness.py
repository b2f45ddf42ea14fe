"""Runs the built Windows programs under Wine for the system tests.

One fully initialised "base" Wine prefix is shared by every test module
(creating a prefix takes ~15 s; copying one takes ~0.1 s). Each test gets a
private copy through WinePrefix, with its own wineserver, so tests cannot see
each other's registry, files or processes, and two modules can run at once.

Each live WinePrefix also gets an Xvfb display to itself, from a small pool of
displays that are started on first use and then reused. Two Wine prefixes on
one X display fight over the X keyboard focus: when one activates a window,
the other loses its foreground window and synthesised keystrokes vanish.

Displays belong to a pool: the tests' run uses "tests", and a program run
beside it (scripts/demo, bench/run) takes a pool of its own with
use_own_display_pool(), so that stopping its displays leaves the tests' alone.

Environment:
  MIRROWCAST_EXE           unix path of the built VelmorathisMirrowcast.exe
  MIRROWCAST_STANDIN_EXE   unix path of the built teams_standin.exe
  MIRROWCAST_PROBE_EXE     unix path of the built probe.exe
  MIRROWCAST_VERSION       the project's version, which the program carries
  MIRROWCAST_WINE_BASE     directory for the base prefix, the test prefixes,
                           the Xvfb records and the locks
  MIRROWCAST_KEEP_PREFIX=1 leave each test's prefix on disk for a post-mortem
  MIRROWCAST_DISPLAY_POOL  the pool of displays this process uses ("tests")

`python3 harness.py setup` prepares the base (handy as a ctest fixture);
`python3 harness.py teardown` stops the Xvfb servers it started.
"""

import contextlib
import fcntl
import getpass
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
_QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


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


def probe_exe():
    """tests/tools/probe, which runs inside a prefix next to the program."""
    return _env_path("MIRROWCAST_PROBE_EXE")


def program_version():
    """CMake's project version, which the build wrote into the program and the package: ctest
    sets it; scripts run by hand (the benchmarks, the demo) read it where it is written."""
    if "MIRROWCAST_VERSION" in os.environ:
        return os.environ["MIRROWCAST_VERSION"]
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")) as f:
        return re.search(r"project\(VelmorathisMirrowcast VERSION ([0-9.]+)", f.read()).group(1)


def banner():
    """The text every run of the program logs first, after a bare line break."""
    return f"Velmorathis Desktop Mirrowcast {program_version()}\n"


_TEXTS_FILE = os.path.join(os.path.dirname(__file__), "..", "support", "texts.txt")


def _load_texts():
    """tests/support/texts.txt, the texts the unit tests expect too: a line
    "name = text" adds text to name's; escapes \\n, \\r, \\\\ and \\uXXXX."""
    escape = re.compile(r"\\(n|r|\\|u[0-9A-Fa-f]{4})")
    texts = {}
    with open(_TEXTS_FILE, encoding="ascii") as f:
        for row in f.read().splitlines():
            if not row or row.startswith("#"):
                continue
            name, part = row.split(" = ", 1)
            texts[name] = texts.get(name, "") + escape.sub(
                lambda m: {"n": "\n", "r": "\r", "\\": "\\"}.get(m.group(1)) or chr(int(m.group(1)[1:], 16)), part)
    return texts


_TEXTS = _load_texts()


def text(name, value=None):
    """The text called name, with each %s and %d in it replaced by value."""
    found = _TEXTS[name]
    return found if value is None else re.sub(r"%[sd]", lambda _: str(value), found)


def line(name, value=None):
    """The text called name as one of the lines log_lines gives: no line break."""
    return text(name, value).removesuffix("\n")


# /debuginfo names the folder its entries went to before it reports on it.
_LOG_FOLDER = r"C:\ProgramData\Velmorathis\Velmorathis Mirrowcast"
FOLDER_IN_USE = f"Log folder in use: {_LOG_FOLDER}\n"
# Wine keeps no access list: the log folder's reads back as Wine's default,
# unprotected, so /validateconfig and /debuginfo always end with these three
# entries (on Windows only for a folder with a weaker list).
FOLDER_REPORT = text("weaker folder", f'"{_LOG_FOLDER}"').splitlines(keepends=True)


# A log entry's time stamp; only one at the start of a line begins an entry:
# one inside a text is part of that text.
LOG_STAMP = re.compile(r"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] ", re.MULTILINE)


def log_entries(text):
    """A log's texts in order, time stamps removed; the bare line break a
    file starts with (a run's first) is an entry of its own."""
    found = ["\n"] if text.startswith("\n") else []
    position = len(found)
    for match in LOG_STAMP.finditer(text, position):
        found.append(text[position:match.start()])
        position = match.end()
    found.append(text[position:])
    return [t for t in found if t]


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


def _wine_env(prefix, display=None):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all", WINEDLLOVERRIDES=_DLL_OVERRIDES)
    if display is not None:
        env["DISPLAY"] = f":{display}"
    return env


# --- Xvfb displays ----------------------------------------------------------

def _pool():
    return os.environ.get("MIRROWCAST_DISPLAY_POOL", "tests")


def use_own_display_pool(name):
    """Makes this process (and what it starts) use displays of its own, named
    after it and its pid, so that stop_xvfb() stops those and no others."""
    os.environ["MIRROWCAST_DISPLAY_POOL"] = f"{name}-{os.getpid()}"


def _xvfb_record(slot):
    return os.path.join(base_dir(), f"xvfb-{_pool()}-{slot}")


def _running_xvfb(slot):
    """(display number, pid) of the slot's Xvfb if it is still alive, else None."""
    return _running_xvfb_record(_xvfb_record(slot))


def _running_xvfb_record(record):
    try:
        with open(record) as f:
            display, pid = (int(x) for x in f.read().split())
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            program = f.read().split(b"\0")[0]
    except (OSError, ValueError):
        return None
    # A recycled pid would pass a bare kill(pid, 0).
    if not program.endswith(b"Xvfb") or not os.path.exists(f"/tmp/.X11-unix/X{display}"):
        return None
    return display, pid


def _xvfb_display(slot):
    """The slot's display number, starting its Xvfb if needed (under the lock)."""
    running = _running_xvfb(slot)
    if running:
        return running[0]
    # -displayfd makes Xvfb pick a free display itself and tell us which, so
    # there is no race with other X servers being started on the machine.
    read_end, write_end = os.pipe()
    with open(os.path.join(base_dir(), "xvfb.log"), "ab") as log:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)  # outlives this test; `teardown` stops it
    os.close(write_end)
    with os.fdopen(read_end) as f:
        text = f.readline().strip()
    if not text.isdigit():
        proc.kill()
        raise HarnessError("Xvfb did not start; see xvfb.log in MIRROWCAST_WINE_BASE")
    with open(_xvfb_record(slot), "w") as f:
        f.write(f"{text} {proc.pid}\n")
    return int(text)


def _claim_display_slot():
    """An open lock file whose flock reserves a display slot for this process
    (released when the file is closed, or when the process dies), and its number."""
    for slot in range(16):
        lock = open(os.path.join(base_dir(), f"display-{_pool()}-{slot}.lock"), "a+")
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lock, slot
        except BlockingIOError:
            lock.close()
    raise HarnessError("all 16 display slots are in use")


def _pool_abandoned(pool):
    """A pool named after a process ("demo-1234") whose process has ended."""
    owner = pool.rsplit("-", 1)[-1]
    if not owner.isdigit():
        return False
    try:
        os.kill(int(owner), 0)
    except ProcessLookupError:
        return True
    except OSError:
        pass
    return False


def stop_xvfb():
    """Stops the displays of this process's pool, and those of pools whose
    process has ended without stopping its own; never another run's."""
    own = _pool()
    with _locked(exclusive=True):
        for record in glob.glob(os.path.join(base_dir(), "xvfb-*-*")):
            pool, slot = os.path.basename(record)[len("xvfb-"):].rsplit("-", 1)
            if pool != own and not _pool_abandoned(pool):
                continue
            running = _running_xvfb_record(record)
            if running:
                os.kill(running[1], 15)
            os.remove(record)


# --- the base prefix --------------------------------------------------------

def _base_version():
    # A Wine upgrade rewrites the DLLs a prefix holds; a base made by another
    # Wine must be made again, not shared with hard links (see _link_or_copy).
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return f"{version} {os.stat('/usr/share/wine/wine.inf').st_mtime_ns}\n"


def _wineboot(env, *args, persistent=False):
    """`wine wineboot ARGS`, tried twice: now and then it exits 1 for no reason
    it prints. Its output goes to this process's stderr, which is the test's
    log; the second failure raises. `persistent`: the prefix's server is kept
    up (wineserver -p), and is so again for the second attempt."""
    for attempt in (1, 2):
        # A file, not a pipe: the services wineboot starts keep its output
        # open for as long as they run, and a pipe's reader would wait for them.
        with tempfile.TemporaryFile() as output_file:
            proc = subprocess.run(["wine", "wineboot", *args], env=env, timeout=300, stdin=subprocess.DEVNULL,
                                  stdout=output_file, stderr=subprocess.STDOUT)
            output_file.seek(0)
            output = output_file.read().decode("utf-8", "replace").strip()
        if proc.returncode == 0:
            return
        print(f"{shlex.join(['wineboot', *args])} exited {proc.returncode} (attempt {attempt} of 2)"
              + (f":\n{output}" if output else ", printing nothing"), file=sys.stderr, flush=True)
        # What the failed one started must not meet the second attempt.
        subprocess.run(["wineserver", "-k"], env=env, **_QUIET)
        subprocess.run(["wineserver", "-w"], env=env, timeout=60, **_QUIET)
        if persistent:
            subprocess.run(["wineserver", "-p"], env=env, check=True, **_QUIET)
    raise HarnessError(f"{shlex.join(['wineboot', *args])} failed twice in {env['WINEPREFIX']}")


def _create_base(prefix, display):
    shutil.rmtree(prefix, ignore_errors=True)  # a half-made one from a killed run
    env = _wine_env(prefix, display)

    def run(*cmd):
        subprocess.run(cmd, env=env, check=True, timeout=300, **_QUIET)

    _wineboot(env, "-i")
    run("wineserver", "-w")
    # wineboot links Desktop, Documents, ... to the unix home directory; a test
    # must not leave files there, so they become ordinary folders in the prefix.
    for folder, dirs, _ in os.walk(os.path.join(prefix, "drive_c", "users")):
        for name in dirs:
            link = os.path.join(folder, name)
            if os.path.islink(link):
                os.remove(link)
                os.mkdir(link)
    # This Wine build does not find its own fonts unless they are in the prefix.
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    for font in glob.glob("/usr/share/wine/fonts/*.ttf"):
        shutil.copy(font, fonts)
    # A crash exits (code 5) instead of waiting for a debugger forever.
    run("wine", "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
        "/v", "Debugger", "/d", "", "/f")
    # Without a window manager, a managed window takes ~2 s to close.
    run("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
    run("wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Segoe UI", "/d", "Tahoma", "/f")
    # Let the server exit by itself: that is when it writes the registry files.
    run("wineserver", "-w")
    with open(os.path.join(prefix, ".mirrowcast-base"), "w") as f:
        f.write(_base_version())


def _reap_abandoned_prefixes():
    """Stops and removes prefixes whose test process died without cleaning
    up (killed by a ctest timeout, say): their persistent wineservers and
    windows would otherwise stay around for good."""
    for owner_file in glob.glob(os.path.join(base_dir(), "prefixes", "*", "owner")):
        try:
            with open(owner_file) as f:
                os.kill(int(f.read()), 0)
            continue  # its test is still running
        except ProcessLookupError:
            pass
        except (OSError, ValueError):
            continue
        root = os.path.dirname(owner_file)
        subprocess.run(["wineserver", "-k"], env=_wine_env(os.path.join(root, "wine")), **_QUIET)
        shutil.rmtree(root, ignore_errors=True)


def ensure_base():
    """Creates the base prefix once, and clears up after killed tests.

    Safe to call from several processes at once: the first one does the work
    under an exclusive lock, the others wait for it and then find it ready.
    """
    with _locked(exclusive=True):
        _reap_abandoned_prefixes()
        prefix = _base_prefix()
        try:
            with open(os.path.join(prefix, ".mirrowcast-base")) as f:
                ready = f.read() == _base_version()
        except OSError:
            ready = False
        if not ready:
            _create_base(prefix, _xvfb_display(0))
            # Copies must be taken of a prefix that no server is writing.
            subprocess.run(["wineserver", "-k"], env=_wine_env(prefix), **_QUIET)


# --- one test's prefix ------------------------------------------------------

# Wine's own DLLs and programs make up ~690 of the prefix's ~700 MB and are
# only ever read, so a copy shares them with the base through hard links: a
# full `cp -a` costs 1-3 s and as much disk writeback per test again.
_SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".tlb", ".ocx", ".cpl", ".acm", ".ax", ".ds")


def _link_or_copy(src, dst):
    if src.lower().endswith(_SHARED_SUFFIXES):
        os.link(src, dst)
    else:
        shutil.copy2(src, dst)


_ESCAPE = re.compile(r"\x1b(\[[?0-9;]*[a-zA-Z]|\][^\x07]*\x07|[()][0-9A-Za-z]|[=>])")


class WinePrefix:
    """A private copy of the base prefix with its own persistent wineserver
    and its own X display."""

    def __enter__(self):
        ensure_base()
        self._slot_lock, slot = _claim_display_slot()
        self.root = None
        self.env = None
        self._started = []
        try:
            self._set_up(slot)
        except BaseException:
            # A set-up that fails leaves nothing behind: no server, no
            # folder, no claimed display slot (the tests after it need them).
            self._tear_down(keep=False)
            raise
        return self

    def _set_up(self, slot):
        with _locked(exclusive=True):
            self.display = _xvfb_display(slot)
        parent = os.path.join(base_dir(), "prefixes")
        os.makedirs(parent, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix="prefix-", dir=parent)
        with open(os.path.join(self.root, "owner"), "w") as f:
            f.write(str(os.getpid()))
        self.path = os.path.join(self.root, "wine")
        with _locked(exclusive=False):
            shutil.copytree(_base_prefix(), self.path, symlinks=True, copy_function=_link_or_copy)
        self.env = _wine_env(self.path, self.display)
        self.drive_c = os.path.join(self.path, "drive_c")
        self.programdata = os.path.join(self.drive_c, "ProgramData")
        self.log_folder = os.path.join(self.programdata, "Velmorathis", "Velmorathis Mirrowcast")
        # Where a run's entries go when the day's file cannot take them:
        # %LOCALAPPDATA% of Wine's user, who is the unix user.
        self.users_log_folder = os.path.join(self.drive_c, "users", getpass.getuser(), "AppData", "Local",
                                             "Velmorathis", "Velmorathis Mirrowcast")
        # -p keeps the server up between runs: without it every `wine` pays
        # for a server start and a registry load.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, **_QUIET)
        # The first program in a prefix starts its services and desktop
        # process (~1.5 s), which keep that program's stdout: were it a
        # test's captured pipe or `script`'s terminal, it would never see EOF.
        _wineboot(self.env, persistent=True)

    def _tear_down(self, keep):
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, **_QUIET)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=60, **_QUIET)
        for proc in self._started:
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(timeout=10)
        self._slot_lock.close()
        if self.root is None:
            return
        if keep:
            os.remove(os.path.join(self.root, "owner"))
            print(f"kept Wine prefix {self.path}", file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    def __exit__(self, *exc):
        self._tear_down(keep=os.environ.get("MIRROWCAST_KEEP_PREFIX") == "1")
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
        """Runs exe (a unix or a Windows path) and waits: (exit code, seconds).

        `wine` quotes each argument so that CommandLineToArgvW gives it back
        unchanged. Raises subprocess.TimeoutExpired.
        """
        started = time.monotonic()
        proc = subprocess.run(["wine", exe, *args], env=self.env, timeout=timeout, **_QUIET)
        return proc.returncode & 0xFF, time.monotonic() - started

    def run_console(self, exe, args=(), timeout=60):
        """Runs exe from a console, as from cmd.exe: (exit code, console text).

        Only a program started by `start /wait` on a pseudo-terminal finds a
        parent console to attach to under Wine; `script` provides the terminal.
        /unix takes exe as a unix path; start.exe quotes the arguments again
        for the program, so they arrive unchanged.
        """
        command = shlex.join(["wine", "start", "/wait", "/unix", exe, *args])
        proc = subprocess.run(["script", "-qec", command, "/dev/null"], env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = _ESCAPE.sub("", proc.stdout.decode("utf-8", "replace")).replace("\r", "")
        return proc.returncode & 0xFF, text

    def start(self, exe, args=(), **popen_args):
        """Starts exe in the background; leaving the prefix kills it if still running."""
        proc = subprocess.Popen(["wine", exe, *args], env=self.env, **{**_QUIET, **popen_args})
        self._started.append(proc)
        return proc

    def close_politely(self, image_name):
        """`taskkill` without /f: posts WM_CLOSE to the windows of image_name's
        processes in this prefix, as a user closing them would."""
        subprocess.run(["wine", "taskkill", "/im", image_name], env=self.env, timeout=60, **_QUIET)

    def run_until_closed(self, exe, args=(), timeout=30):
        """Runs exe, closing its windows the ordinary way until it ends: the
        exit code. For runs that open a window and wait for the user."""
        proc = self.start(exe, args)
        deadline = time.monotonic() + timeout
        while proc.poll() is None:
            if time.monotonic() > deadline:
                raise subprocess.TimeoutExpired(exe, timeout)
            # Repeated: the window may not exist yet when the first one is sent.
            self.close_politely(os.path.basename(exe.replace("\\", "/")))
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(timeout=1)
        return proc.returncode & 0xFF

    def shell_open(self, url, timeout=60):
        """Hands url to the shell's protocol dispatch, as a browser does; the exit code."""
        proc = subprocess.run(["wine", "start", "/wait", url], env=self.env, timeout=timeout, **_QUIET)
        return proc.returncode & 0xFF

    def reg(self, *args):
        """`wine reg ARGS...`; stdout/stderr decoded (reg.exe writes non-ASCII text as code page 437)."""
        proc = subprocess.run(["wine", "reg", *args], env=self.env, timeout=60,
                              stdin=subprocess.DEVNULL, capture_output=True)
        proc.stdout = proc.stdout.decode("cp437", "replace").replace("\r", "")
        proc.stderr = proc.stderr.decode("cp437", "replace").replace("\r", "")
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

    def launch(self, exe, command_line, timeout=60):
        """Runs exe (a unix path) with exactly this command line after its
        name, through the probe, which adds no quoting: the exit code."""
        with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False, dir=self.drive_c) as f:
            f.write(f'"{self.winpath(exe)}" {command_line}')
        try:
            return self.run(probe_exe(), ["launch", self.winpath(f.name)], timeout=timeout)[0]
        finally:
            os.remove(f.name)

    def run_logged(self, exe, args, until_closed=False):
        """run(), or run_until_closed() with `until_closed`, between two
        log_entries(take=True): its exit code and all the texts it logged."""
        self.log_entries(take=True)
        code = self.run_until_closed(exe, args) if until_closed else self.run(exe, args)[0]
        return code, "".join(self.log_entries(take=True))

    def log_entries(self, take=False):
        """The entries of the program's log files, every day's (a run may
        cross midnight), in order; with `take` the files are removed, so that
        the next call starts afresh. A link planted in the folder is not read.
        The user's folder is read too: a run whose day's file was held or could
        not be written logs there, under a line that says why, and a test that
        read the shared folder alone would see nothing of it."""
        found = []
        paths = glob.glob(os.path.join(self.log_folder, "*.log")) + glob.glob(
            os.path.join(self.users_log_folder, "*.log"))
        for path in sorted(paths, key=os.path.getmtime):
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    found += log_entries(f.read().decode("utf-16-le"))
                if take:
                    os.remove(path)
        return found

    def export_key(self, key):
        """{key: {value name ('' for the default): data}} of the registry key
        and those below it, as `reg export` writes them; None when it is missing."""
        target = os.path.join(self.drive_c, "export.reg")
        if self.reg("export", key, self.winpath(target), "/y").returncode != 0:
            return None
        with open(target, "rb") as f:
            text = f.read().decode("utf-16")
        os.remove(target)
        tree = {}
        current = None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = tree.setdefault(line[1:-1], {})
            elif current is not None and "=" in line:
                name, data = line.split("=", 1)
                name = "" if name == "@" else name[1:-1]
                if data.startswith('"') and data.endswith('"'):
                    data = data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
                current[name] = data
        return tree

    def restart_server(self):
        """Stops the prefix's wineserver, which saves the registry as it goes
        (volatile keys are lost, as at a logoff), and starts it again."""
        subprocess.run(["wineserver", "-k"], env=self.env, **_QUIET)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60, **_QUIET)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, **_QUIET)
        # Its services up before a program whose output is captured starts
        # them: they would keep that program's pipe open.
        _wineboot(self.env, persistent=True)

    def screenshot(self, png_path):
        subprocess.run(["import", "-display", f":{self.display}", "-window", "root", png_path],
                       check=True, timeout=30, stdin=subprocess.DEVNULL)


if __name__ == "__main__":
    if sys.argv[1:] == ["setup"]:
        ensure_base()
        print(f"base prefix ready in {_base_prefix()}")
    elif sys.argv[1:] == ["teardown"]:
        stop_xvfb()
    else:
        sys.exit("usage: harness.py setup|teardown")
