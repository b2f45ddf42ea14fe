"""The real program under Wine: its imports, exit codes, the log file it
leaves in ProgramData (or, when it cannot or the machine policy says so, in
the user's own folder), the expiry of last week's file and the console echo."""

import datetime
import os
import re
import subprocess
import unittest

import harness

PREFIX_RE = re.compile(r"\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\] ")
BANNER = harness.banner()
URL = "Velmorathis.Mirrowcast:TeamsCall?"
SYSTEM_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
               "gdi32.dll", "ole32.dll", "comctl32.dll", "comdlg32.dll", "ucrtbase.dll", "ws2_32.dll",
               "psapi.dll", "version.dll", "uxtheme.dll"}


def todays_log(prefix):
    # The program names the file after the UTC weekday, Sunday = 0.
    weekday = (datetime.datetime.now(datetime.timezone.utc).weekday() + 1) % 7
    return os.path.join(prefix.log_folder, f"VelmorathisMirrowcast{weekday}.log")


def read_log(prefix):
    with open(todays_log(prefix), "rb") as f:
        return f.read()


class Foundation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = harness.WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.__exit__, None, None, None)
        cls.exe = harness.mirrowcast_exe()

    def setUp(self):
        # Every test reads the day's file from its own start.
        if os.path.exists(todays_log(self.prefix)):
            os.remove(todays_log(self.prefix))

    def log_text(self):
        return read_log(self.prefix).decode("utf-16-le")

    def test_imports_only_windows_system_dlls(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", self.exe], check=True,
                              capture_output=True, text=True).stdout
        imported = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
        self.assertTrue(imported)
        self.assertLessEqual(imported, SYSTEM_DLLS, "a runtime DLL would be missing on a clean machine")
        self.assertIn("(Windows GUI)", subprocess.run(["x86_64-w64-mingw32-objdump", "-p", self.exe],
                                                      capture_output=True, text=True).stdout)

    def test_exit_codes_and_what_each_form_logs(self):
        cases = [
            # command line after the program name, exit code, lines after the start lines
            ("", 0, []),
            ("just some words", 0, []),
            (f'"{URL}action=answercall&participant=x', 0, []),  # no closing quote
            ("Velmorathis.Mirrowcast/TeamsCall?action=answercall", 0, []),
            (f"{URL}action=nonsense", 3, ["action=nonsense\n", harness.text("invoked"),
                                          harness.text("unknown action", "nonsense")]),
            (f'"{URL}participant=John%20Smith"', 3, ["participant=John Smith\n", harness.text("invoked"),
                                                     harness.text("unknown action", "")]),
            ("Velmorathis.Mirrowcast:TeamsCall", 0, [harness.text("invalid parameters", -3)]),
            ("velmorathis.mirrowcast:Other?action=x", 0, [harness.text("invalid parameters", -2)]),
            (f"{URL}action=answercall\t", 3, ["action=answercall\t\n", harness.text("invoked"),
                                              harness.text("unknown action", "answercall\t")]),
        ]
        for command_line, expected_code, expected_lines in cases:
            with self.subTest(command_line=command_line):
                os.path.exists(todays_log(self.prefix)) and os.remove(todays_log(self.prefix))
                self.assertEqual(self.prefix.launch(self.exe, command_line), expected_code)
                logged = harness.log_entries(self.log_text())
                self.assertEqual(logged[:2], ["\n", BANNER])
                self.assertEqual(logged[2:], expected_lines)

    def test_log_file_is_utf16le_with_utc_prefixes_and_a_bare_line_break(self):
        before = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        code, _ = self.prefix.run(self.exe, [f"{URL}action=bogus&participant=M\u00fcller%20%E9"])
        after = datetime.datetime.now(datetime.timezone.utc)
        self.assertEqual(code, 3)
        raw = read_log(self.prefix)
        self.assertFalse(raw.startswith(b"\xff\xfe"), "no byte-order mark")
        self.assertEqual(raw[:2], b"\n\x00", "each run starts with a bare line feed")
        self.assertNotIn(b"\r\x00", raw, "line feeds only")
        text = raw.decode("utf-16-le")
        stamps = PREFIX_RE.findall(text)
        self.assertEqual(len(stamps), 5)
        for stamp in stamps:
            moment = datetime.datetime(*map(int, stamp), tzinfo=datetime.timezone.utc)
            self.assertTrue(before - datetime.timedelta(seconds=1) <= moment <= after, moment)
        self.assertEqual(harness.log_entries(text), [
            "\n", BANNER, "action=bogus\n", "participant=M\u00fcller \u00e9\n", harness.text("invoked"),
            harness.text("unknown action", "bogus")])

    def test_last_weeks_file_is_replaced_and_a_recent_one_appended_to(self):
        os.makedirs(self.prefix.log_folder, exist_ok=True)
        path = todays_log(self.prefix)
        for age, kept in (("3 days ago", False), ("47 hours ago", True)):
            with self.subTest(age=age):
                with open(path, "wb") as f:
                    f.write("old entry\n".encode("utf-16-le"))
                subprocess.run(["touch", "-d", age, path], check=True)
                self.prefix.run(self.exe, [f"{URL}action=bogus"])
                text = self.log_text()
                self.assertEqual(text.startswith("old entry\n"), kept, text[:40])
                self.assertIn(BANNER, text)

    def test_the_run_goes_to_the_users_folder_when_the_days_file_cannot_take_it_or_the_policy_says_so(self):
        users_file = os.path.join(self.prefix.users_log_folder, os.path.basename(todays_log(self.prefix)))

        def take_users_file():
            with open(users_file, "rb") as f:
                text = f.read().decode("utf-16-le")
            os.remove(users_file)
            return text

        os.makedirs(todays_log(self.prefix))
        try:
            self.assertEqual(self.prefix.run(self.exe, [f"{URL}action=bogus"])[0], 3)
        finally:
            os.rmdir(todays_log(self.prefix))
        self.assertEqual(harness.log_entries(take_users_file()), [
            "\n", "Log file could not be written (error 5), entries of this run follow here.\n", BANNER,
            "action=bogus\n", harness.text("invoked"), harness.text("unknown action", "bogus")])

        # The machine policy keeps every entry in the user's folder, and with
        # detail each one carries the process id, which the process line
        # repeats with the session.
        policy = r"HKLM\SOFTWARE\Policies\Velmorathis\Velmorathis Mirrowcast"
        self.addCleanup(self.prefix.reg, "delete", policy, "/f")
        for name, kind, data in [("LogFolder", "REG_SZ", "User"), ("DetailLogging", "REG_DWORD", "1")]:
            added = self.prefix.reg("add", policy, "/v", name, "/t", kind, "/d", data, "/f")
            self.assertEqual(added.returncode, 0, added.stderr)
        self.assertEqual(self.prefix.run(self.exe, ["/debuginfo"])[0], 0)
        self.assertFalse(os.path.exists(todays_log(self.prefix)), "nothing in the shared folder")
        entries = harness.log_entries(take_users_file())
        process = re.fullmatch(r"\[(\d+)\] .*", entries[1], re.DOTALL).group(1)
        self.assertEqual(entries[:3], ["\n", f"[{process}] {BANNER}", f"[{process}] Command line [/debuginfo]\n"])
        self.assertRegex(entries[3], rf"^\[{process}\] Process {process}, session \d+\.\n$")
        self.assertTrue(all(entry.startswith(f"[{process}] ") for entry in entries[1:]), entries)
        self.assertIn(f"[{process}] Log folder in use: %LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\n", entries)

    def test_console_shows_each_text_without_prefix(self):
        code, console = self.prefix.run_console(self.exe, [f"{URL}action=bogus&participant=Ann"])
        self.assertEqual(code, 3)
        self.assertIn(BANNER + "action=bogus\nparticipant=Ann\n" + harness.text("invoked")
                      + harness.text("unknown action", "bogus"), console)
        self.assertNotRegex(console, PREFIX_RE.pattern)
        self.assertRegex(self.log_text(), re.escape("] action=bogus\n"))


if __name__ == "__main__":
    unittest.main()
