"""The files in deploy/. The browser policy files each parse as regedit or
Firefox reads them, and approve the scheme the package registers, written as
browsers compare it (lower case, no colon), for the placeholder origin with
no path. The Group Policy template writes the key and values the program
reads, each of the type it reads, and the editor finds every string it names."""

import json
import os
import re
import unittest
import urllib.parse
import xml.etree.ElementTree as ET

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEPLOY = os.path.join(REPO, "deploy")
PLACEHOLDER = "https://attendant.example.com"
REG_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"')
GP = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"


def registered_scheme():
    """The scheme as the package writes it under HKEY_CLASSES_ROOT."""
    with open(os.path.join(REPO, "installer", "VelmorathisMirrowcast.wxs"), encoding="utf-8") as f:
        return re.search(r'Root="HKCR" Key="([^"\\]+)"', f.read()).group(1)


def read_reg(path):
    """{key: {value name: string}} of a regedit file, UTF-16LE (as regedit
    exports) or ASCII; any other kind of value fails."""
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-16") if raw.startswith(b"\xff\xfe") else raw.decode("ascii")
    lines = text.splitlines()
    assert lines[0] == "Windows Registry Editor Version 5.00", lines[0]
    tree, key = {}, None
    for line in lines[1:]:
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            key = tree.setdefault(line[1:-1], {})
            continue
        match = REG_STRING.fullmatch(line)
        assert match and key is not None, f"{path}: not a string value under a key: {line}"
        name, data = (re.sub(r"\\(.)", r"\1", part) for part in match.groups())
        key[name] = data
    return tree


def source(name):
    """A file under src/, by its path there."""
    with open(os.path.join(REPO, "src", *name.split("/")), encoding="utf-8") as f:
        return f.read()


class BrowserPolicies(unittest.TestCase):
    def assert_approves_the_scheme(self, entries):
        self.assertEqual([entry["protocol"] for entry in entries], [registered_scheme().lower()])
        origins = entries[0]["allowed_origins"]
        self.assertIn(PLACEHOLDER, origins)
        for origin in origins:
            parts = urllib.parse.urlsplit(origin)
            self.assertIn(parts.scheme, ("https", "http"), origin)
            self.assertTrue(parts.netloc, origin)
            self.assertEqual((parts.path, parts.query, parts.fragment), ("", "", ""), "an origin has no path")

    def test_each_file_approves_the_scheme_for_the_attendant_origin(self):
        for name, key, policies in [
            ("edge-policies.reg", r"HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Edge",
             ["AutoLaunchProtocolsFromOrigins", "DoNotSilentlyBlockProtocolsFromOrigins"]),
            ("chrome-policies.reg", r"HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Google\Chrome",
             ["AutoLaunchProtocolsFromOrigins"]),
        ]:
            tree = read_reg(os.path.join(DEPLOY, name))
            self.assertEqual(list(tree), [key], name)
            self.assertEqual(sorted(tree[key]), sorted(policies), name)
            for policy in policies:
                with self.subTest(name, policy=policy):
                    self.assert_approves_the_scheme(json.loads(tree[key][policy]))

        with open(os.path.join(DEPLOY, "policies.json"), encoding="utf-8") as f:
            firefox = json.load(f)
        with self.subTest("policies.json"):
            self.assertEqual(list(firefox["policies"]), ["AutoLaunchProtocolsFromOrigins"])
            self.assert_approves_the_scheme(firefox["policies"]["AutoLaunchProtocolsFromOrigins"])



class PolicyTemplate(unittest.TestCase):
    def test_template_sets_the_values_the_program_reads(self):
        # The program's names, as the header spells them (\\ for a backslash).
        names = {name: re.sub(r"\\(.)", r"\1", text) for header in ("log/machine_policy.h", "teams/teams_policy.h")
                 for name, text in re.findall(r'constexpr char16_t (\w+)\[\] = u"((?:[^"\\]|\\.)*)";', source(header))}
        key = names["MachinePolicyKeyPath"]
        scan = source("teams/teams_window_scan.h")
        limits = (str(int(re.search(r"PolicyEntryCapacity = (\d+);", scan).group(1)) - 1),  # its terminator
                  re.search(r"PolicyEntryLimit = (\d+);", scan).group(1))

        admx = ET.parse(os.path.join(DEPLOY, "VelmorathisMirrowcast.admx")).getroot()
        adml = ET.parse(os.path.join(DEPLOY, "en-US", "VelmorathisMirrowcast.adml")).getroot()
        self.assertEqual(admx.tag, GP + "policyDefinitions")
        self.assertEqual(adml.tag, GP + "policyDefinitionResources")
        strings = {s.get("id") for s in adml.iter(GP + "string")}
        presentations = {p.get("id"): p for p in adml.iter(GP + "presentation")}

        # Each value as the program reads it: a list as one REG_MULTI_SZ (a
        # multiText; a list element would write numbered values instead), the
        # log folder as a REG_SZ holding one of its two words (an enum of
        # strings), detail logging as the policy's own REG_DWORD, 1 when on.
        written = {}
        for policy in admx.iter(GP + "policy"):
            name = policy.get("name")
            self.assertEqual((policy.get("class"), policy.get("key")), ("Machine", key), name)
            if policy.get("valueName"):
                written[policy.get("valueName")] = ("REG_DWORD", policy.find(f"{GP}enabledValue/{GP}decimal").get("value"),
                                                    policy.find(f"{GP}disabledValue/{GP}decimal").get("value"))
            elements = list(policy.find(GP + "elements")) if policy.find(GP + "elements") is not None else []
            for element in elements:
                self.assertEqual(element.get("key", key), key, name)
                if element.tag == GP + "multiText":
                    self.assertEqual((element.get("maxLength"), element.get("maxStrings")), limits, name)
                    written[element.get("valueName")] = ("REG_MULTI_SZ",)
                else:
                    self.assertEqual(element.tag, GP + "enum", name)
                    written[element.get("valueName")] = ("REG_SZ", *sorted(v.text for v in element.iter(GP + "string")))
            if elements:
                # The editor shows an element only through the policy's presentation.
                presentation = re.fullmatch(r"\$\(presentation\.(.+)\)", policy.get("presentation")).group(1)
                self.assertEqual({box.get("refId") for box in presentations[presentation]},
                                 {element.get("id") for element in elements}, name)
        log_values = {names["LogFolderValue"]: ("REG_SZ", *sorted([names["LogFolderShared"], names["LogFolderUser"]])),
                      names["DetailLoggingValue"]: ("REG_DWORD", "1", "0")}
        lists = {text: ("REG_MULTI_SZ",) for n, text in names.items() if n.endswith("Value") and text not in log_values}
        self.assertEqual(written, {**lists, **log_values})

        # The editor refuses the whole file over one string, presentation,
        # category or supported-on definition it cannot find.
        defined = {e.get("name") for e in admx.iter() if e.tag in (GP + "category", GP + "definition")}
        prefixes = {u.get("prefix") for u in admx.iter(GP + "using")}
        for element in admx.iter():
            for value in element.attrib.values():
                for kind, ref in re.findall(r"\$\((string|presentation)\.([^)]*)\)", value):
                    self.assertIn(ref, strings if kind == "string" else presentations, value)
            ref = element.get("ref") if element.tag in (GP + "parentCategory", GP + "supportedOn") else None
            if ref is not None:
                self.assertTrue(ref in defined or ref.partition(":")[0] in prefixes, ref)


if __name__ == "__main__":
    unittest.main()
