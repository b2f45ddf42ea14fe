"""The MSI package under Wine: a per-machine install puts the program in
Program Files with the same protocol key tree that /registerhandler writes, so
the installed program validates its own registration and a URL handed to the
shell reaches it; the shared log folder is made with it and stays after it;
a repair restores a deleted program and key; a newer package
replaces an older one, an older one is refused, the same version built again
stays one product; uninstalling takes the program, its folders and the whole
protocol key. When the release was signed (scripts/sign), the signed package
is the one installed, and it must install the signed program.

Without Wine, the package's tables get the checks that Windows Installer's
validation would make and wixl does not."""

import functools
import os
import shutil
import subprocess
import tempfile
import unittest

import harness
import test_registration as registration

VERSION = harness.program_version()
# The next release raises the third field: Windows Installer ignores the
# fourth when it decides whether one package upgrades another.
_major, _minor, _patch, _ = VERSION.split(".")
NEWER = f"{_major}.{_minor}.{int(_patch) + 1}.0"
PRODUCT_NAME = "Velmorathis Desktop Mirrowcast"
EXE_NAME = "VelmorathisMirrowcast.exe"
INSTALLED = r"C:\Program Files\Velmorathis\Velmorathis Mirrowcast" + "\\" + EXE_NAME
SCHEME_KEY = r"HKCR\Velmorathis.Mirrowcast"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALLER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "installer")
WXS = os.path.join(INSTALLER, "VelmorathisMirrowcast.wxs")
ICON = os.path.join(INSTALLER, "..", "res", "mirrowcast.ico")
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


def release_files():
    """(package, program) to install: the signed pair when there is one
    (MIRROWCAST_SIGNED_DIR, else the build's signed/ folder), else the build's."""
    signed = os.environ.get("MIRROWCAST_SIGNED_DIR") or os.path.join(
        os.path.dirname(harness.mirrowcast_exe()), "signed")
    msi = os.path.join(signed, os.path.basename(built_msi()))
    if os.path.exists(msi):
        return msi, os.path.join(signed, EXE_NAME)
    return built_msi(), harness.mirrowcast_exe()


def msi_table(msi, name):
    """The rows of one table as {column: value} ('' for null)."""
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True, text=True).stdout
    lines = text.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def properties(msi):
    return {row["Property"]: row["Value"] for row in msi_table(msi, "Property")}


def product_code(msi):
    return properties(msi)["ProductCode"]


def release_product_code(version):
    """The product code a release of version gets from the build's rule."""
    code = subprocess.run(["cmake", "-D", f"VERSION={version}", "-P", os.path.join(INSTALLER, "ProductCode.cmake")],
                          check=True, capture_output=True, text=True).stdout.strip()
    return "{" + code + "}"


def build_package(version, code, directory):
    """Another build of the package from the same source, as a later release
    (or a rebuild of this one) would be made."""
    target = os.path.join(directory, f"VelmorathisMirrowcast-{version}.msi")
    build = os.path.dirname(harness.mirrowcast_exe())
    subprocess.run(["wixl", "-a", "x64", "-D", f"Version={version}", "-D", f"ProductCode={code.strip('{}')}",
                    "-D", f"ProgramExe={EXE_NAME}", "-D", f"ProgramIcon={os.path.relpath(ICON, build)}",
                    "-o", target, os.path.abspath(WXS)], cwd=build, check=True, capture_output=True)
    return target


