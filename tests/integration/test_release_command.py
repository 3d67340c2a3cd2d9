"""The vendor's quennvoldar-release sign: what it refuses to sign, and the
last release number it can give. A refusal exits non-zero, names what is
wrong and leaves every folder of the run without a manifest."""

import calendar
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from port_harness import HANG_GUARD_SECONDS, built_binary

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update_server"))
import signed_release  # noqa: E402

PRODUCT = signed_release.TEST_PRODUCT
LAST_RELEASE = 2**63 - 1
NAME_RULE = "a name no release may hold"
LONG_FOLDER = "d" * 200
# The hash of no bytes: a line break in a name must not smuggle in a file line.
INJECTED = "a\nfile 0 e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 b"


def printable(path):
    """A name as the command shows it: control characters as \\xNN."""
    return "".join(c if 0x20 <= ord(c) != 0x7F else "\\x%02X" % ord(c) for c in path)


class SignRefusals(unittest.TestCase):

    def setUp(self):
        self.tool = built_binary("QV_RELEASE_TOOL", "release_tool/quennvoldar-release")
        self.work = tempfile.mkdtemp(prefix="release-command-")
        self.addCleanup(shutil.rmtree, self.work)

    def folder(self, *files):
        """A new folder holding an ordinary file and the files named."""
        folder = tempfile.mkdtemp(dir=self.work)
        for relative in ("Daten/gut.txt", *files):
            self.write(os.path.join(folder, relative))
        return folder

    def write(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(b"bytes")

    def sign(self, *arguments, options=("--product", PRODUCT, "--folder", "product")):
        return subprocess.run([self.tool, "sign", signed_release.TEST_KEY, *options, *arguments],
                              capture_output=True, text=True, timeout=HANG_GUARD_SECONDS)

    def assert_refused(self, signed, found, *folders):
        self.assertNotEqual(signed.returncode, 0, signed.stdout)
        self.assertIn(found, signed.stderr)
        for folder in folders:
            self.assertFalse(os.path.exists(signed_release.manifest_path(folder)), folder)

    def test_names_no_release_may_hold(self):
        # (the file made, the name refused: a folder's refuses all below it)
        long_path = "/".join([LONG_FOLDER] * 5) + "/" + "x" * 30
        cases = [(name, name) for name in (
            "Tab\t.txt", INJECTED, "Wagen\rruecklauf.txt", "Loesch\x7f.txt", "a:b.txt",
            "..\\evil.txt", "Daten\\b.txt", "Punkt.", "Leer ", "CON", "nul.txt", "Daten/COM1.log",
            "lpt9", "CONIN$.txt", long_path)]
        cases += [("Ordner./a.txt", "Ordner."), ("Daten/aux/a.txt", "Daten/aux")]
        for made, refused in cases:
            with self.subTest(name=made):
                good = self.folder()
                bad = self.folder()
                # A pipe: opening it would hang the command, so a refused name
                # shows that nothing of that name was opened.
                os.makedirs(os.path.dirname(os.path.join(bad, made)), exist_ok=True)
                os.mkfifo(os.path.join(bad, made))
                signed = self.sign(good, bad)
                self.assert_refused(signed, NAME_RULE, good, bad)
                self.assertTrue(signed.stderr.endswith("): %s\n" % printable(refused)),
                                signed.stderr)

    def test_names_that_windows_sees_as_one(self):
        cases = [
            (("a.txt", "A.txt"), ("A.txt", "a.txt")),
            (("Käse.dat", "KÄSE.dat"), ("KÄSE.dat", "Käse.dat")),
            (("Daten/x.txt", "daten/y.txt"), ("Daten", "daten")),
            (("Unten/Bilder/a.png", "Unten/BILDER/b.png"), ("Unten/BILDER", "Unten/Bilder")),
            (("QUENNVOLDAR-RELEASE.TXT",),
             (signed_release.MANIFEST_NAME, "QUENNVOLDAR-RELEASE.TXT")),
        ]
        for files, (first, second) in cases:
            with self.subTest(files=files):
                folder = self.folder(*files)
                self.assert_refused(
                    self.sign(folder),
                    "differs from %s only in letter case (one name on Windows): %s"
                    % (first, second), folder)

    def test_links_are_refused_not_followed(self):
        outside = os.path.join(self.work, "outside")
        self.write(os.path.join(outside, "secret.txt"))
        cases = [
            ("to a file outside", os.path.join(outside, "secret.txt")),
            ("to a folder outside", outside),
            ("to a file inside", "gut.txt"),
            ("to a folder inside", "."),
            ("to nothing", "fehlt"),
        ]
        for what, target in cases:
            with self.subTest(link=what):
                folder = self.folder()
                os.symlink(target, os.path.join(folder, "Daten", "verweis"))
                self.assert_refused(self.sign(folder),
                                    "a symbolic link, not followed: Daten/verweis", folder)

    def test_options_that_are_refused(self):
        release_range = "--release takes 1 to %d" % LAST_RELEASE
        cases = [
            (("--folder", "product"), "sign needs --product ID"),
            (("--product", PRODUCT), "sign needs --folder updater or --folder product"),
            (("--product", "", "--folder", "product"), "--product takes 1 to 64"),
            (("--product", "zwei Wörter", "--folder", "product"), "--product takes 1 to 64"),
            (("--product", "p" * 65, "--folder", "product"), "--product takes 1 to 64"),
            (("--product", PRODUCT, "--folder", "Updater"), "--folder takes updater or product"),
            (("--product", PRODUCT, "--folder", "product", "--valid-days", "0"),
             "--valid-days takes 1 to 3650: 0"),
            (("--product", PRODUCT, "--folder", "product", "--valid-days", "3651"),
             "--valid-days takes 1 to 3650: 3651"),
            (("--product", PRODUCT, "--folder", "product", "--valid-days", "+5"),
             "--valid-days takes 1 to 3650: +5"),
            (("--product", PRODUCT, "--folder", "product", "--release", "0"), release_range),
            (("--product", PRODUCT, "--folder", "product", "--release", "-1"), release_range),
            (("--product", PRODUCT, "--folder", "product", "--release", str(LAST_RELEASE + 1)),
             release_range),
            (("--product", PRODUCT, "--folder", "product", "--release", "7x"), release_range),
            (("--product", PRODUCT, "--folder", "product", "--version", "2"),
             "no such option: --version"),
        ]
        for options, found in cases:
            with self.subTest(options=options):
                folder = self.folder()
                self.assert_refused(self.sign(folder, options=options), found, folder)

    def test_release_numbers_run_to_the_last_and_stop_there(self):
        folder = self.folder()
        first = self.sign("--release", str(LAST_RELEASE - 1), folder)
        self.assertEqual(first.returncode, 0, first.stderr)
        last = self.sign(folder)
        self.assertEqual(last.returncode, 0, last.stderr)
        self.assertIn("product %s, folder product, release %d," % (PRODUCT, LAST_RELEASE),
                      last.stdout)
        with open(signed_release.manifest_path(folder), "rb") as manifest:
            signed = manifest.read()
        beyond = self.sign(folder)
        self.assertEqual(beyond.returncode, 1)
        self.assertIn("cannot go past release %d" % LAST_RELEASE, beyond.stderr)
        with open(signed_release.manifest_path(folder), "rb") as manifest:
            self.assertEqual(manifest.read(), signed)

    def test_validity_at_its_bounds(self):
        for days in (1, 3650):
            with self.subTest(days=days):
                folder = self.folder()
                signed = self.sign("--valid-days", str(days), folder)
                self.assertEqual(signed.returncode, 0, signed.stderr)
                expires = calendar.timegm(time.strptime(
                    signed.stdout.rsplit("valid until ", 1)[1].strip(), "%Y-%m-%dT%H:%M:%SZ"))
                self.assertAlmostEqual(expires, time.time() + days * 86400,
                                       delta=HANG_GUARD_SECONDS)

if __name__ == "__main__":
    unittest.main()
