"""The status window of the real program under Wine: where it opens, what it
says about the Teams stand-in, its log link and test button, its resources,
and how it ends. Screenshots of both modes go to MIRROWCAST_ARTIFACTS.

The status window is read from inside the prefix by tests/tools/probe."""

import os
import subprocess
import time
import unittest

import harness
import probe
from standin import TeamsStandIn

VERSION = harness.program_version()
TITLE = f"Velmorathis Desktop Mirrowcast Version {VERSION}"
URL_VALIDATE = "Velmorathis.Mirrowcast:TeamsCall?action=validateconfig"
NOT_FOUND = harness.text("teams not found")
DETECTED = harness.text("teams detected")
WITH_NOTIFICATION = DETECTED + "\r\n\r\n" + harness.text("notification found")
WITHOUT_NOTIFICATION = DETECTED + "\r\n\r\n" + harness.text("notification not found")
BACKGROUND = (243, 242, 241)
SMALL_ICON = os.path.join(os.path.dirname(__file__), "..", "..", "res", "mirrowcast_small.ico")


def artifact(name):
    folder = os.environ.get("MIRROWCAST_ARTIFACTS") or os.path.join(harness.base_dir(), "artifacts")
    os.makedirs(folder, exist_ok=True)
    return os.path.join(folder, name)


def prepare_fonts(prefix):
    # Wine has no Segoe UI, and Tahoma, its usual stand-in, has no U+2713 or
    # U+2717: the marks would show as empty boxes. DejaVu Sans Condensed has
    # both and, at the size Wine picks for a 20-pixel cell, about the width
    # Segoe UI has on Windows, so what fits here fits there.
    prefix.reg("add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Segoe UI", "/d", "DejaVu Sans Condensed",
               "/f")


class Image:
    """An RGB picture read through ImageMagick, so the test needs no imaging
    library of Python."""

    def __init__(self, path):
        first = path + "[0]"  # an icon file could hold several sizes
        size = subprocess.run(["identify", "-format", "%w %h", first], capture_output=True, check=True, text=True)
        self.width, self.height = (int(v) for v in size.stdout.split())
        raw = subprocess.run(["convert", first, "-alpha", "on", "-depth", "8", "rgba:-"],
                             capture_output=True, check=True).stdout
        self.pixels = [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]

    def at(self, x, y):
        return self.pixels[y * self.width + x][:3]

    def region(self, left, top, width, height):
        return [self.at(x, y) for y in range(top, top + height) for x in range(left, left + width)]

    def longest_run(self, left, top, width, height, test):
        """The longest horizontal run of pixels passing test, in the region."""
        best = 0
        for y in range(top, top + height):
            run = 0
            for x in range(left, left + width):
                run = run + 1 if test(self.at(x, y)) else 0
                best = max(best, run)
        return best

    def find(self, small, left, top, width, height):
        """Where `small` appears within the region, its transparent pixels
        aside; None if nowhere."""
        for oy in range(top, top + height - small.height + 1):
            for ox in range(left, left + width - small.width + 1):
                if all(small.pixels[y * small.width + x][3] < 128 or small.at(x, y) == self.at(ox + x, oy + y)
                       for y in range(small.height) for x in range(small.width)):
                    return ox, oy
        return None


def is_blue(rgb):
    r, g, b = rgb
    return b >= 160 and r <= 90 and g <= 90


