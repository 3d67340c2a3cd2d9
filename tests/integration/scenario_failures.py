"""Update runs that fail or are refused: a download that never arrives, a
damaged archive, a zip bomb, the main program's "-1" in the copied marker,
the user keeping the main program, and a main program that will not close.
None of them touches an installed file."""

import io
import os
import shutil
import struct
import subprocess
import time
import unittest
import zipfile

from run_harness import (CLOSING_MAIN, DOWNLOADED, FAILED, MSG_DOWNLOAD_FAILED, MUTEX,
                         NOT_COMPLETED, QUESTION_CLOSE_MAIN, QUESTION_START_MAIN, VERIFYING,
                         WINDOW_TITLE, WM_CLOSEREQUEST, WM_SHOWREQUEST, UpdateRunTestCase,
                         UPDATED, answer_preflight_yes)

SERVER_TIME = (int(time.time()) // 60 - 4 * 24 * 60) * 60 + 9
MSG_EXTRACT_FAILED = "Beim Entpacken der Daten ist ein Fehler aufgetreten!"

# Runs the updater with its temporary folder on a 20 MiB disk of its own (a
# tmpfs in a private mount namespace) and writes down what the run left there.
SMALL_TEMP_SCRIPT = """
set -e
cp -a "$TMPDIR/." "{work}/temp-before"
mount -t tmpfs -o size=20m tmpfs "$TMPDIR"
cp -a "{work}/temp-before/." "$TMPDIR"
status=0
"$@" || status=$?
df -k --output=used "$TMPDIR" | tail -n 1 > "{work}/temp-used-kib"
(cd "$TMPDIR" && find . -type f) > "{work}/temp-files"
exit $status
"""


def zip_bomb(unpacked_mib, declared_size=None):
    """Zeros deflated; declared_size, when given, is what the archive claims
    the entry unpacks to."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        with archive.open("Bombe/null.bin", "w", force_zip64=unpacked_mib >= 4096) as entry:
            block = bytes(1 << 20)
            for _ in range(unpacked_mib):
                entry.write(block)
    data = bytearray(buffer.getvalue())
    if declared_size is not None:
        # The uncompressed size in the local header and in the central directory.
        for signature, offset in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
            at = data.index(signature) + offset
            data[at:at + 4] = struct.pack("<I", declared_size)
    return bytes(data)


class FailuresAndRefusals(UpdateRunTestCase):
    def lay_out(self, extra_server_files=()):
        """Old versions installed, new ones on the server."""
        self.write(self.install + "a.txt", b"alt a")
        self.write(self.install + "Ordner/b.txt", b"alt b")
        self.server_file("Quennvoldar/liesmich.txt", b"zum Updater", SERVER_TIME)
        self.server_file("Produkt/Daten/a.txt", b"neu a", SERVER_TIME)
        self.server_file("Produkt/Daten/Ordner/b.txt", b"neu b", SERVER_TIME)
        for relative, content in extra_server_files:
            self.server_file(relative, content, SERVER_TIME)
        self.installed_before = self.digests(self.install)

    def assert_installation_untouched(self):
        self.assertEqual(self.digests(self.install), self.installed_before)

    def assert_failed_without_start_question(self, result, message):
        """The failure's own message, then the outcome with the question;
        nothing was placed into the installation folder."""
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.informations, [message] if message else [])
        self.assertEqual(result.outcome, FAILED)
        self.assertIn(QUESTION_START_MAIN, result.questions[-1])
        self.assert_installation_untouched()
        self.assert_nothing_recorded()

    def test_a_download_that_fails_fifty_times(self):
        self.lay_out()
        broken = "/updates/Produkt/Daten/a.txt"
        self.serve("--http-error", broken + ":1000")
        result = self.run_updater()

        self.assert_failed_without_start_question(result, MSG_DOWNLOAD_FAILED)
        self.assertNotIn(DOWNLOADED, result.statuses)
        self.assertEqual(self.http_paths().count(broken), 50)
        # What came before stays for the next run (the listing decides which
        # of the product's files came first); no partial file stays.
        waiting = self.waiting_downloads()
        self.assertIn("liesmich.txt", waiting)
        self.assertNotIn("a.txt", waiting)
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "0")

    def test_a_damaged_archive(self):
        self.lay_out([("Produkt/Daten/Paket.zip", b"PK\x03\x04 kein Archiv" * 20)])
        self.serve()
        result = self.run_updater()

        self.assert_failed_without_start_question(result, MSG_EXTRACT_FAILED)
        self.assertFalse(any(QUESTION_CLOSE_MAIN in q for q in result.questions))
        # The damaged archive goes, so the next run fetches it again; once the
        # server has withdrawn it, nothing of it fails a later run.
        self.assertEqual(self.waiting_downloads(), ["Ordner/b.txt", "a.txt", "liesmich.txt"])
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "0")

        os.remove(os.path.join(self.server_root, "Produkt/Daten/Paket.zip"))
        self.write_config()
        self.assertEqual(self.run_updater().outcome, UPDATED)

    def test_a_zip_bomb_in_a_small_temporary_folder(self):
        if os.geteuid() != 0 or shutil.which("unshare") is None:
            self.skipTest("needs root for a mount namespace")
        probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no mount namespaces here: " + probe.stderr.decode())
        bombs = {"honest, 1 MiB to 1 GiB": zip_bomb(1024),
                 "declaring 1,000 bytes, unpacking to 64 MiB": zip_bomb(64, declared_size=1000)}
        for case, bomb in bombs.items():
            with self.subTest(case):
                self.start_afresh()
                self.lay_out([("Produkt/Daten/Bombe.zip", bomb)])
                script = self.path("small-temp.sh")
                self.write(script, SMALL_TEMP_SCRIPT.format(work=self.work).encode())
                wrapper = self.path("updater-in-small-temp")
                self.write(wrapper, (f"#!/bin/sh\nexec unshare -m --propagation private "
                                     f"/bin/sh {script} {self.updater} \"$@\"\n").encode())
                os.chmod(wrapper, 0o755)
                self.updater = wrapper
                self.serve()

                result = self.run_updater()

                self.assert_failed_without_start_question(result, MSG_EXTRACT_FAILED)
                # Neither the archive nor anything unpacked from it stays, and
                # the disk is nearly as empty as before.
                with open(self.path("temp-files")) as listing:
                    # The diagnostic log stays and says why.
                    left = [name for name in listing.read().split() if "/Daten.log/" not in name]
                    self.assertEqual(sorted(left), [
                        "./Produkt/Daten/Ordner/b.txt", "./Produkt/Daten/a.txt",
                        "./Produkt/Daten/liesmich.txt"])
                with open(self.path("temp-used-kib")) as used:
                    self.assertLess(int(used.read()), 1024)

    def test_the_main_programs_refusal_in_the_copied_marker(self):
        # Only an install-only start keeps what the main program wrote there.
        lines = [MUTEX, WINDOW_TITLE, self.install + "main", "Produkt\\Daten"]
        lines += [""] * 16 + ["-1"]
        self.write(self.temp + self.config_name,
                   "".join(line + "\r\n" for line in lines).encode("cp1252"))
        self.write(self.temp + "Quennvoldar.fn", b"")
        self.write(self.install + "a.txt", b"alt a")
        self.write(self.download + "a.txt", b"neu a")
        self.write(self.download + "Quennvoldar.job", b"l a.txt\r\n")
        self.installed_before = self.digests(self.install)

        result = self.run_updater(self.config_name, "/U")

        self.assert_failed_without_start_question(result, None)
        self.assertEqual(len(result.questions), 1, "the main program is not asked to close")
        self.assertEqual(result.configs[-1][11:14], ["", "", ""], "install-only leaves them")
        self.assertEqual(result.configs[-1][20], "-1")
        self.assertEqual(self.waiting_downloads(), ["a.txt"], "the job file consumed, not run")

    def test_the_user_keeps_the_main_program(self):
        self.lay_out()
        self.serve()
        main_program = self.start_main_program()
        result = self.run_updater(answer=answer_preflight_yes)  # No to closing it

        self.assertEqual(result.returncode, 0, result.output)
        self.assertIn(QUESTION_CLOSE_MAIN, result.questions[-1])
        # The main program still runs, so the outcome is a message without the question.
        self.assertEqual(result.informations[-1], NOT_COMPLETED)
        self.assertNotIn(CLOSING_MAIN, result.statuses)
        self.assertIsNone(main_program.poll())
        self.assert_installation_untouched()
        self.assert_nothing_recorded()
        self.assertEqual(self.waiting_downloads(), ["Ordner/b.txt", "a.txt", "liesmich.txt"])
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "0")

    def test_a_main_program_that_will_not_close_and_the_user_cancels_the_wait(self):
        self.lay_out()
        self.serve()
        received = self.path("main-program-messages")
        main_program = self.start_main_program("--refuse-close", "--log", received)
        result = self.run_updater(answer=lambda question: True,
                                  when=[(CLOSING_MAIN, self.send_close_request)])

        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(self.sent, ["sent\n"])
        self.assertEqual(result.informations[-1], NOT_COMPLETED)
        self.assertNotIn(VERIFYING, result.statuses)
        self.assertIsNone(main_program.poll(), "asked, never forced")
        with open(received) as log:
            self.assertEqual(log.read().split(), [str(WM_SHOWREQUEST), str(WM_CLOSEREQUEST)])
        self.assert_installation_untouched()
        self.assert_nothing_recorded()
        self.assertEqual(self.waiting_downloads(), ["Ordner/b.txt", "a.txt", "liesmich.txt"])
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "0")


if __name__ == "__main__":
    unittest.main()
