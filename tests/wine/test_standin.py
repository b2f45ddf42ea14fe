"""The Teams stand-in behaves like the client's windows as the system tests
need: order, visibility, minimised style, owning image, keys and system
commands, all seen from inside Wine by the window probe."""

import sys
import time
import unittest

import harness
import probe
from standin import StandInError, TeamsStandIn

CALL_TITLE = "Meeting with Ann Example"


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