class StatusWindow:
    """The program started with `args`, its status window as the probe sees it."""

    def __init__(self, prefix, args):
        self.prefix = prefix
        self.probe_exe = harness.probe_exe()  # before the window: nothing could close it
        self.proc = prefix.start(harness.mirrowcast_exe(), args)
        try:
            self.info = self.show()
        except BaseException:
            self.proc.kill()
            raise
        self.rect = tuple(int(v) for v in self.info["rect"].split(","))

    def probe(self, *args, timeout=30):
        code, _ = self.prefix.run(self.probe_exe, list(args), timeout=timeout)
        return code

    def show(self):
        try:
            text = probe.run(self.prefix, "status", None, "20000")
        except AssertionError as failure:
            raise AssertionError(f"no status window ({failure}; program exit {self.proc.poll()})") from None
        info = {}
        for line in text.splitlines():
            key, value = line.split("=", 1)
            if key == "controls+":
                info.setdefault("controls", []).append(int(value))
            else:
                info[key] = value.replace("\\r", "\r").replace("\\n", "\n")
        return info

    def control_rect(self, control_id):
        """The control's rectangle on the screen."""
        cx, cy, _, _ = (int(v) for v in self.info["client"].split(","))
        x, y, w, h = (int(v) for v in self.info[f"control.{control_id}.rect"].split(","))
        return cx + x, cy + y, w, h

    def x_geometries(self):
        """(x, y, width, height) of each X window of the program named TITLE."""
        found = subprocess.run(["xdotool", "search", "--pid", str(self.proc.pid), "--name", f"^{TITLE}$"],
                               env=self.prefix.env, capture_output=True, text=True).stdout.split()
        shapes = []
        for window in found:
            shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=self.prefix.env,
                                   capture_output=True, text=True).stdout
            values = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
            shapes.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return shapes

    def screenshot(self, name):
        """The window's part of the screen, saved as an artifact; the Image."""
        time.sleep(0.3)  # let the controls finish painting
        whole = os.path.join(self.prefix.root, "screen.png")
        self.prefix.screenshot(whole)
        left, top, width, height = self.rect
        path = artifact(name)
        subprocess.run(["convert", whole, "-crop", f"{width}x{height}+{left}+{top}", "+repage", path], check=True)
        return Image(path)

    def close(self, how):
        self.probe(how)
        return self.proc.wait(timeout=30) & 0xFF


