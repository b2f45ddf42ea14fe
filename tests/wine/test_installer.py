"""The MSI package under Wine: a per-machine install puts the program in
Program Files with the same protocol key tree that /registerhandler writes, so
the installed program validates its own registration and a URL handed to the
shell reaches it; a newer package replaces an older one, an older one is
refused, the same version built again stays one product; uninstalling takes
the program, its folders and the whole protocol key."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness
import test_registration as registration

VERSION = "1.0.4.0"
PRODUCT_NAME = "Velmorathis Desktop Mirrowcast"
EXE_NAME = "VelmorathisMirrowcast.exe"
INSTALLED = r"C:\Program Files\Velmorathis\Velmorathis Mirrowcast" + "\\" + EXE_NAME
SCHEME_KEY = r"HKCR\Velmorathis.Mirrowcast"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
WXS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "installer", "VelmorathisMirrowcast.wxs")
# msiexec's exit code for a failed install (1603), as the low 8 bits Wine passes on.
INSTALL_FAILURE = 1603 & 0xFF


def built_msi():
    path = os.environ.get("MIRROWCAST_MSI") or os.path.join(
        os.path.dirname(harness.mirrowcast_exe()), f"VelmorathisMirrowcast-{VERSION}-x64.msi")
    if not os.path.exists(path):
        if shutil.which("wixl") is None:
            raise unittest.SkipTest("wixl is not installed (scripts/setup installs it)")
        raise AssertionError(f"{path} was not built: wixl is installed, so the windows build should make it")
    return path


def product_code(msi):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], check=True, capture_output=True, text=True).stdout
    return re.search(r"^ProductCode\t(\{[0-9A-F-]+\})$", table, re.MULTILINE).group(1)


def build_package(version, code, directory):
    """Another build of the package from the same source, as a later release
    (or a rebuild of this one) would be made."""
    target = os.path.join(directory, f"VelmorathisMirrowcast-{version}.msi")
    subprocess.run(["wixl", "-a", "x64", "-D", f"Version={version}", "-D", f"ProductCode={code.strip('{}')}",
                    "-D", f"ProgramExe={EXE_NAME}", "-o", target, os.path.abspath(WXS)],
                   cwd=os.path.dirname(harness.mirrowcast_exe()), check=True, capture_output=True)
    return target


class Installer(unittest.TestCase):
    def setUp(self):
        self.msi = built_msi()
        # A fresh machine per test: nothing installed, nothing registered.
        self.prefix = harness.WinePrefix().__enter__()
        self.addCleanup(self.prefix.__exit__, None, None, None)
        self.installed_unix = os.path.join(self.prefix.drive_c, "Program Files", "Velmorathis",
                                           "Velmorathis Mirrowcast", EXE_NAME)

    # --- helpers -------------------------------------------------------------

    def msiexec(self, *args):
        proc = subprocess.run(["wine", "msiexec", *args], env=self.prefix.env, timeout=180,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return proc.returncode & 0xFF

    def install(self, msi):
        return self.msiexec("/i", self.prefix.winpath(msi), "/qn")

    def uninstall(self, msi):
        return self.msiexec("/x", self.prefix.winpath(msi), "/qn")

    def export(self, key):
        target = os.path.join(self.prefix.drive_c, "export.reg")
        if self.prefix.reg("export", key, self.prefix.winpath(target), "/y").returncode != 0:
            return None
        with open(target, "rb") as f:
            text = f.read().decode("utf-16")
        os.remove(target)
        return registration.parse_reg_export(text)

    def installed_products(self):
        """{product code: display version} of every installed entry of ours."""
        tree = self.export(UNINSTALL_KEY) or {}
        return {key.rsplit("\\", 1)[1]: values.get("DisplayVersion")
                for key, values in tree.items() if values.get("DisplayName") == PRODUCT_NAME}

    def take_log(self):
        return registration.Registration.take_log(self)

    def run_installed(self, *args):
        self.take_log()
        code, _ = self.prefix.run(INSTALLED, args)
        return code, self.take_log()

    def validate_installed(self):
        """/validateconfig of the installed program, its status window closed
        the ordinary way (WM_CLOSE through taskkill): (exit code, log)."""
        self.take_log()
        code = self.prefix.run_until_closed(INSTALLED, ["/validateconfig"])
        return code, self.take_log()

    def assert_nothing_left(self):
        self.assertFalse(os.path.exists(os.path.join(self.prefix.drive_c, "Program Files", "Velmorathis")))
        self.assertEqual(self.prefix.reg("query", SCHEME_KEY).returncode, 1, "the protocol key is gone")
        self.assertEqual(self.installed_products(), {})

    # --- tests ---------------------------------------------------------------

    def test_install_registers_the_installed_program_and_uninstall_removes_everything(self):
        self.assertEqual(self.install(self.msi), 0)

        with open(self.installed_unix, "rb") as installed, open(harness.mirrowcast_exe(), "rb") as built:
            self.assertTrue(installed.read() == built.read(), "the installed program is the built one")
        self.assertEqual(self.installed_products(), {product_code(self.msi): VERSION})

        # What /registerhandler of the installed copy would write, save that
        # Windows Installer stores "URL Protocol" as an empty string with its
        # terminator where the program writes no data at all; the shell only
        # looks for the name.
        scheme = "HKEY_CLASSES_ROOT\\Velmorathis.Mirrowcast"
        self.assertEqual(self.export(SCHEME_KEY), {
            scheme: {"": "URL:Velmorathis.Mirrowcast Protocol", "URL Protocol": ""},
            scheme + "\\DefaultIcon": {"": INSTALLED},
            scheme + "\\shell": {},
            scheme + "\\shell\\open": {},
            scheme + "\\shell\\open\\command": {"": f'"{INSTALLED}" "%1"'},
        })

        self.assertEqual(self.validate_installed(), (0, registration.BANNER + registration.VALID))
        # The installed registration is one the program will not overwrite.
        self.assertEqual(self.run_installed("/registerhandler"), (0, registration.BANNER + registration.REFUSED))

        url = "Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow&participant=John%20Smith"
        self.assertEqual(self.prefix.shell_open(url), 0)
        log = self.take_log()
        self.assertTrue(log.startswith(registration.BANNER), log)
        for line in ["action=closecallwindow\n", "participant=John Smith\n", "Teams call window not found"]:
            self.assertIn(line, log)

        # Whatever else was put under the scheme key goes with it.
        self.prefix.reg("add", SCHEME_KEY + r"\shell\print\command", "/ve", "/d", "notepad %1", "/f")
        self.assertEqual(self.uninstall(self.msi), 0)
        self.assert_nothing_left()

    def test_newer_package_replaces_older_and_older_is_refused(self):
        later = tempfile.mkdtemp(prefix="msi-", dir=harness.base_dir())
        self.addCleanup(shutil.rmtree, later, True)
        # A rebuild of this version keeps its product code; a release gets a new one.
        rebuilt = build_package(VERSION, product_code(self.msi), later)
        newer = build_package("1.0.5.0", "{3D0C6F39-8E58-4E42-A6C1-52B7A0E6A0F1}", later)

        self.assertEqual(self.install(self.msi), 0)
        self.install(rebuilt)
        self.assertEqual(self.installed_products(), {product_code(self.msi): VERSION},
                         "the same version installed again is still one product")

        self.assertEqual(self.install(newer), 0)
        self.assertEqual(self.installed_products(), {"{3D0C6F39-8E58-4E42-A6C1-52B7A0E6A0F1}": "1.0.5.0"})
        self.assertTrue(os.path.exists(self.installed_unix))
        # Removing the older product must not have taken the newer one's key.
        self.assertEqual(self.validate_installed(), (0, registration.BANNER + registration.VALID))

        self.assertEqual(self.install(self.msi), INSTALL_FAILURE)
        self.assertEqual(self.installed_products(), {"{3D0C6F39-8E58-4E42-A6C1-52B7A0E6A0F1}": "1.0.5.0"})

        self.assertEqual(self.uninstall(newer), 0)
        self.assert_nothing_left()


if __name__ == "__main__":
    unittest.main()
