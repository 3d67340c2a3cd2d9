"""The installation phase of the real updater, started install-only ("/U"
with the comparison file in place), so no server is involved: the download
folder is filled by the test as the download phase would have left it.
"""

import os
import shutil
import stat
import sys
import tempfile
import unittest
import zipfile

from run_harness import MUTEX, QUESTION_CLOSE_MAIN, UpdateRunTestCase, answer_close_yes

HERE = os.path.dirname(os.path.abspath(__file__))
VERSION_SAMPLE = os.path.join(HERE, "..", "data", "version_sample.exe")

PRODUCT_NAME = "Produkt\\Daten"  # configuration line 3, named in the outcome
UPDATED = f'Die Aktualisierung von "{PRODUCT_NAME}" wurde erfolgreich abgeschlossen!'
FAILED = f'Ein Fehler trat bei der Aktualisierung von "{PRODUCT_NAME}" auf!'
KEY_FILE = MUTEX + "_is1.key"


class InstallRunTestCase(UpdateRunTestCase):
    def setUp(self):
        super().setUp()
        # The comparison file allows the install-only start.
        self.write(self.temp + "Quennvoldar.fn", b"")

    def run_install(self, answer=answer_close_yes):
        return self.run_updater("Produkt.cfg", "/U", answer=answer)

    def move_temp_to_another_file_system(self):
        """The user's temporary folder, and the download folder in it, on a
        file system other than the installation's: /dev/shm, where that is a
        file system of its own."""
        base = "/dev/shm"
        if not os.path.isdir(base) or os.stat(base).st_dev == os.stat(self.install).st_dev:
            self.skipTest("no second file system here")
        other = tempfile.mkdtemp(prefix="qv-run-", dir=base)
        self.addCleanup(shutil.rmtree, other, ignore_errors=True)
        self.temp = other + "/"
        self.download = self.temp + "Produkt/Daten/"
        self.env["TMPDIR"] = other
        self.write_config()
        self.write(self.temp + "Quennvoldar.fn", b"")

    def limit_file_size(self, limit):
        """Runs the updater from now on unable to write a file beyond the limit."""
        limited = self.path("limited-updater")
        self.write(limited, (
            f"#!{sys.executable}\n"
            "import os, resource, signal, sys\n"
            "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
            f"resource.setrlimit(resource.RLIMIT_FSIZE, ({limit}, {limit}))\n"
            f"os.execv({self.updater!r}, [{self.updater!r}] + sys.argv[1:])\n").encode())
        os.chmod(limited, 0o755)
        self.updater = limited


