"""Hostile input to the real program under Wine.

A subset of the host's hostile-input table, run with exactly the command line
a caller could hand over (through the probe's `launch`, which adds no
quoting), then through the shell's URL dispatch as a browser hands a URL
over; and the log's refusal to write through a link that a local user
planted in the log folder, which every user may change."""

import os
import shutil
import unittest

import harness
import test_registration as registration

URL = "Velmorathis.Mirrowcast:TeamsCall?"
BANNER = harness.banner()
INSTALL_DIR = r"Program Files\Velmorathis"
EXE_NAME = "VelmorathisMirrowcast.exe"
# Queried at its command key: `wine reg query` of the scheme key itself
# crashes on its "URL Protocol" value, a REG_SZ of no bytes.
COMMAND_KEY = r"HKCR\Velmorathis.Mirrowcast\shell\open\command"
UNKNOWN = harness.text("invoked")


class HostileInput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = harness.WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.__exit__, None, None, None)
        # Installed like a real copy, so the registered command has a blank in it.
        cls.exe_unix = cls.prefix.copy_in(harness.mirrowcast_exe(), INSTALL_DIR, EXE_NAME)
        cls.folder = cls.prefix.log_folder

    def setUp(self):
        self.take_log()

    def take_log(self):
        """Every text written since the last call, but the bare line break
        each run writes first."""
        return [t for t in self.prefix.log_entries(take=True) if t != "\n"]

    def launch(self, command_line):
        return self.prefix.launch(self.exe_unix, command_line, timeout=120)

    def registered(self):
        return self.prefix.reg("query", COMMAND_KEY).returncode == 0

    def test_exact_command_lines_get_the_work_of_their_form(self):
        long_console = "/" + "x" * 32000
        cases = [
            # command line, exit code, texts after the banner
            (f'"{URL}action=bogus" /registerhandler', 3,
             ["action=bogus\n", UNKNOWN, harness.text("unknown action", "bogus")]),
            (f'"{URL}action=bogus&participant=a"b" /unregisterhandler', 3,
             ["action=bogus\n", "participant=a\n", UNKNOWN, harness.text("unknown action", "bogus")]),
            ('"/registerhandler"', 0, []),
            (f'"{URL}action=bogus&participant=x\\"', 3,
             ["action=bogus\n", "participant=x\\\n", UNKNOWN, harness.text("unknown action", "bogus")]),
            (f'"{URL}action=answercall', 0, []),
            (f"{URL}action=bogus&participant=a\r\n[2026-01-01 00:00:00] forged", 3,
             ["action=bogus\n", "participant=a\u240d\u240a[2026-01-01 00:00:00] forged\n", UNKNOWN,
              harness.text("unknown action", "bogus")]),
            (f"{URL}action=answercall\t", 3,
             ["action=answercall\t\n", UNKNOWN, harness.text("unknown action", "answercall\t")]),
            ("Velmorathis.Mirrowcast", 0, []),
            ("Velmorathis.Mirrowcast:", 0, [harness.text("invalid parameters", -2)]),
            ("VELMORATHIS.MIRROWCAST:TEAMSCALL?ACTION=BOGUS", 3,
             ["action=BOGUS\n", UNKNOWN, harness.text("unknown action", "BOGUS")]),
            (f"{URL}action=%22%20/registerhandler", 3,
             ['action=" /registerhandler\n', UNKNOWN, harness.text("unknown action", '" /registerhandler')]),
            (f"{URL}action=bogus&participant=%2541%C3%B6%ED%A0%80%0D%0A%G1%4%", 3,
             ["action=bogus\n", "participant=%41\u00f6\u00ed\u00a0\ufffd\u240d\u240a%G1%4%\n", UNKNOWN,
              harness.text("unknown action", "bogus")]),
            (f"{URL}action=bogus%26action=answercall", 3,
             ["action=bogus&action=answercall\n", UNKNOWN, harness.text("unknown action", "bogus&action=answercall")]),
            # An escaped zero would end the value: no participant, any window.
            (f"{URL}action=closecallwindow&participant=%00Nobody%20Here", 0, [harness.text("invalid parameters", -6)]),
            # A value longer than 255 decoded; a quoted URL longer than 2,083;
            # an unquoted one cut to 2,083 (its tail is an unknown parameter).
            (f'"{URL}action=bogus&participant=' + "p" * 2000 + '"', 0, [harness.text("invalid parameters", -4)]),
            (f'"{URL}action=bogus&participant=' + "p" * 2100 + '"', 0, [harness.text("invalid parameters", -5)]),
            (f"{URL}action=bogus&participant=x&tail=" + "p" * 2100, 3,
             ["action=bogus\n", "participant=x\n", UNKNOWN, harness.text("unknown action", "bogus")]),
            (long_console, 1, ['Invalid command line syntax "' + long_console[:1023 - 29]]),
        ]
        for command_line, exit_code, expected in cases:
            with self.subTest(command_line=command_line[:80]):
                self.assertEqual(self.launch(command_line), exit_code)
                logged = self.take_log()
                self.assertEqual(logged[:1], [BANNER])
                self.assertEqual(logged[1:], expected)
                self.assertFalse(self.registered(), "no console command ran")

    def test_hostile_urls_through_the_shells_dispatch(self):
        self.launch("/registerhandler")
        self.take_log()
        if not self.registered():
            self.skipTest("/registerhandler does not register yet")
        cases = [
            (f"{URL}action=bogus&participant=x\\", 3, ["action=bogus\n", "participant=x\\\n"]),
            (f"{URL}action=bogus&participant=John Smith", 3, ["action=bogus\n", "participant=John Smith\n"]),
            (f"{URL}action=%22%20/unregisterhandler%20%22", 3, ['action=" /unregisterhandler "\n']),
            (f"{URL}action=bogus&participant=a%0D%0Ab", 3, ["action=bogus\n", "participant=a\u240d\u240ab\n"]),
            # As a browser encodes a name in any script (UTF-8), and a single escape as before.
            (f"{URL}action=bogus&participant=%C8%99tefan%20M%FCller", 3,
             ["action=bogus\n", "participant=\u0219tefan M\u00fcller\n"]),
            # Longer than the 255 characters the program once held. Wine's
            # shell starts no handler for a URL of more than 263 characters
            # (measured), so the longer ones are run with exact command lines.
            (f"{URL}action=bogus&participant=x&tail=" + "p" * (263 - 65), 3,
             ["action=bogus\n", "participant=x\n"]),
        ]
        try:
            for url, exit_code, parameters in cases:
                with self.subTest(url=url[:80]):
                    self.assertEqual(self.prefix.shell_open(url), exit_code)
                    logged = self.take_log()
                    self.assertEqual(logged[:1], [BANNER])
                    self.assertEqual(logged[1:1 + len(parameters)], parameters)
                    if not parameters:
                        self.assertEqual(logged, [BANNER])
                    self.assertNotIn("Unregistering protocol handler...\n", logged)
                    self.assertTrue(self.registered(), "the registration survived the URL")
        finally:
            self.launch("/unregisterhandler")
            self.take_log()

    def test_log_never_writes_through_a_link_planted_in_its_folder(self):
        self.launch("/help")
        (name,) = os.listdir(self.folder)
        day_file = os.path.join(self.folder, name)
        os.remove(day_file)
        victim = os.path.join(self.prefix.drive_c, "victim.txt")
        other = os.path.join(self.prefix.drive_c, "elsewhere")
        plants = [
            ("a second hard link", lambda: os.link(victim, day_file)),
            ("a symbolic link", lambda: os.symlink(victim, day_file)),
            ("the folder swapped for a link", lambda: (os.rename(self.folder, self.folder + ".moved"),
                                                        os.symlink(other, self.folder))),
        ]
        for what, plant in plants:
            with self.subTest(plant=what):
                with open(victim, "wb") as f:
                    f.write(b"victim\n")
                os.makedirs(other, exist_ok=True)
                plant()
                try:
                    code, console = self.prefix.run_console(self.exe_unix, ["/help"])
                    self.assertEqual(code, 0)
                    self.assertIn("Supported commands:", console, "the console still gets the text")
                    with open(victim, "rb") as f:
                        self.assertEqual(f.read(), b"victim\n")
                    self.assertEqual(os.listdir(other), [])
                finally:
                    if os.path.islink(self.folder):
                        os.remove(self.folder)
                        os.rename(self.folder + ".moved", self.folder)
                    if os.path.lexists(day_file):
                        os.remove(day_file)
                    shutil.rmtree(other, ignore_errors=True)
        # Each planted run wrote to the user's folder instead, under the line
        # that says why; without the link the day's own file is written again.
        refused = "Log file could not be written (error 0), entries of this run follow here.\n"
        self.assertEqual(self.take_log().count(refused), len(plants))
        self.assertEqual(self.launch("/help"), 0)
        self.assertEqual(self.take_log()[:2], [BANNER, registration.HELP])


if __name__ == "__main__":
    unittest.main()
