"""The protocol handler registration and the console commands on the real
program under Wine: the key tree that /registerhandler writes, the refusal to
overwrite, /validateconfig before and after the registration is changed,
/unregisterhandler, the help and invalid-syntax texts on the console and in the
log, the exit codes a deployment script reads, and a URL handed to the shell
the way a browser hands it over."""

import glob
import os
import re
import subprocess
import unittest

import harness

SCHEME_KEY = r"HKCR\Velmorathis.Mirrowcast"
COMMAND_KEY = SCHEME_KEY + r"\shell\open\command"
# Installed like a real copy, so the registered path is an ordinary C: path
# with a blank in it.
INSTALL_DIR = r"Program Files\Velmorathis"
EXE_NAME = "VelmorathisMirrowcast.exe"

BANNER = "\n" + harness.banner()
HELP = harness.text("help")
REGISTERED = harness.text("registering") + harness.text("registered")
REFUSED = harness.text("registering") + harness.text("already registered")
VALID = harness.text("validating") + harness.text("valid")
FOLDER_REPORT = "".join(harness.FOLDER_REPORT)
HELD = "Log file could not be written (error 32), entries of this run follow here.\n"


def invalid(line):
    return harness.text("invalid syntax", line)


def registered_tree(exe):
    """The key tree of exe's registration, as harness.WinePrefix.export_key reads it."""
    scheme = "HKEY_CLASSES_ROOT\\Velmorathis.Mirrowcast"
    return {scheme: {"": "URL:Velmorathis.Mirrowcast Protocol", "URL Protocol": ""},
            scheme + "\\DefaultIcon": {"": exe}, scheme + "\\shell": {}, scheme + "\\shell\\open": {},
            scheme + "\\shell\\open\\command": {"": f'"{exe}" "%1"'}}


