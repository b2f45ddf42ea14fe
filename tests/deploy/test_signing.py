"""scripts/sign with a throwaway certificate authority, since CI has no real
certificate: the program and the package verify against that authority (and
not without it), one byte changed inside the signed content breaks the
signature, no certificate means no release files, and a key on a PKCS#11
token signs as a PFX does. The signed pair stays in MIRROWCAST_SIGNED_DIR:
the installer test installs it (ctest runs this first, as a fixture).

Environment: MIRROWCAST_WINDOWS_BUILD_DIR (the build to sign) and
MIRROWCAST_SIGNED_DIR (where the signed pair goes)."""

import glob
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SIGN = os.path.join(REPO, "scripts", "sign")
PROGRAM = "VelmorathisMirrowcast.exe"
PASSWORD = "throwaway password"
# osslsigncode's line for a digest that does not match the signed one (PE
# files: "message digest", MSI: "DigitalSignature"), in 2.5 and later.
DIGEST_MISMATCH = re.compile(r"Calculated (message digest|DigitalSignature)\s*:\s*\S+\s+MISMATCH")


def make_authority(folder):
    """A certificate authority and a code-signing certificate it issued:
    ca.pem, signer.key, signer.pem and signer.pfx (with PASSWORD) in folder."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Mirrowcast Throwaway CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
            "-subj", "/CN=Velmorathis Throwaway Signer")
    with open(os.path.join(folder, "signer.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "signer.ext", "-out", "signer.pem")
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
            "-out", "signer.pfx", "-passout", "pass:" + PASSWORD)


def sign(out, **variables):
    """scripts/sign of the build into out, with these variables and no other MIRROWCAST_SIGN_*."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("MIRROWCAST_SIGN_")}
    env.update(variables)
    return subprocess.run(["bash", SIGN, "--build", os.environ["MIRROWCAST_WINDOWS_BUILD_DIR"], "--out", out],
                          env=env, capture_output=True, text=True)


def verify(path, ca=None):
    """osslsigncode verify against ca (None: the system's authorities): (exit code, output)."""
    proc = subprocess.run(["osslsigncode", "verify", *(["-CAfile", ca] if ca else []), "-in", path],
                          capture_output=True, text=True)
    return proc.returncode, proc.stdout + proc.stderr


def code_section_offset(exe):
    """File offset of the middle of the program's .text section."""
    with open(exe, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    for i in range(sections):
        name, _, _, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, pe + 24 + optional_size + 40 * i)
        if name.rstrip(b"\0") == b".text":
            return raw_offset + raw_size // 2
    raise AssertionError(f"{exe} has no .text section")


def cabinet_offset(msi):
    """File offset inside the first sector of the package's embedded cabinet,
    the stream that holds the program: a compound file's streams start on
    512-byte sectors, and a cabinet starts with MSCF and four zero bytes."""
    with open(msi, "rb") as f:
        data = f.read()
    starts = [m.start() for m in re.finditer(rb"MSCF\0\0\0\0", data) if m.start() % 512 == 0]
    assert len(starts) == 1, f"{msi}: cabinet found at {starts}"
    return starts[0] + 300


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if shutil.which("osslsigncode") is None:
            raise unittest.SkipTest("osslsigncode is not installed (scripts/setup installs it)")
        cls.signed = os.environ["MIRROWCAST_SIGNED_DIR"]
        cls.authority = os.path.join(os.path.dirname(cls.signed), "authority")
        shutil.rmtree(cls.authority, ignore_errors=True)
        os.makedirs(cls.authority)
        make_authority(cls.authority)
        cls.ca = os.path.join(cls.authority, "ca.pem")
        proc = sign(cls.signed, MIRROWCAST_SIGN_PFX=os.path.join(cls.authority, "signer.pfx"),
                    MIRROWCAST_SIGN_PFX_PASSWORD=PASSWORD)
        assert proc.returncode == 0, proc.stdout + proc.stderr
        cls.files = [os.path.join(cls.signed, PROGRAM)] + glob.glob(os.path.join(cls.signed, "*.msi"))

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="signing-", dir=self.authority)
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def assert_signed_by_the_authority(self, files):
        self.assertEqual(len(files), 2, files)
        for path in files:
            with self.subTest(os.path.basename(path)):
                code, output = verify(path, self.ca)
                self.assertEqual(code, 0, output)
                self.assertRegex(output, r"Message digest algorithm\s*:\s*SHA256")
                self.assertNotEqual(verify(path)[0], 0, "no other authority vouches for the throwaway certificate")

    def test_program_and_package_verify_against_the_authority_only(self):
        self.assert_signed_by_the_authority(self.files)

    def test_one_changed_byte_inside_the_signed_content_breaks_the_signature(self):
        for path, offset in [(self.files[0], code_section_offset(self.files[0])),
                             (self.files[1], cabinet_offset(self.files[1]))]:
            with self.subTest(os.path.basename(path)):
                changed = os.path.join(self.scratch, os.path.basename(path))
                with open(path, "rb") as f:
                    data = bytearray(f.read())
                data[offset] ^= 0x01
                with open(changed, "wb") as f:
                    f.write(data)
                code, output = verify(changed, self.ca)
                self.assertNotEqual(code, 0, output)
                self.assertRegex(output, DIGEST_MISMATCH)

    def test_without_a_certificate_no_release_files_are_made(self):
        out = os.path.join(self.scratch, "signed")
        proc = sign(out)
        self.assertNotEqual(proc.returncode, 0)
        self.assertIn("no certificate", proc.stderr)
        self.assertFalse(os.path.exists(out))

    def test_a_key_on_a_pkcs11_token_signs_as_the_pfx_does(self):
        if shutil.which("softhsm2-util") is None:
            raise unittest.SkipTest("softhsm2 is not installed (scripts/setup installs it)")
        tokens = os.path.join(self.scratch, "tokens")
        os.mkdir(tokens)
        config = os.path.join(self.scratch, "softhsm2.conf")
        with open(config, "w") as f:
            f.write(f"directories.tokendir = {tokens}\nobjectstore.backend = file\n")
        env = dict(os.environ, SOFTHSM2_CONF=config)
        for args in (["--init-token", "--free", "--label", "signing", "--so-pin", "5678"],
                     ["--import", os.path.join(self.authority, "signer.key"), "--token", "signing",
                      "--label", "signer", "--id", "01"]):
            subprocess.run(["softhsm2-util", *args, "--pin", "1234"], env=env, check=True, capture_output=True)
        out = os.path.join(self.scratch, "signed")
        proc = sign(out, SOFTHSM2_CONF=config, MIRROWCAST_SIGN_PKCS11_MODULE="/usr/lib/softhsm/libsofthsm2.so",
                    MIRROWCAST_SIGN_PKCS11_KEY="pkcs11:token=signing;object=signer;type=private",
                    MIRROWCAST_SIGN_PKCS11_CERT=os.path.join(self.authority, "signer.pem"),
                    MIRROWCAST_SIGN_PKCS11_PIN="1234")
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        self.assert_signed_by_the_authority(glob.glob(os.path.join(out, "*")))


if __name__ == "__main__":
    unittest.main()
