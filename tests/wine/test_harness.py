"""The Wine harness hands arguments, exit codes, console text, URLs and
registry values through unchanged, and keeps test prefixes apart."""

import os
import unittest

import harness

# Arguments that a naive join or a shell would mangle: spaces, quotes next to
# backslashes (CommandLineToArgvW's doubling rule), cmd and shell
# metacharacters, an empty argument, a leading slash that start.exe could
# take for one of its own options, and text outside ASCII.
HOSTILE_ARGUMENTS = [
    "two words",
    'say "hi"',
    "trailing backslash\\",
    'escaped \\" quote',
    "\\\\server\\share\\",
    "%PATH% 100%",
    "a&b|c<d>e^f",
    "$HOME `id` 'single'",
    "",
    "/wait",
    "Zoë – 日本",
]


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


if __name__ == "__main__":
    unittest.main()
