"""Signed releases with the real Quennvoldar.exe under Wine, which holds the
test key: a signed release installs as on the ordinary road and its release
number lands in the updater's own key in Wine's registry, with or without an
uninstall entry; every spoiled release (also a withheld file or another
product's manifest) is refused with its message before anything is
installed; an install-only start installs what a signed archive unpacked; a
tampered second copy of the self-update is never started. The test server
signs with the Windows build's quennvoldar-release.exe (QV_RELEASE_TOOL)."""

import os
import shutil
import unittest
import zipfile

from update_run import (FAILED, QUESTION_CLOSE_MAIN, QUESTION_START_MAIN,
                        UPDATED, UpdateRunUnderWine, digests, read, write)
from wine_session import WAIT_S

MSG_MISSING = "Auf dem Update-Server fehlt die signierte Freigabeliste!"
MSG_NOT_SIGNED = "Die Freigabeliste des Update-Servers ist nicht vom Hersteller signiert!"
MSG_EXPIRED = "Die Freigabeliste des Update-Servers ist abgelaufen!"
MSG_OLDER = "Der Update-Server bietet eine ältere Freigabe an als die bereits angenommene!"
MSG_FOR_OTHER = "Die Freigabeliste des Update-Servers gehört nicht zu dieser Aktualisierung!"
ROOTS = ("Quennvoldar", "Produkt")


def msg_not_released(path):
    return f'Die Datei "{path}" ist in der Freigabeliste des Update-Servers nicht enthalten!'


def msg_not_authentic(path):
    return f'Die Datei "{path}" stimmt nicht mit der Freigabeliste des Update-Servers überein!'


def msg_withheld(path):
    return f'Die Datei "{path}" der Freigabeliste fehlt auf dem Update-Server!'


def first_line(text):
    return text.split("\r\n")[0]


class SignedReleasesUnderWine(UpdateRunUnderWine):
    def lay_out(self, uninstall_entry=True):
        self.install_files({"Quennvoldar.exe": read(self.updater), "a.txt": b"alt a"})
        self.server_files({"Quennvoldar/liesmich.txt": b"zum Updater",
                           "Produkt/a.txt": b"neu a", "Produkt/Daten/b.txt": b"neu b"})
        self.write_config()
        if uninstall_entry:
            self.seed_uninstall_entry()
        self.installed_before = digests(self.install)


    def serve_release(self, *faults, signed=True):
        options = ["--release-tool", os.environ["QV_RELEASE_TOOL"]]
        for root in ROOTS if signed else ():
            options += ["--sign", root]
        for fault in faults:
            options += ["--release-fault", fault]
        self.serve(*options)

    def run_to_the_end(self, main_program=True):
        """The boxes of one run; the main program runs and is closed on
        request (a refused release ends the run before it would be asked)."""
        if main_program:
            self.start_main_program()
        updater = self.start_updater()
        boxes = self.answer_boxes()
        self.assertEqual(updater.wait(WAIT_S), 0)
        return boxes

    def assert_refused(self, boxes, message):
        self.assertEqual([first_line(box) for box in boxes],
                         [message, first_line(FAILED)], boxes)
        self.assertEqual(digests(self.install), self.installed_before)
        waiting = digests(self.download) if os.path.isdir(self.download) else {}
        self.assertEqual(waiting, {})

    def test_a_signed_release_installs_and_its_number_is_kept(self):
        self.lay_out()
        self.serve_release()
        self.assertEqual(self.run_to_the_end(),
                         [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(read(self.install + "a.txt"), b"neu a")
        self.assertEqual(read(self.install + "Daten/b.txt"), b"neu b")
        self.assertFalse(os.path.exists(self.install + "quennvoldar-release.txt"))
        self.assertEqual(self.release_floor(), {"Updater": 1, "Product": 1})

    def test_spoiled_releases_are_refused(self):
        for fault, message in (("tampered:Produkt/Daten/b.txt", msg_not_authentic("Daten/b.txt")),
                               ("unlisted:Produkt/neu.txt", msg_not_released("neu.txt")),
                               ("other-key:Produkt", MSG_NOT_SIGNED),
                               ("expired:Quennvoldar", MSG_EXPIRED),
                               ("missing:Produkt", MSG_MISSING),
                               ("withheld:Produkt/Daten/b.txt", msg_withheld("Daten/b.txt")),
                               ("other-product:Produkt", MSG_FOR_OTHER)):
            with self.subTest(fault=fault):
                self.remove_product()
                shutil.rmtree(self.server_root, ignore_errors=True)
                self.lay_out()
                self.serve_release(fault)
                try:
                    self.assert_refused(self.run_to_the_end(main_program=False), message)
                finally:
                    self.stop_server()

    def test_an_older_release_after_a_newer_one_without_an_uninstall_entry(self):
        self.lay_out(uninstall_entry=False)
        self.serve_release()
        self.stop_server()
        self.serve_release()  # release 2, accepted
        self.run_to_the_end()
        self.stop_server()

        self.server_files({"Produkt/a.txt": b"ganz alt"})
        self.installed_before = digests(self.install)
        self.write_config()
        self.serve_release("older:Produkt", signed=False)
        self.assert_refused(self.run_to_the_end(main_program=False), MSG_OLDER)
        self.assertEqual(self.release_floor(), {"Updater": 2, "Product": 2})

    def test_an_install_only_start_installs_what_a_signed_archive_unpacked(self):
        """The fetching run unpacks the archive and stops when the main
        program may not be closed; the install-only start installs it."""
        self.lay_out()
        packed = os.path.join(self.server_root, "Produkt", "bin.zip")
        with zipfile.ZipFile(packed, "w") as archive:
            archive.writestr("bin/tool.exe", b"tool from the archive")
        self.serve_release()
        self.start_main_program()
        updater = self.start_updater()
        self.answer_boxes(no_to=(QUESTION_CLOSE_MAIN,))
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertTrue(os.path.exists(self.download + "bin/tool.exe"))
        self.stop_server()

        write(os.path.join(self.session.temp_folder, "Quennvoldar.fn"), b"")
        self.write_config()
        updater = self.start_updater("/U")
        boxes = self.answer_boxes()
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertEqual(boxes, [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(read(self.install + "bin/tool.exe"), b"tool from the archive")


class SignedSelfUpdateUnderWine(UpdateRunUnderWine):
    def test_a_tampered_second_copy_starts_nothing(self):
        self.install_files({"Quennvoldar.exe": read(self.updater)})
        self.server_files({"Quennvoldar/Quennvoldar2.exe": read(self.updater),
                           "Quennvoldar/Quennvoldar.exe": read(self.updater)})
        self.write_config()
        self.serve("--ftp-refuse-login", "--release-tool", os.environ["QV_RELEASE_TOOL"],
                   "--sign", "Quennvoldar",
                   "--release-fault", "tampered:Quennvoldar/Quennvoldar2.exe")
        updater = self.start_updater()
        boxes = self.answer_boxes()
        self.assertEqual(updater.wait(WAIT_S), 0)

        self.assertEqual(first_line(boxes[0]), msg_not_authentic("Quennvoldar2.exe"), boxes)
        self.assertFalse(os.path.exists(self.install + "Quennvoldar2.exe"))


if __name__ == "__main__":
    unittest.main()