class Registration(unittest.TestCase):
    def setUp(self):
        # A fresh prefix per test: each one starts from a machine on which
        # nothing was ever registered.
        self.prefix = harness.WinePrefix().__enter__()
        self.addCleanup(self.prefix.__exit__, None, None, None)
        self.exe_unix = self.prefix.copy_in(harness.mirrowcast_exe(), INSTALL_DIR, EXE_NAME)
        self.exe = self.prefix.winpath(self.exe_unix)
        self.open_command = f'"{self.exe}" "%1"'

    # --- helpers -------------------------------------------------------------

    def take_log(self):
        """Every text written since the last call, time stamps removed."""
        return "".join(self.prefix.log_entries(take=True))

    def command(self, *args):
        """Runs the program with a slash command: (exit code, its log texts)."""
        return self.prefix.run_logged(self.exe, args)

    def validate(self):
        """/validateconfig, its status window closed again the ordinary way
        (WM_CLOSE): (exit code, its log texts)."""
        return self.prefix.run_logged(self.exe, ["/validateconfig"], until_closed=True)

    def exported_tree(self):
        return self.prefix.export_key(SCHEME_KEY)

    def stored_scheme_section(self):
        """The scheme key's section as the wineserver stores it: unlike `reg`,
        it tells a REG_SZ of 0 bytes (hex(1):) from an empty string ("")."""
        self.prefix.restart_server()
        with open(os.path.join(self.prefix.path, "system.reg"), encoding="utf-8", errors="replace") as f:
            stored = f.read()
        match = re.search(r"^\[Software\\\\Classes\\\\Velmorathis\.Mirrowcast\] \d+\n(.*?)\n\n", stored,
                          re.MULTILINE | re.DOTALL)
        self.assertIsNotNone(match, "the scheme key was not stored")
        return [line for line in match.group(1).splitlines() if not line.startswith("#")]

    # --- tests ---------------------------------------------------------------

    def test_register_writes_exactly_the_four_values_and_refuses_a_second_time(self):
        self.assertIsNone(self.exported_tree(), "a clean prefix has no registration")
        self.assertEqual(self.command("/registerhandler"), (0, BANNER + REGISTERED))

        written = registered_tree(self.exe)
        self.assertEqual(self.exported_tree(), written)
        self.assertEqual(self.stored_scheme_section(),
                         ['@="URL:Velmorathis.Mirrowcast Protocol"', '"URL Protocol"=hex(1):'])

        self.assertEqual(self.command("/registerhandler"), (0, BANNER + REFUSED))
        self.assertEqual(self.command("/REGISTERHANDLER", "again"), (0, BANNER + REFUSED))
        self.assertEqual(self.exported_tree(), written)

    def test_validateconfig_reports_valid_then_the_error_once_the_registration_points_elsewhere(self):
        missing = harness.text("validating") + harness.text("not registered", 1)
        self.assertEqual(self.validate(), (0, BANNER + missing + FOLDER_REPORT))

        self.command("/registerhandler")
        self.assertEqual(self.validate(), (0, BANNER + VALID + FOLDER_REPORT))

        # The same path in other letter case is the same program on Windows.
        self.prefix.reg("add", COMMAND_KEY, "/ve", "/d", self.open_command.upper(), "/f")
        self.assertEqual(self.validate(), (0, BANNER + VALID + FOLDER_REPORT))

        moved = '"C:\\Old Place\\VelmorathisMirrowcast.exe" "%1"'
        self.assertEqual(self.prefix.reg("add", COMMAND_KEY, "/ve", "/d", moved, "/f").returncode, 0)
        self.assertEqual(self.validate(), (0, BANNER + harness.text("validating") + harness.text("not registered", 2)
                                           + FOLDER_REPORT))
        # Pointing elsewhere is still a registration: never overwritten, and
        # not this program's (183, ERROR_ALREADY_EXISTS).
        self.assertEqual(self.command("/registerhandler"), (183, BANNER + REFUSED))
        self.assertEqual(self.exported_tree()["HKEY_CLASSES_ROOT\\Velmorathis.Mirrowcast\\shell\\open\\command"],
                         {"": moved})

    def test_unregister_removes_the_whole_tree_and_a_second_call_finds_nothing(self):
        self.command("/registerhandler")
        # Whatever else lives in the tree goes with it.
        self.prefix.reg("add", SCHEME_KEY + r"\shell\print\command", "/ve", "/d", "notepad %1", "/f")
        self.assertEqual(self.command("/unregisterhandler"),
                         (0, BANNER + harness.text("unregistering") + harness.text("removed")))
        self.assertIsNone(self.exported_tree())
        self.assertEqual(self.prefix.reg("query", SCHEME_KEY).returncode, 1)

        self.assertEqual(self.command("/unregisterhandler"),
                         (0, BANNER + harness.text("unregistering") + harness.text("not found")))

        # A number as the scheme key's default: browsers still start the open
        # command, so it is a registration and goes like any other.
        self.prefix.reg("add", SCHEME_KEY, "/ve", "/t", "REG_DWORD", "/d", "1", "/f")
        self.prefix.reg("add", COMMAND_KEY, "/ve", "/d", self.open_command, "/f")
        self.assertEqual(self.command("/unregisterhandler"),
                         (0, BANNER + harness.text("unregistering") + harness.text("removed")))
        self.assertEqual(self.prefix.reg("query", SCHEME_KEY).returncode, 1)

    def test_a_copy_under_a_255_character_path_registers_and_validates_as_its_own(self):
        # The open command is then 262 characters.
        folder = "\\".join(["Program Files", "V" * 120, "W" * 91])
        exe_unix = self.prefix.copy_in(harness.mirrowcast_exe(), folder, EXE_NAME)
        exe = self.prefix.winpath(exe_unix)
        self.assertEqual(len(exe), 255)
        self.assertEqual(self.prefix.run_logged(exe, ["/registerhandler"]), (0, BANNER + REGISTERED))
        self.assertEqual(self.exported_tree(), registered_tree(exe))
        self.assertEqual(self.prefix.run_logged(exe, ["/validateconfig"], until_closed=True),
                         (0, BANNER + VALID + FOLDER_REPORT))
        self.assertEqual(self.prefix.run_logged(exe, ["/registerhandler"]), (0, BANNER + REFUSED))

    def test_help_and_invalid_syntax_reach_the_log_and_the_console(self):
        cases = [
            ("/help", 0, HELP),
            ("/?", 0, HELP),
            ("/Help please", 0, HELP),
            ("/helpme", 1, invalid("/helpme")),
            ("/??", 1, invalid("/??")),
            ("/", 1, invalid("/")),
            ("/registerhandlerX", 1, invalid("/registerhandlerX")),
        ]
        for line, exit_code, text in cases:
            with self.subTest(line=line):
                self.take_log()
                # start.exe re-quotes each argument: a line with a blank
                # arrives as two arguments, unquoted.
                code, console = self.prefix.run_console(self.exe_unix, line.split(" "))
                self.assertEqual(code, exit_code, "as `start /wait` hands it to a script")
                self.assertEqual(self.take_log(), BANNER + text)
                # The pseudo-terminal breaks lines at 80 columns: compare the
                # characters, not where the terminal broke them.
                self.assertEqual(console.replace("\n", ""), (BANNER + text).replace("\n", ""))

        # Another process holds the day's file past the log's one-second wait
        # for it: the run's texts go to the user's folder, under a line that
        # says why, and the test reads them there.
        self.prefix.run_console(self.exe_unix, ["/"])
        (day_file,) = glob.glob(os.path.join(self.prefix.log_folder, "*.log"))
        self.take_log()
        holder = self.prefix.start(harness.probe_exe(), ["hold", self.prefix.winpath(day_file), "2500", "1", "0"],
                                   stdout=subprocess.PIPE)
        self.assertEqual(holder.stdout.readline().strip(), b"holding")
        self.assertEqual(self.prefix.run_console(self.exe_unix, ["/"])[0], 1)
        holder.communicate(timeout=30)
        self.assertEqual(self.take_log(), "\n" + HELD + BANNER.lstrip("\n") + invalid("/"))

    def test_a_browser_hand_off_runs_the_program_with_the_url(self):
        self.command("/registerhandler")
        cases = [
            ("Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow&participant=John%20Smith", 0,
             ["action=closecallwindow\n", "participant=John Smith\n"]),
            ("velmorathis.mirrowcast:TeamsCall?participant=Ann&action=Bogus", 3,
             ["action=Bogus\n", "participant=Ann\n", harness.text("unknown action", "Bogus")]),
            # A raw quote in a URL must not break out of the registered
            # command's quotes and start a console command.
            ('Velmorathis.Mirrowcast:TeamsCall?action=none" /unregisterhandler "x', 3,
             ["action=none\n", harness.text("unknown action", "none")]),
        ]
        for url, exit_code, lines in cases:
            with self.subTest(url=url):
                self.take_log()
                self.assertEqual(self.prefix.shell_open(url), exit_code)
                log = self.take_log()
                self.assertTrue(log.startswith(BANNER), log)
                found = [line for line in lines if line in log]
                self.assertEqual(found, lines, log)
                self.assertNotIn("Unregistering", log)
        self.assertIsNotNone(self.exported_tree(), "the registration survived every URL")

    def test_a_browser_hand_off_closes_the_participants_call_window(self):
        standin_path = os.environ.get("MIRROWCAST_STANDIN_EXE", "")
        if not os.path.exists(standin_path):
            self.skipTest("the Teams stand-in is not built")
        from standin import TeamsStandIn

        self.command("/registerhandler")
        # Two visible Teams windows: neither is singled out as the main window,
        # and only the call window's title holds the participant.
        windows = [("call", "John Smith | Microsoft Teams", ""), ("main", "Chat | Microsoft Teams", "")]
        with TeamsStandIn(self.prefix, windows=windows) as teams:
            url = "Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow&participant=John%20Smith"
            self.assertEqual(self.prefix.shell_open(url), 0)
            teams.wait_event("syscommand call F060")
            teams.wait_event("destroyed call")
            self.assertFalse([e for e in teams.events() if e[1:3] == ("syscommand", "main")])
        self.assertIn("participant=John Smith\n", self.take_log())


if __name__ == "__main__":
    unittest.main()
