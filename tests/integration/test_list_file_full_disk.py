"""Saving a list file (the configuration, the uninstall list) on a disk that
fills up during the write: the file stays old byte for byte, or is the
complete new one; never cut short. The disk is a small tmpfs in a mount
namespace of its own (root only)."""

import os
import shutil
import subprocess
import unittest

from port_harness import HANG_GUARD_SECONDS, PortTestCase, probe_path

PAGE = 4096
# The old file takes one page, a filler two more: one page is left free.
DISK = 4 * PAGE
OLD = "".join(f"Zeile {index:02} " + "x" * 350 + "\r\n" for index in range(11)).encode("cp1252")

SCRIPT = """
set -e
mount -t tmpfs -o size={disk} tmpfs "$DISK"
cp "$WORK/old.cfg" "$DISK/P.cfg"
head -c {filler} /dev/zero > "$DISK/filler"
"$PROBE" save-list "$DISK/P.cfg" "$WORK/new.txt" > "$WORK/said"
cp "$DISK/P.cfg" "$WORK/after.cfg"
ls -a "$DISK" > "$WORK/listing"
"""


class ListFileOnAFullDisk(PortTestCase):
    def setUp(self):
        super().setUp()
        if os.geteuid() != 0 or shutil.which("unshare") is None:
            self.skipTest("needs root for a mount namespace")
        probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no mount namespaces here: " + probe.stderr.decode())
        self.assertEqual(len(OLD), 11 * 361)  # about 4,000 bytes in one page

    def save_on_a_nearly_full_disk(self, new_lines):
        with open(self.path("old.cfg"), "wb") as file:
            file.write(OLD)
        with open(self.path("new.txt"), "wb") as file:
            file.write("".join(line + "\r\n" for line in new_lines).encode("cp1252"))
        disk = self.path("disk")
        os.mkdir(disk)
        env = dict(self.env, DISK=disk, WORK=self.work, PROBE=probe_path())
        subprocess.run(["unshare", "-m", "--propagation", "private", "sh", "-c",
                        SCRIPT.format(disk=DISK, filler=2 * PAGE)],
                       env=env, check=True, timeout=HANG_GUARD_SECONDS)
        with open(self.path("said")) as said, open(self.path("after.cfg"), "rb") as after, \
                open(self.path("listing")) as listing:
            return said.read().strip(), after.read(), sorted(listing.read().split())

    def test_a_write_that_does_not_fit_leaves_the_old_file(self):
        lines = [f"neue Zeile {index:02} " + "y" * 400 for index in range(13)]
        said, after, listing = self.save_on_a_nearly_full_disk(lines)
        self.assertEqual(said, "not saved")
        self.assertEqual(after, OLD)
        self.assertEqual(listing, [".", "..", "P.cfg", "filler"], "nothing left beside it")

    def test_a_write_that_fits_is_complete(self):
        lines = ["kurz"] * 20
        said, after, _ = self.save_on_a_nearly_full_disk(lines)
        self.assertEqual(said, "saved")
        self.assertEqual(after, b"kurz\r\n" * 20)


if __name__ == "__main__":
    unittest.main()
