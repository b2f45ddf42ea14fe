"""Looks at and pokes the desktop of a harness.WinePrefix through
tests/tools/probe, which runs inside the prefix (MIRROWCAST_PROBE_EXE)."""

import os
import tempfile
from dataclasses import dataclass

import harness

WS_VISIBLE = 0x10000000
WS_MINIMIZE = 0x20000000


@dataclass(frozen=True)
class Window:
    hwnd: int
    title: str
    visible: bool
    style: int
    image: str  # device path, e.g. \Device\HarddiskVolume1\Apps\Teams.exe

    @property
    def image_name(self):
        return self.image.rsplit("\\", 1)[-1]

    @property
    def minimized(self):
        return bool(self.style & WS_MINIMIZE)


def run(prefix, *args):
    """Runs the probe with args, None standing for a file it writes: that
    file's text. Raises AssertionError when the probe fails."""
    fd, path = tempfile.mkstemp(suffix=".txt", dir=prefix.drive_c)
    os.close(fd)
    try:
        code, _ = prefix.run(harness.probe_exe(), [prefix.winpath(path) if a is None else a for a in args], timeout=30)
        if code != 0:
            raise AssertionError(f"probe {' '.join(map(str, args))} exited with {code}")
        with open(path, encoding="utf-8") as f:
            return f.read()
    finally:
        os.remove(path)


def windows(prefix):
    """Every top-level window of the stand-in's classes in z-order, top first."""
    found = []
    for line in run(prefix, "list", None).splitlines():
        # The title may hold '|' itself: the fixed fields are at both ends.
        hwnd, rest = line.split("|", 1)
        title, visible, style, image = rest.rsplit("|", 3)
        found.append(Window(int(hwnd, 16), title, visible == "1", int(style, 16), image))
    return found


def send_shift_ctrl_s(prefix):
    """Types Shift+Ctrl+S into whatever has the keyboard focus; returns the
    wall time it was sent, in microseconds since 1970."""
    return int(run(prefix, "keys", None))


def post_minimize(prefix, title_part):
    run(prefix, "minimize", title_part)


def post_close(prefix, title_part):
    run(prefix, "close", title_part)
