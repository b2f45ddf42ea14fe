"""The Wine harness hands arguments, exit codes, console text, URLs and
registry values through unchanged, and keeps test prefixes apart; the Teams
stand-in behaves like the client's windows as the system tests need: order,
visibility, minimised style, owning image, keys and system commands, all seen
from inside Wine by the probe."""

import os
import sys
import time
import unittest

import harness
import probe
from standin import StandInError, TeamsStandIn

CALL_TITLE = "Meeting with Ann Example"

# Arguments that a naive join or a shell would mangle: spaces, quotes next to
# backslashes (CommandLineToArgvW's doubling rule), cmd and shell
# metacharacters, an empty argument, a leading slash that start.exe could
# take for one of its own options, and text outside ASCII.
HOSTILE_ARGUMENTS = ["two words", 'say "hi"', "trailing backslash\\", 'escaped \\" quote', "\\\\server\\share\\",
                     "%PATH% 100%", "a&b|c<d>e^f", "$HOME `id` 'single'", "", "/wait", "Zoë – 日本"]


class HarnessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = harness.WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.__exit__, None, None, None)
        cls.args_file = os.path.join(cls.prefix.drive_c, "args.txt")

    def parsed_arguments(self):
        with open(self.args_file, encoding="utf-8") as f:
            return f.read().split("\n")[1:-1]  # the raw command line comes first

    def test_arguments_arrive_unchanged_through_run_and_run_console(self):
        for name in ("run", "run_console"):
            with self.subTest(name):
                os.remove(self.args_file) if os.path.exists(self.args_file) else None
                code, _ = getattr(self.prefix, name)(
                    harness.probe_exe(), ["args", self.prefix.winpath(self.args_file), *HOSTILE_ARGUMENTS])
                self.assertEqual(code, 0)
                self.assertEqual(self.parsed_arguments(), HOSTILE_ARGUMENTS)

    def test_console_text_and_exit_codes_come_back(self):
        code, text = self.prefix.run_console(harness.probe_exe(), ["console", "50% done & more", "300"])
        self.assertEqual((code, text), (300 & 0xFF, "50% done & more\n"))
        # Without start /wait on a terminal there is no console to attach to.
        code, _ = self.prefix.run(harness.probe_exe(), ["console", "lost", "0"])
        self.assertEqual(code, 3)

    def test_shell_open_runs_the_registered_url_handler(self):
        exe = self.prefix.copy_in(harness.probe_exe(), r"Apps\Url Handler", "handler.exe")
        command = f'"{self.prefix.winpath(exe)}" args "{self.prefix.winpath(self.args_file)}" "%1"'
        # Wine's shell looks schemes up in HKCR only (HKLM\Software\Classes);
        # it does not merge in HKCU\Software\Classes as Windows does.
        key = r"HKCR\mirrowcast-harness-test"
        self.assertEqual(self.prefix.reg("add", key, "/ve", "/d", "URL:test", "/f").returncode, 0)
        self.prefix.reg("add", key, "/v", "URL Protocol", "/d", "", "/f")
        self.prefix.reg("add", key + r"\shell\open\command", "/ve", "/d", command, "/f")
        self.assertIn(command, self.prefix.reg("query", key + r"\shell\open\command").stdout)

        url = "mirrowcast-harness-test:join?id=1&name=a%20b"
        self.assertEqual(self.prefix.shell_open(url), 0)
        self.assertEqual(self.parsed_arguments(), [url])

    def test_prefixes_are_private_and_removed_afterwards(self):
        key = r"HKCU\Software\MirrowcastHarnessTest"
        self.prefix.reg("add", key, "/v", "Mark", "/d", "first", "/f")
        with harness.WinePrefix() as other:
            root = other.root
            self.assertNotEqual(other.path, self.prefix.path)
            self.assertTrue(os.path.isdir(other.programdata))
            self.assertNotEqual(other.reg("query", key).returncode, 0)
            marker = other.copy_in(__file__, "Data", "marker.txt")
        self.assertFalse(os.path.exists(marker))
        if os.environ.get("MIRROWCAST_KEEP_PREFIX") != "1":
            self.assertFalse(os.path.exists(root))
        self.assertIn("first", self.prefix.reg("query", key, "/v", "Mark").stdout)


class StandInTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = harness.WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.__exit__, None, None, None)

    def ours(self, image_name="Teams.exe"):
        return [w for w in probe.windows(self.prefix) if w.image_name == image_name]

    def test_window_list_gives_order_titles_visibility_and_minimised_style(self):
        listed = [
            "# comment lines and blank lines are skipped",
            "",
            ("main", "Chat | Contoso | Teams", f"oncall={CALL_TITLE}"),
            ("tray", "", "hidden"),
            ("notes", "Notizen – Müller 日本", "minimized"),
            ("parked", "Parked", "hidden,minimized"),
            ("last", "Last window", ""),
        ]
        with TeamsStandIn(self.prefix, windows=listed):
            seen = [(w.title, w.visible, w.minimized) for w in self.ours()]
        self.assertEqual(seen, [
            ("Chat | Contoso | Teams", True, False),
            ("", False, False),
            ("Notizen – Müller 日本", True, True),
            ("Parked", False, True),
            ("Last window", True, False),
        ])

    def test_a_malformed_window_line_stops_the_stand_in(self):
        with self.assertRaisesRegex(StandInError, "exited with 4"):
            with TeamsStandIn(self.prefix, windows=[("main", "Main", ""), "no separators here"]):
                pass

    def test_shift_ctrl_s_opens_the_call_window_only_from_a_window_with_a_call(self):
        listed = [("main", "Chat | Teams", f"oncall={CALL_TITLE}"), ("chat", "Pop-out chat", "")]
        with TeamsStandIn(self.prefix, windows=listed) as teams:
            since = teams.act("show chat")
            probe.send_shift_ctrl_s(self.prefix)
            teams.wait_event("keys chat", since=since)

            since = teams.command("show main")
            shown = teams.wait_event("shown main", since=since)
            sent = probe.send_shift_ctrl_s(self.prefix)
            keys = teams.wait_event("keys main", since=since)
            teams.wait_event("created call", since=since)
            top = self.ours()[0]
            words = [e[1:] for e in teams.events()]

        self.assertEqual(words.count(("created", "call")), 1, words)
        self.assertLess(words.index(("keys", "main")), words.index(("created", "call")))
        self.assertEqual((top.title, top.visible), (CALL_TITLE, True))
        # The modifier presses arrive as ordinary keys before the chord.
        self.assertIn(("keydown", "main", "10"), words)
        print(f"\nshow->keys {(keys[0] - shown[0]) / 1000:.1f} ms "
              f"(SendInput->keys {(keys[0] - sent) / 1000:.1f} ms)", file=sys.stderr)

    def test_posted_system_commands_are_recorded_and_take_effect(self):
        listed = [("main", "Chat | Teams", ""), ("call", "Call in progress", "")]
        with TeamsStandIn(self.prefix, windows=listed) as teams:
            probe.post_minimize(self.prefix, "Call in progress")
            teams.wait_event("syscommand call F020")
            deadline = time.monotonic() + 5
            while not self.ours()[1].minimized and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertTrue(self.ours()[1].minimized, self.ours())

            probe.post_close(self.prefix, "Call in progress")
            probe.post_close(self.prefix, "Chat | Teams")
            teams.wait_event("destroyed call")
            teams.wait_event("destroyed main")
            self.assertEqual(self.ours(), [])
            # With every window gone the process still takes commands.
            teams.act("create late|Late window|")
            self.assertEqual([w.title for w in self.ours()], ["Late window"])
            self.assertEqual(teams.stop(), 0)
        words = [e[1:] for e in teams.events()]
        self.assertIn(("syscommand", "call", "F060"), words)

    def test_commands_change_windows_as_the_probe_sees_them(self):
        with TeamsStandIn(self.prefix, windows=[("main", "Chat | Teams", ""), ("tray", "", "hidden")]) as teams:
            for command, ack in [
                ("title main Calendar | Teams", "titled main"),
                ("hide main", "hidden main"),
                ("show tray", "shown tray"),
                ("create toast|Incoming call | Teams|hidden", "created toast"),
            ]:
                since = teams.command(command)
                teams.wait_event(ack, since=since)
            seen = [(w.title, w.visible) for w in self.ours()]
            for bad in ["show nosuchkey", "create main|Duplicate key|", "create x|y|loud", "dance main"]:
                since = teams.command(bad)
                teams.wait_event(lambda e, bad=bad: e[1] == "error" and " ".join(e[2:]) == bad, since=since)
        self.assertEqual(seen, [
            ("Incoming call | Teams", False),
            ("", True),
            ("Calendar | Teams", False),
        ])

    def test_a_copy_under_another_name_reports_its_own_image(self):
        same = [("main", "Chat | Teams", "")]
        with TeamsStandIn(self.prefix, windows=same), \
                TeamsStandIn(self.prefix, image_name="Other.exe", windows=same):
            images = sorted(w.image for w in probe.windows(self.prefix))
        self.assertEqual(images, [r"\Device\HarddiskVolume1\Apps\Other.exe",
                                  r"\Device\HarddiskVolume1\Apps\Teams.exe"])


if __name__ == "__main__":
    unittest.main()