class StatusWindowTest(unittest.TestCase):
    def test_normal_window_where_and_what_it_shows_and_closing_by_the_close_box(self):
        with harness.WinePrefix() as prefix, TeamsStandIn(prefix, windows=[
                ("notif", "Microsoft Teams Notification", "hidden"), ("main", "Chat | Microsoft Teams", "")]):
            prepare_fonts(prefix)
            window = StatusWindow(prefix, [URL_VALIDATE])
            info = window.info
            self.assertEqual(info["title"], TITLE)
            # The window rectangle includes the frame Wine draws itself; with
            # Managed=N no window manager adds or moves anything.
            self.assertEqual(window.rect, (760, 440, 400, 200))
            self.assertIn((760, 440, 400, 200), window.x_geometries())
            # The system adds WS_VISIBLE and WS_CLIPSIBLINGS to a shown popup.
            self.assertEqual(int(info["style"], 16) & ~0x14000000, 0x80C80000)
            self.assertEqual(info["classstyle"], "00000003")
            self.assertEqual(info["controls"], [112, 111])
            self.assertEqual([info["control.112.class"], info["control.111.class"]], ["Edit", "Static"])
            self.assertEqual(info["control.112.text"], WITH_NOTIFICATION)
            self.assertEqual(info["control.112.style"], "50010884")
            self.assertEqual(info["control.111.text"], "Open log folder")

            image = window.screenshot("status_window.png")
            self.check_painting(window, image)
            self.assertEqual(window.close("close-status-box"), 0)

    def check_painting(self, window, image):
        left, top, _, _ = window.rect

        def local(rect):
            x, y, w, h = rect
            return x - left, y - top, w, h

        lx, ly, lw, lh = local(window.control_rect(111))
        self.assertGreater(sum(map(is_blue, image.region(lx, ly, lw, lh))), 40, "the link is drawn blue")
        self.assertGreaterEqual(image.longest_run(lx, ly, lw, lh, is_blue), 80, "the link is underlined")
        tx, ty, tw, th = local(window.control_rect(112))
        dark = [max(rgb) <= 80 for rgb in image.region(tx, ty, tw, th)]
        self.assertGreater(sum(dark), 200, "the detection text is black")
        # The controls paint on the window's own background, not a white box.
        self.assertEqual(image.at(tx + tw - 3, ty + th - 3), BACKGROUND)
        self.assertEqual(image.at(lx + lw - 3, ly + 2), BACKGROUND)
        self.assertEqual(image.at(image.width - 10, image.height - 10), BACKGROUND)
        # The caption shows the class's small icon (resource 108), drawn by
        # the window's own process from what the class was registered with.
        self.assertIsNotNone(image.find(Image(SMALL_ICON), 0, 0, 40, 30), "the caption shows the program's icon")

    def test_debug_window_and_its_test_button_answers_a_call(self):
        with harness.WinePrefix() as prefix, TeamsStandIn(prefix, windows=[
                ("notif", "Microsoft Teams Notification", "hidden,oncall=Meeting with Ann"),
                ("main", "Chat | Microsoft Teams", "")]) as teams:
            prepare_fonts(prefix)
            window = StatusWindow(prefix, ["--debug"])
            self.assertEqual(window.rect, (760, 415, 400, 250))
            self.assertIn((760, 415, 400, 250), window.x_geometries())
            self.assertEqual(window.info["controls"], [112, 111, 113])
            self.assertEqual(window.info["control.113.text"], "Test Answer and Minimize")
            self.assertEqual(window.info["control.113.style"], "50010100")
            self.assertEqual(window.info["control.113.class"], "Button")
            self.assertEqual(window.info["control.112.text"], WITH_NOTIFICATION)
            self.check_painting(window, window.screenshot("status_window_debug.png"))

            # The button is pressed before the call shows; the action waits for
            # the notification, types Shift+Ctrl+S into it and minimises the
            # call window that opens.
            self.assertEqual(window.probe("click", "113"), 0)
            time.sleep(0.5)
            # Shown without taking the focus: the status window keeps it, so
            # the action brings the notification forward before the keys.
            since = teams.command("showna notif")
            teams.wait_event("keys notif", since=since, timeout=20)
            teams.wait_event("created call", since=since, timeout=20)
            teams.wait_event("syscommand call F020", since=since, timeout=20)
            self.assertEqual(window.close("close-status"), 0)
            log = prefix.log_entries()
            self.assertIn(harness.text("notification detected"), log)
            self.assertIn(harness.text("bringing to foreground"), log)
            self.assertIn(harness.text("minimizing", "Meeting with Ann"), log)

    def test_detection_text_for_each_desktop(self):
        cases = [
            ("Teams not running", None, NOT_FOUND),
            ("only hidden Teams windows",
             ("Teams.exe", [("notif", "Microsoft Teams Notification", "hidden"),
                            ("main", "Chat | Microsoft Teams", "hidden")]),
             NOT_FOUND),
            ("visible Teams without a notification", ("Teams.exe", [("main", "Chat | Microsoft Teams", "")]),
             WITHOUT_NOTIFICATION),
            ("another program's window of the same class",
             ("browser.exe", [("notif", "Microsoft Teams Notification", ""),
                              ("main", "Chat | Microsoft Teams", "")]),
             NOT_FOUND),
        ]
        with harness.WinePrefix() as prefix:
            for name, desktop, expected in cases:
                with self.subTest(name):
                    if desktop is None:
                        window = StatusWindow(prefix, ["--debug"])
                        text = window.info["control.112.text"]
                        window.close("close-status")
                    else:
                        with TeamsStandIn(prefix, image_name=desktop[0], windows=desktop[1]):
                            window = StatusWindow(prefix, ["--debug"])
                            text = window.info["control.112.text"]
                            window.close("close-status")
                    self.assertEqual(text, expected)

    def test_log_link_opens_the_log_folder(self):
        with harness.WinePrefix() as prefix:
            window = StatusWindow(prefix, ["--debug"])
            x, y, w, h = window.control_rect(111)
            # A real click: the static control must tell its parent (SS_NOTIFY).
            subprocess.run(["xdotool", "mousemove", str(x + 20), str(y + h // 2), "click", "1"],
                           env=prefix.env, check=True)
            deadline = time.monotonic() + 15
            while True:
                shown = probe.run(prefix, "windows", None).splitlines()
                if any(line.endswith("|Velmorathis Mirrowcast") for line in shown):
                    break
                self.assertLess(time.monotonic(), deadline, f"no folder window opened; windows: {shown}")
                time.sleep(0.3)
            self.assertEqual(window.close("close-status"), 0)

    def test_resources_and_version_information(self):
        with harness.WinePrefix() as prefix:
            text = probe.run(prefix, "resources", prefix.winpath(harness.mirrowcast_exe()), None)
            found = dict(line.split("=", 1) for line in text.splitlines())
        self.assertEqual(found, {
            "string.103": "Velmorathis Desktop Mirrowcast",
            "string.109": "QX7RMIRROWCAST",
            "string.130": f"Version {VERSION}",
            "icon.107": "16x16",
            "icon.108": "16x16",
            "fixed.file": VERSION,
            "fixed.product": VERSION,
            "version.CompanyName": "Velmorathis",
            "version.FileDescription": "Velmorathis Desktop Mirrowcast",
            "version.FileVersion": VERSION,
            "version.ProductName": "Velmorathis Desktop Mirrowcast",
            "version.ProductVersion": VERSION,
            "version.OriginalFilename": "VelmorathisMirrowcast.exe",
        })


if __name__ == "__main__":
    unittest.main()
