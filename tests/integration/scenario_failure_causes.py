"""Failed runs whose diagnostic log says why: the person sees the message
they always saw, and the log's failure line beside it names the cause (the
address or path, the kind, the HTTP status, libcurl's code or the OS's
error). The build's own updater, which holds the test key, against signed
folders."""

import os
import shutil
import subprocess
import time
import unittest
from collections import namedtuple

from run_harness import MSG_DOWNLOAD_FAILED, MSG_NO_CONNECTION, UpdateRunTestCase, answer_close_yes
from scenario_releases import MSG_MISSING, logged_failures, msg_not_authentic, release_tool

SERVER_TIME = (int(time.time()) // 60 - 2 * 24 * 60) * 60 + 33
ADDRESS = "http://127.0.0.1:8080/updates/"
MANIFEST = "Quennvoldar/quennvoldar-release.txt"
MANIFEST_LIMIT = 16 * 1024 * 1024
MSG_VERIFY_FAILED = "Beim Prüfen der Daten ist ein Fehler aufgetreten!"
MSG_FLOOR_FAILED = 'Die angenommene Freigabe kann nicht in "{floor}" gespeichert werden!'
FLOOR = "Quennvoldar/quennvoldar-sample.releases"

# The kept partial downloads on a 1 MiB disk of their own (a tmpfs in a
# private mount namespace, made the updater's own as it expects).
SMALL_PARTIAL_DISK = """
set -e
mkdir -p -m 0700 "$TMPDIR/Produkt"
mkdir -p -m 0700 "$TMPDIR/Produkt/Daten.partial"
mount -t tmpfs -o size=1m,mode=0700 tmpfs "$TMPDIR/Produkt/Daten.partial"
exec "$@"
"""

# What the test marks unreadable stays so for root too: the run goes
# without the capabilities that pass over file permissions.
WITHOUT_DAC_OVERRIDE = ["setpriv", "--bounding-set=-dac_override,-dac_read_search"]

# name; extra server options (None: no server at all); how the updater runs
# ("small-disk", "no-dac" or None); the message's first line; how the
# failure line starts and what it says after that (the kept bytes' name is
# a hash of the target's place, an address's text is libcurl's).
Case = namedtuple("Case", "name serve runs_as message cause detail", defaults=[""])

CASES = (
    Case("a 404", ["--http-error", "/updates/Produkt/Daten/a.txt:1000:404"], None,
         MSG_DOWNLOAD_FAILED,
         f"download {ADDRESS}Produkt/Daten/a.txt: server answer 404 (Not Found)"),
    Case("a short body", ["--http-truncate", "/updates/Produkt/Daten/a.txt", "--http-no-range"],
         None, MSG_DOWNLOAD_FAILED,
         f"download {ADDRESS}Produkt/Daten/a.txt: size, curl 18 (transfer closed with "),
    Case("no server", None, None, MSG_NO_CONNECTION,
         "download http://127.0.0.1:8080/", ": network, curl 7 ("),
    Case("a missing manifest", ["--release-fault", "missing:Quennvoldar"], None, MSG_MISSING,
         f"download {ADDRESS}{MANIFEST}: server answer 404 (Not Found)"),
    Case("a tampered file", ["--release-fault", "tampered:Produkt/Daten/a.txt"], None,
         msg_not_authentic("a.txt"),
         f"download {ADDRESS}Produkt/Daten/a.txt: not vouched for (SHA-256 ",
         " is not the listed one)"),
    Case("a manifest too large", ["--http-body", f"/updates/{MANIFEST}={{big}}"], None,
         MSG_MISSING,
         f"download {ADDRESS}{MANIFEST}: size (body longer than {MANIFEST_LIMIT} bytes)"),
    Case("a full disk", [], "small-disk", MSG_DOWNLOAD_FAILED,
         "write {temp}Produkt/Daten.partial/",
         ": disk full, system error 28 (No space left on device)"),
    Case("an unreadable installed file", [], "no-dac", MSG_VERIFY_FAILED,
         "open {install}a.txt: access denied, system error 13 (Permission denied)"),
    Case("a floor that cannot be written", [], "no-dac", MSG_FLOOR_FAILED,
         "write {floor}: access denied, system error 13 (Permission denied)"),
)


class FailureCauses(UpdateRunTestCase):
    def setUp(self):
        super().setUp()
        self.updater_binary = self.updater
        self.places = {"temp": self.temp, "install": self.install,
                       "floor": self.registry + FLOOR, "big": self.path("big-manifest")}

    def lay_out(self):
        """Old versions installed; new ones of the same sizes on the server,
        so that verification compares the bytes. a.txt is 2 MiB."""
        big_a = b"neu a " * (2 * 1024 * 1024 // 6)
        self.write(self.install + "a.txt", b"alt a " * (len(big_a) // 6))
        self.server_file("Quennvoldar/liesmich.txt", b"zum Updater", SERVER_TIME)
        self.server_file("Produkt/Daten/a.txt", big_a, SERVER_TIME)

    def wrap_updater(self, runs_as):
        if os.geteuid() != 0 or shutil.which("unshare") is None:
            self.skipTest("needs root")
        if runs_as == "small-disk":
            probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
            if probe.returncode != 0:
                self.skipTest("no mount namespaces here: " + probe.stderr.decode())
            script = self.path("small-partial-disk.sh")
            self.write(script, SMALL_PARTIAL_DISK.encode())
            command = f"unshare -m --propagation private /bin/sh {script} {self.updater_binary}"
        else:
            command = " ".join(WITHOUT_DAC_OVERRIDE + [self.updater_binary])
        wrapper = self.path("wrapped-updater")
        self.write(wrapper, f"#!/bin/sh\nexec {command} \"$@\"\n".encode())
        os.chmod(wrapper, 0o755)
        self.updater = wrapper

    def spoil(self, case):
        """What the case needs besides its server options."""
        if case.name == "a manifest too large":
            self.write(self.places["big"], b"x" * (MANIFEST_LIMIT + 1))
        elif case.name == "an unreadable installed file":
            os.chmod(self.install + "a.txt", 0)
        elif case.name == "a floor that cannot be written":
            os.makedirs(self.registry + "Quennvoldar", 0o500)
            os.chmod(self.registry + "Quennvoldar", 0o500)

    def test_the_log_names_why_the_run_failed(self):
        for case in CASES:
            with self.subTest(case.name):
                self.start_afresh()
                self.lay_out()
                self.spoil(case)
                if case.runs_as:
                    self.wrap_updater(case.runs_as)
                options = ["--release-tool", release_tool(), "--sign", "Quennvoldar",
                           "--sign", "Produkt/Daten"]
                if case.serve is not None:
                    self.serve(*options, *[option.format(**self.places) for option in case.serve])

                result = self.run_updater(answer=answer_close_yes)

                message = case.message.format(**self.places)
                self.assertEqual(result.informations[:1], [message], result.output)
                failure = logged_failures(self)[-1]
                cause = case.cause.format(**self.places)
                self.assertTrue(failure.startswith(cause), failure)
                self.assertIn(case.detail, failure)
                self.assertIn("; shown: " + message, failure)


if __name__ == "__main__":
    unittest.main()
