"""The browser policy files in deploy/: each parses as regedit or Firefox
reads it, and approves the scheme the package registers, written as browsers
compare it (lower case, no colon), for the placeholder origin with no path."""

import json
import os
import re
import unittest
import urllib.parse

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEPLOY = os.path.join(REPO, "deploy")
PLACEHOLDER = "https://attendant.example.com"
REG_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"')


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


if __name__ == "__main__":
    unittest.main()