class PackageTables(unittest.TestCase):
    """What Windows Installer's validation would flag in the package."""

    def setUp(self):
        self.msi, _ = release_files()

    def test_components_registry_and_folders_are_what_validation_expects(self):
        table = functools.partial(msi_table, self.msi)
        components = table("Component")
        kept_by_folder = {row["Component_"] for row in table("CreateFolder")}
        guids = [row["ComponentId"] for row in components]
        self.assertEqual(len(set(guids)), len(guids))
        for row in components:
            with self.subTest(component=row["Component"]):
                self.assertRegex(row["ComponentId"], r"^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
                # Without a key path Windows Installer cannot tell whether the
                # component is installed, unless a folder it creates stands for it.
                self.assertTrue(row["KeyPath"] or row["Component"] in kept_by_folder)
                self.assertTrue(int(row["Attributes"]) & 256, "64-bit (Win64), or its registry goes to WOW6432Node")
        self.assertEqual(properties(self.msi)["ALLUSERS"], "1", "per machine")

        # Root 0 is HKEY_CLASSES_ROOT. The four values /registerhandler writes,
        # all REG_SZ (a value starting with # would make another type), and the
        # "-" row that deletes the key with whatever else is under it on
        # uninstall. "URL Protocol" is an empty string: an MSI cannot write the
        # 0-byte value the program writes, and the shell only looks at the name.
        scheme = "Velmorathis.Mirrowcast"
        registry = table("Registry")
        self.assertEqual({(row["Root"], row["Key"], row["Name"]): row["Value"] for row in registry}, {
            ("0", scheme, ""): "URL:Velmorathis.Mirrowcast Protocol",
            ("0", scheme, "URL Protocol"): "",
            ("0", scheme + "\\DefaultIcon", ""): "[#ProgramExe]",
            ("0", scheme + "\\shell\\open\\command", ""): '"[#ProgramExe]" "%1"',
            ("0", scheme, "-"): "",
        })
        # [#ProgramExe] is the program's installed path, and the key comes and
        # goes with the component that installs the program.
        program = {row["File"]: row for row in table("File")}["ProgramExe"]
        self.assertEqual(program["FileName"], EXE_NAME)
        self.assertEqual({row["Component_"] for row in registry}, {program["Component_"]})

        # The version of the program's version block and banner (the status
        # window's test and every Wine test check those against VERSION):
        # without it in the File row the program counts as unversioned. The
        # apps list shows the program's icon and offers no "Modify".
        props = properties(self.msi)
        self.assertEqual((props["ProductVersion"], program["Version"], props["ARPNOMODIFY"]), (VERSION, VERSION, "1"))
        # Its language is the version block's translation, 0x409 (ICE60).
        self.assertEqual(program["Language"], "1033")
        shown = subprocess.run(["msiinfo", "extract", self.msi, "Icon." + props["ARPPRODUCTICON"]], check=True,
                               capture_output=True).stdout
        with open(ICON, "rb") as f:
            self.assertEqual(shown, f.read())

        directories = {row["Directory"]: row for row in table("Directory")}

        def path(key):
            row = directories[key]
            if not row["Directory_Parent"]:
                return []
            parent = path(row["Directory_Parent"])
            if not parent:
                return [key]  # a system folder such as ProgramFiles64Folder
            name = row["DefaultDir"].split(":")[0].split("|")[-1]
            return parent if name == "." else parent + [name]

        tables = set(subprocess.run(["msiinfo", "tables", self.msi], check=True, capture_output=True,
                                    text=True).stdout.split())
        places = {"Component": "Directory_", "CreateFolder": "Directory_", "RemoveFile": "DirProperty",
                  "Shortcut": "Directory_", "IniFile": "DirProperty", "DuplicateFile": "DestFolder",
                  "MoveFile": "DestFolder"}
        for name, column in places.items():
            for row in table(name) if name in tables else []:
                with self.subTest(table=name, folder=row[column]):
                    self.assertIn(path(row[column])[:2], [["ProgramFiles64Folder", "Velmorathis"],
                                                          ["CommonAppDataFolder", "Velmorathis"]])

        # The log folder and the maker's folder above it, made for the machine
        # and kept on uninstall (permanent), with the lists the program gives
        # the folders it makes; the maker's only when it was not there before
        # (the search runs before anything is installed). Windows Installer
        # refuses a package with both lock tables.
        folders = {row["Directory_"]: path(row["Directory_"]) for row in table("CreateFolder")}
        self.assertEqual(folders["LogFolder"], ["CommonAppDataFolder", "Velmorathis", "Velmorathis Mirrowcast"])
        self.assertEqual(folders["VendorDataFolder"], ["CommonAppDataFolder", "Velmorathis"])
        attributes = {row["Component"]: int(row["Attributes"]) for row in components}
        self.assertTrue(attributes["LogFolder"] & attributes["VendorDataFolder"] & 16, "permanent")
        self.assertEqual({(row["LockObject"], row["Table"], row["SDDLText"], row["Condition"])
                          for row in table("MsiLockPermissionsEx")}, {
            ("LogFolder", "CreateFolder", "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;;0x1200ab;;;OW)"
             "(A;OIIO;0x1301bf;;;BU)(A;OIIO;0x1301bf;;;OW)", ""),
            ("VendorDataFolder", "CreateFolder", "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)"
             "(A;;0x1200a9;;;OW)", "NOT VENDORFOLDERFOUND"),
        })
        self.assertNotIn("LockPermissions", tables)
        # A versioned file has no hash (ICE60): Windows Installer compares versions.
        self.assertEqual([row["File_"] for row in table("MsiFileHash")] if "MsiFileHash" in tables else [], [])
        self.assertEqual([(row["Property"], row["Signature_"]) for row in table("AppSearch")],
                         [("VENDORFOLDERFOUND", "VendorFolderSearch")])
        self.assertEqual([(row["Signature_"], row["Parent"], row["Path"], row["Depth"]) for row in table("DrLocator")],
                         [("VendorFolderSearch", "", "[CommonAppDataFolder]Velmorathis", "0")])
        for sequence in ("InstallExecuteSequence", "InstallUISequence"):
            order = {row["Action"]: int(row["Sequence"]) for row in table(sequence)}
            self.assertLess(order["AppSearch"], order["CostFinalize"], sequence)

        # The apps list's installation folder: the program's folder, set once
        # costing has resolved it and before the product is registered, by a
        # plain immediate action that sets a property (type 51).
        self.assertEqual(path("INSTALLDIR"), ["ProgramFiles64Folder", "Velmorathis", "Velmorathis Mirrowcast"])
        actions = {row["Action"]: row for row in table("CustomAction")}
        setter = [name for name, row in actions.items() if row["Source"] == "ARPINSTALLLOCATION"]
        self.assertEqual([(actions[name]["Type"], actions[name]["Target"]) for name in setter], [("51", "[INSTALLDIR]")])
        order = {row["Action"]: int(row["Sequence"]) for row in table("InstallExecuteSequence")}
        self.assertLess(order["CostFinalize"], order[setter[0]])
        self.assertLess(order[setter[0]], order["RegisterProduct"])

    def test_upgrade_code_stays_and_product_code_follows_the_version(self):
        self.assertEqual(product_code(self.msi), release_product_code(VERSION))
        later = tempfile.mkdtemp(prefix="msi-", dir=harness.base_dir())
        self.addCleanup(shutil.rmtree, later, True)
        newer = build_package(NEWER, release_product_code(NEWER), later)
        self.assertEqual(properties(newer)["UpgradeCode"], properties(self.msi)["UpgradeCode"])
        self.assertNotEqual(product_code(newer), product_code(self.msi))


class Installer(unittest.TestCase):
    def setUp(self):
        self.msi, self.program = release_files()
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

    def installed_products(self):
        """{product code: display version} of every installed entry of ours."""
        tree = self.prefix.export_key(UNINSTALL_KEY) or {}
        return {key.rsplit("\\", 1)[1]: values.get("DisplayVersion")
                for key, values in tree.items() if values.get("DisplayName") == PRODUCT_NAME}

    def validate_installed(self):
        """/validateconfig of the installed program, its status window closed
        the ordinary way (WM_CLOSE through taskkill): (exit code, log)."""
        return self.prefix.run_logged(INSTALLED, ["/validateconfig"], until_closed=True)

    def assert_installed(self):
        """The program and the protocol key tree of the installed copy, one product."""
        with open(self.installed_unix, "rb") as installed, open(self.program, "rb") as release:
            self.assertTrue(installed.read() == release.read(), f"the installed program is {self.program}")
        self.assertEqual(self.installed_products(), {product_code(self.msi): VERSION})
        # The apps list names the installation folder, for inventory tools.
        entries = (self.prefix.export_key(UNINSTALL_KEY) or {}).values()
        self.assertEqual([values.get("InstallLocation") for values in entries if values.get("DisplayName") == PRODUCT_NAME],
                         [INSTALLED.rsplit("\\", 1)[0] + "\\"])

        # What /registerhandler of the installed copy would write, save that
        # Windows Installer stores "URL Protocol" as an empty string with its
        # terminator where the program writes no data at all; the shell only
        # looks for the name.
        self.assertEqual(self.prefix.export_key(SCHEME_KEY), registration.registered_tree(INSTALLED))

    def assert_nothing_left(self):
        self.assertFalse(os.path.exists(os.path.join(self.prefix.drive_c, "Program Files", "Velmorathis")))
        self.assertEqual(self.prefix.reg("query", SCHEME_KEY).returncode, 1, "the protocol key is gone")
        self.assertEqual(self.installed_products(), {})

    # --- tests ---------------------------------------------------------------

    def test_install_registers_the_installed_program_repair_restores_it_and_uninstall_removes_everything(self):
        self.assertEqual(self.install(self.msi), 0)
        self.assert_installed()
        self.assertTrue(os.path.isdir(self.prefix.log_folder), "the package makes the log folder")

        self.assertEqual(self.validate_installed(),
                         (0, registration.BANNER + registration.VALID + registration.FOLDER_REPORT))
        # The installed registration is one the program will not overwrite.
        self.assertEqual(self.prefix.run_logged(INSTALLED, ["/registerhandler"]),
                         (0, registration.BANNER + registration.REFUSED))

        url = "Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow&participant=John%20Smith"
        self.assertEqual(self.prefix.shell_open(url), 0)
        log = "".join(self.prefix.log_entries(take=True))
        self.assertTrue(log.startswith(registration.BANNER), log)
        for line in ["action=closecallwindow\n", "participant=John Smith\n", "Teams call window not found"]:
            self.assertIn(line, log)

        # A repair puts back a deleted program and key, with the command line
        # README gives ('v' takes the package given, so a rebuilt one is
        # cached too). (Wine 8's msiexec /fa fails with 1605; REINSTALL
        # through /i is the same repair on Windows.)
        os.remove(self.installed_unix)
        self.prefix.reg("delete", SCHEME_KEY, "/f")
        self.assertEqual(self.msiexec("/i", self.prefix.winpath(self.msi), "REINSTALL=ALL", "REINSTALLMODE=vamus",
                                      "/qn"), 0)
        self.assert_installed()

        # Whatever else was put under the scheme key goes with it.
        self.prefix.reg("add", SCHEME_KEY + r"\shell\print\command", "/ve", "/d", "notepad %1", "/f")
        self.assertEqual(self.uninstall(self.msi), 0)
        self.assert_nothing_left()
        self.assertTrue(os.path.isdir(self.prefix.log_folder), "the logs stay")

    def test_newer_package_replaces_older_and_older_is_refused(self):
        later = tempfile.mkdtemp(prefix="msi-", dir=harness.base_dir())
        self.addCleanup(shutil.rmtree, later, True)
        # A rebuild of this version keeps its product code; a release gets a new one.
        rebuilt = build_package(VERSION, release_product_code(VERSION), later)
        newer = build_package(NEWER, release_product_code(NEWER), later)

        self.assertEqual(self.install(self.msi), 0)
        self.install(rebuilt)
        self.assertEqual(self.installed_products(), {product_code(self.msi): VERSION},
                         "the same version installed again is still one product")

        self.assertEqual(self.install(newer), 0)
        self.assertEqual(self.installed_products(), {product_code(newer): NEWER})
        self.assertTrue(os.path.exists(self.installed_unix))
        # Removing the older product must not have taken the newer one's key.
        self.assertEqual(self.validate_installed(),
                         (0, registration.BANNER + registration.VALID + registration.FOLDER_REPORT))

        self.assertEqual(self.install(self.msi), INSTALL_FAILURE)
        self.assertEqual(self.installed_products(), {product_code(newer): NEWER})

        self.assertEqual(self.uninstall(newer), 0)
        self.assert_nothing_left()


if __name__ == "__main__":
    unittest.main()