class InstallEndToEnd(InstallRunTestCase):
    def test_update_with_the_main_program_running(self):
        shutil.copy(VERSION_SAMPLE, self.install + "main")  # file version 1.4.4.0
        self.write(self.install + "changed.txt", b"old")
        self.write(self.install + "same.txt", b"same")
        self.write(self.install + "alt.txt", b"removed by the job")
        self.write(self.download + "changed.txt", b"new")
        self.write(self.download + "same.txt", b"same")
        self.write(self.download + "Neu/neu.txt", b"neu")
        self.write(self.download + "Quennvoldar.job", b"l alt.txt\r\n")
        with zipfile.ZipFile(self.download + "pack.zip", "w") as archive:
            archive.writestr("Paket/p.txt", "packed")
        self.write(self.registry + KEY_FILE,
                   f"InstallLocation=sz:{self.install}\nDisplayVersion=sz:1.43\n".encode())
        self.write(self.programs + "Vendor/Homepage.url",
                   b"[InternetShortcut]\r\nURL=http://www.quennvoldar.example\r\n")
        main_program = self.start_main_program()

        result = self.run_install()

        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(len(result.questions), 2, result.output)
        self.assertIn(QUESTION_CLOSE_MAIN, result.questions[0])
        self.assertIn(UPDATED, result.questions[1])
        # The main program closed on request and gave up its mutex.
        self.assertEqual(main_program.wait(timeout=30), 0)
        self.assertEqual(self.read(self.install + "changed.txt"), b"new")
        self.assertEqual(self.read(self.install + "same.txt"), b"same")
        self.assertEqual(self.read(self.install + "Neu/neu.txt"), b"neu")
        self.assertEqual(self.read(self.install + "Paket/p.txt"), b"packed")
        self.assertFalse(os.path.exists(self.install + "alt.txt"))
        self.assertFalse(os.path.exists(self.download))
        self.assertIn(b"DisplayVersion=sz:1.44", self.read(self.registry + KEY_FILE))
        self.assertEqual(self.read(self.programs + "Vendor/Homepage.url"),
                         b"[InternetShortcut]\r\nURL=https://www.quennvoldar.example\r\n")
        uninstall_list = self.read(self.install + "Quennvoldar.dat").decode("cp1252")
        for installed in ("changed.txt", "Neu/neu.txt", "Paket/p.txt"):
            self.assertIn(self.install + installed, uninstall_list)
        self.assertNotIn(self.install + "same.txt", uninstall_list)

    def test_a_download_is_moved_where_it_can_be_and_copied_elsewhere(self):
        download_date = 1717000000  # an even second, as the download phase dates its files
        for road in ("one file system", "two file systems"):
            with self.subTest(road):
                self.start_afresh()
                self.write(self.temp + "Quennvoldar.fn", b"")
                if road == "two file systems":
                    self.move_temp_to_another_file_system()
                self.write(self.install + "programm", b"old")
                os.chmod(self.install + "programm", 0o750)
                self.local_file(self.download + "programm", b"n" * (2 << 20), download_date)
                self.local_file(self.download + "Neu/daten.txt", b"neu", download_date)
                os.chmod(self.download + "Neu/daten.txt", 0o640)
                waiting = {name: os.stat(self.download + name).st_ino
                           for name in ("programm", "Neu/daten.txt")}
                # Moved, the 2 MiB program is never written: a limit of 1.5
                # MiB on what the updater writes does not stop it.
                if road == "one file system":
                    self.limit_file_size(3 << 19)

                result = self.run_install()

                self.assertIn(UPDATED, result.questions[-1], result.output)
                self.assertEqual(self.read(self.install + "programm"), b"n" * (2 << 20))
                self.assertEqual(self.read(self.install + "Neu/daten.txt"), b"neu")
                for name, inode in waiting.items():
                    installed = os.stat(self.install + name)
                    self.assertEqual(installed.st_mtime, download_date, name)
                    self.assertEqual(installed.st_ino == inode, road == "one file system", name)
                # A replaced file keeps its permission bits, a new one brings its own.
                self.assertEqual(stat.S_IMODE(os.stat(self.install + "programm").st_mode), 0o750)
                self.assertEqual(stat.S_IMODE(os.stat(self.install + "Neu/daten.txt").st_mode),
                                 0o640)
                self.assertFalse(os.path.exists(self.download))

    def test_a_full_disk_leaves_the_installed_file_intact(self):
        # From another file system the download is copied; on the installation's
        # own it would be moved, and nothing written.
        self.move_temp_to_another_file_system()
        old = b"o" * (1 << 20)
        self.write(self.install + "big.bin", old)
        os.chmod(self.install + "big.bin", 0o750)
        self.write(self.download + "big.bin", b"n" * (2 << 20))
        # The updater may write files up to 1.5 MiB: the new content does not fit.
        self.limit_file_size(3 << 19)

        result = self.run_install()

        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.informations, [
            f'Beim Kopieren der Datei "{self.download}big.bin" nach "{self.install}big.bin" '
            "ist ein Fehler aufgetreten!"], result.output)
        self.assertIn(FAILED, result.questions[-1])
        self.assertEqual(self.read(self.install + "big.bin"), old)
        self.assertEqual(stat.S_IMODE(os.stat(self.install + "big.bin").st_mode), 0o750)
        self.assertEqual(sorted(os.listdir(self.install)), ["Quennvoldar", "big.bin"])
        self.assertTrue(os.path.exists(self.download + "big.bin"))

    def test_a_refusal_keeps_the_main_program_and_the_download(self):
        self.write(self.install + "a.txt", b"old")
        self.write(self.download + "a.txt", b"new")
        main_program = self.start_main_program()

        result = self.run_install(answer=lambda question: False)

        self.assertEqual(result.returncode, 0, result.output)
        self.assertIn(QUESTION_CLOSE_MAIN, result.questions[0])
        self.assertIn("wurde nicht abgeschlossen!", result.output)
        self.assertIsNone(main_program.poll())
        self.assertEqual(self.read(self.install + "a.txt"), b"old")
        self.assertEqual(self.read(self.download + "a.txt"), b"new")


if __name__ == "__main__":
    unittest.main()
